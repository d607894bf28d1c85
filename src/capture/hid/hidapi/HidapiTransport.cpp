#include "capture/hid/hidapi/HidapiTransport.h"

#include <hidapi.h>

#include <mutex>
#include <vector>

namespace qv::hid {

namespace {

// hidapi keeps global state for enumeration and opening; those calls are serialised. Reads and
// writes of one device come from its link's thread only.
std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

bool initLibrary() {
    static const bool ok = [] {
        std::lock_guard lock(libraryMutex());
        return hid_init() == 0;
    }();
    return ok;
}

struct DeviceDeleter {
    void operator()(hid_device* device) const {
        std::lock_guard lock(libraryMutex());
        hid_close(device);
    }
};

struct EnumerationDeleter {
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};

class HidapiConnection final : public HIDConnection {
public:
    explicit HidapiConnection(std::unique_ptr<hid_device, DeviceDeleter> device) : device_(std::move(device)) {}

    int read(std::span<std::uint8_t> buffer, int timeoutMs) override {
        if (buffer.empty()) return 0;
        const int n = hid_read_timeout(device_.get(), buffer.data(), buffer.size(), timeoutMs);
        return n < 0 ? -1 : n;
    }

    bool write(std::uint8_t reportID, std::span<const std::uint8_t> report) override {
        // hidapi takes the report id as the first byte of what it writes.
        std::vector<unsigned char> bytes;
        bytes.reserve(report.size() + 1);
        bytes.push_back(reportID);
        bytes.insert(bytes.end(), report.begin(), report.end());
        return hid_write(device_.get(), bytes.data(), bytes.size()) == static_cast<int>(bytes.size());
    }

private:
    std::unique_ptr<hid_device, DeviceDeleter> device_;
};

class HidapiTransport final : public HIDTransport {
public:
    std::vector<HIDDeviceInfo> enumerate(std::uint16_t vendorID, std::uint16_t productID) override {
        std::vector<HIDDeviceInfo> devices;
        // hidapi reads an id of 0 as "any": never let that list every keyboard and mouse.
        if (vendorID == 0 || productID == 0 || !initLibrary()) return devices;
        std::unique_ptr<hid_device_info, EnumerationDeleter> list;
        {
            std::lock_guard lock(libraryMutex());
            list.reset(hid_enumerate(vendorID, productID));
        }
        for (const hid_device_info* info = list.get(); info; info = info->next) {
            if (!info->path || info->vendor_id != vendorID || info->product_id != productID) continue;
            devices.push_back({info->path, info->vendor_id, info->product_id});
        }
        return devices;
    }

    std::unique_ptr<HIDConnection> open(const HIDDeviceInfo& device) override {
        if (!initLibrary()) return nullptr;
        std::unique_ptr<hid_device, DeviceDeleter> handle;
        {
            std::lock_guard lock(libraryMutex());
            handle.reset(hid_open_path(device.path.c_str()));
        }
        if (!handle) return nullptr;
        return std::make_unique<HidapiConnection>(std::move(handle));
    }
};

}  // namespace

std::shared_ptr<HIDTransport> makeHidapiTransport() { return std::make_shared<HidapiTransport>(); }

}  // namespace qv::hid
