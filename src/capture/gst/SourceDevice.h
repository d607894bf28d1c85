#pragma once
// A capture device that this library knows how to open: it makes the source element and the
// caps of each of its formats.
#include <QString>

#include <vector>

#include "capture/core/DeviceRecords.h"
#include "capture/gst/GstPtr.h"

namespace qv::gst {

class SourceDevice : public capture::CaptureDevice {
public:
    // A new source element (or bin with one source pad) for this device; null on failure.
    virtual ElementPtr createSource() const = 0;
    // The caps of format `index` without frame rate, e.g. "image/jpeg, width=1920, height=1080".
    QString formatCaps(size_t index) const { return index < capsOfFormats.size() ? capsOfFormats[index] : QString(); }
    QString capsOf(const capture::DeviceFormatRef& format) const;

    std::vector<QString> capsOfFormats;  // parallel to `formats`
};

}  // namespace qv::gst
