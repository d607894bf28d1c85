#pragma once
// The rules that turn the platform's device listing into one entry per device: a camera that two
// providers list (PipeWire and V4L2) is taken once, from V4L2; audio monitor sources are no
// microphones; a camera's unique id ends in its USB vendor and product id when they are known.
#include <QString>

#include <cstddef>
#include <vector>

namespace qv::capture {

struct ListedDevice {
    QString api;   // "v4l2", "pipewire", "pulse", ...
    QString node;  // the device node or the provider's own address; may be empty
    QString name;
};

// The indices of the devices to take, in listing order.
std::vector<std::size_t> onePerDeviceNode(const std::vector<ListedDevice>& devices);

// An audio source that records what the machine plays rather than a microphone.
bool isAudioMonitor(const QString& deviceClassName, const QString& deviceClassProperty);

// "046d", "0x046D" -> "046d"; anything that is not a 16-bit hexadecimal number -> empty.
QString normalizedUsbId(const QString& text);

// "<api>:<node>:<vvvvpppp>", or "<api>:<node>:no-usb-ids" (whose end never reads as ids).
QString cameraUniqueID(const QString& api, const QString& node, const QString& vendorID, const QString& productID);

}  // namespace qv::capture
