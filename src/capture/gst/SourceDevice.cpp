#include "capture/gst/SourceDevice.h"

namespace qv::gst {

QString SourceDevice::capsOf(const capture::DeviceFormatRef& format) const {
    for (size_t i = 0; i < formats.size(); ++i)
        if (formats[i] == format) return formatCaps(i);
    return {};
}

}  // namespace qv::gst
