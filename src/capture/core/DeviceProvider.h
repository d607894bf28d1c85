#pragma once
// Where discovery gets its capture devices from: the platform's device monitor, or the synthetic
// devices that tests and demonstrations ask for explicitly.
#include <memory>
#include <vector>

#include "capture/core/DeviceRecords.h"

namespace qv::capture {

class DeviceProvider {
public:
    virtual ~DeviceProvider() = default;
    // Cameras and microphones in the order the backend lists them. May take a moment (device
    // probing): call it off the main thread.
    virtual std::vector<CaptureDeviceRef> videoDevices() = 0;
    virtual std::vector<CaptureDeviceRef> audioDevices() = 0;
};

}  // namespace qv::capture
