#pragma once
// What the HID link needs to know of the main camera: its USB identity, the length of its input
// reports and the HID capabilities it announces. The capture code fills it from its camera record.
#include <cstdint>

namespace qv::hid {

// The maker's USB vendor id: the link's default matching key.
inline constexpr std::int64_t makerVendorID = 0x2C4A;

struct HIDCameraInfo {
    std::int64_t vendorID = 0;
    std::int64_t productID = 0;
    int reportSize = 24;                 // length of the camera's input reports (1 for button-only models)
    bool isASRSupported = false;         // sent as "allowASR" in "HIDConnected"
    bool isHIDControlSupported = false;  // sent as "allowHIDControl" in "HIDConnected"
    bool isHIDButtonSupported = false;   // the camera sends one-byte button reports

    friend bool operator==(const HIDCameraInfo&, const HIDCameraInfo&) = default;
};

}  // namespace qv::hid
