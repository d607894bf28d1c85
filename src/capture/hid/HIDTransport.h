#pragma once
// The narrow interface between the HID link and the platform: find devices by vendor and product
// id, open one, read its input reports with a timeout, write output reports. The link calls every
// method of one connection from its own thread only.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qv::hid {

struct HIDDeviceInfo {
    std::string path;  // identifies one attached device (interface) while it stays attached
    std::uint16_t vendorID = 0;
    std::uint16_t productID = 0;
};

class HIDConnection {
public:
    virtual ~HIDConnection() = default;
    // Waits at most timeoutMs for one input report and copies it into `buffer` (longer reports
    // are cut to the buffer). Returns its length, 0 when none came in time, -1 when the device is
    // gone or broken.
    virtual int read(std::span<std::uint8_t> buffer, int timeoutMs) = 0;
    // Sends one output report; returns false when it could not be written.
    virtual bool write(std::uint8_t reportID, std::span<const std::uint8_t> report) = 0;
};

class HIDTransport {
public:
    virtual ~HIDTransport() = default;
    // The attached devices with exactly these ids. Ids of 0 match nothing.
    virtual std::vector<HIDDeviceInfo> enumerate(std::uint16_t vendorID, std::uint16_t productID) = 0;
    // Opens a device found by enumerate(); null when it cannot be opened.
    virtual std::unique_ptr<HIDConnection> open(const HIDDeviceInfo& device) = 0;
};

}  // namespace qv::hid
