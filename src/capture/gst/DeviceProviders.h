#pragma once
// The two device providers: GStreamer's device monitor (the program's own) and synthetic devices
// built from test sources, used only when QUORVANE_SYNTHETIC_DEVICES names a JSON fixture.
#include <QString>

#include <memory>

#include "capture/core/DeviceProvider.h"

namespace qv::gst {

// Cameras ("Video/Source") and microphones ("Audio/Source") of GStreamer's device monitor. A
// camera that two providers list (PipeWire and V4L2) is taken once, from V4L2; audio monitor
// sources are dropped. Unique ids end in the USB vendor and product id as 8 hex digits when known.
class MonitorDeviceProvider : public capture::DeviceProvider {
public:
    std::vector<capture::CaptureDeviceRef> videoDevices() override;
    std::vector<capture::CaptureDeviceRef> audioDevices() override;
};

// Devices described by a JSON fixture:
// {"cameras": [{"name", "uniqueID", "pattern", "activeFormat",
//               "formats": [{"subtype": "420v"|"yuvs"|"jpeg"|"BGRA", "width", "height",
//                            "frameRates": [[min, max], ...]}]}],
//  "microphones": [{"name", "uniqueID", "wave"}]}
class SyntheticDeviceProvider : public capture::DeviceProvider {
public:
    // Throws std::runtime_error when the file cannot be read or parsed.
    explicit SyntheticDeviceProvider(const QString& fixturePath);
    std::vector<capture::CaptureDeviceRef> videoDevices() override { return cameras_; }
    std::vector<capture::CaptureDeviceRef> audioDevices() override { return mics_; }

private:
    std::vector<capture::CaptureDeviceRef> cameras_;
    std::vector<capture::CaptureDeviceRef> mics_;
};

// The environment variable that switches discovery to synthetic devices.
inline constexpr const char* syntheticDevicesVariable = "QUORVANE_SYNTHETIC_DEVICES";

// The synthetic provider when QUORVANE_SYNTHETIC_DEVICES is set (a fixture that cannot be read
// prints a line and gives an empty provider), else the device monitor.
std::unique_ptr<capture::DeviceProvider> makeDeviceProvider();

}  // namespace qv::gst
