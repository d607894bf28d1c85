#include "FakeHIDTransport.h"

#include <algorithm>
#include <chrono>

namespace qv::hid::test {

class FakeHIDTransport::Connection final : public HIDConnection {
public:
    Connection(std::shared_ptr<State> state, std::string path, int instance)
        : state_(std::move(state)), path_(std::move(path)), instance_(instance) {}

    ~Connection() override {
        std::lock_guard lock(state_->mutex);
        --state_->devices[path_].openConnections;
    }

    int read(std::span<std::uint8_t> buffer, int timeoutMs) override {
        std::unique_lock lock(state_->mutex);
        Device& device = state_->devices[path_];
        const auto ready = [&] { return !alive(device) || next_ < device.input.size(); };
        state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
        if (!alive(device)) return -1;
        if (next_ >= device.input.size()) return 0;
        const Bytes& report = device.input[next_++];
        const std::size_t n = std::min(report.size(), buffer.size());
        std::copy_n(report.begin(), n, buffer.begin());
        return static_cast<int>(n);
    }

    bool write(std::uint8_t reportID, std::span<const std::uint8_t> report) override {
        Responder responder;
        Bytes written(report.begin(), report.end());
        {
            std::lock_guard lock(state_->mutex);
            Device& device = state_->devices[path_];
            if (!alive(device)) return false;
            device.outputs.push_back({reportID, written});
            responder = device.responder;
        }
        if (responder) {
            std::vector<Bytes> answer = responder(written);
            std::lock_guard lock(state_->mutex);
            Device& device = state_->devices[path_];
            for (Bytes& r : answer) device.input.push_back(std::move(r));
            state_->changed.notify_all();
        }
        return true;
    }

private:
    bool alive(const Device& device) const { return device.plugged && device.instance == instance_; }

    std::shared_ptr<State> state_;
    std::string path_;
    int instance_;
    std::size_t next_ = 0;
};

FakeHIDTransport::FakeHIDTransport() : state_(std::make_shared<State>()) {}

void FakeHIDTransport::plug(const std::string& path, std::uint16_t vendorID, std::uint16_t productID) {
    std::lock_guard lock(state_->mutex);
    Device& device = state_->devices[path];
    device.vendorID = vendorID;
    device.productID = productID;
    device.plugged = true;
    ++device.instance;
    device.input.clear();
    state_->changed.notify_all();
}

void FakeHIDTransport::unplug(const std::string& path) {
    std::lock_guard lock(state_->mutex);
    state_->devices[path].plugged = false;
    state_->changed.notify_all();
}

void FakeHIDTransport::queueInput(const std::string& path, Bytes report) {
    std::lock_guard lock(state_->mutex);
    state_->devices[path].input.push_back(std::move(report));
    state_->changed.notify_all();
}

void FakeHIDTransport::setResponder(const std::string& path, Responder responder) {
    std::lock_guard lock(state_->mutex);
    state_->devices[path].responder = std::move(responder);
}

std::vector<FakeHIDTransport::Output> FakeHIDTransport::outputs(const std::string& path) const {
    std::lock_guard lock(state_->mutex);
    const auto it = state_->devices.find(path);
    return it == state_->devices.end() ? std::vector<Output>{} : it->second.outputs;
}

int FakeHIDTransport::openConnections(const std::string& path) const {
    std::lock_guard lock(state_->mutex);
    const auto it = state_->devices.find(path);
    return it == state_->devices.end() ? 0 : it->second.openConnections;
}

std::vector<std::pair<std::uint16_t, std::uint16_t>> FakeHIDTransport::enumerations() const {
    std::lock_guard lock(state_->mutex);
    return state_->enumerations;
}

std::vector<HIDDeviceInfo> FakeHIDTransport::enumerate(std::uint16_t vendorID, std::uint16_t productID) {
    std::lock_guard lock(state_->mutex);
    state_->enumerations.emplace_back(vendorID, productID);
    std::vector<HIDDeviceInfo> found;
    for (const auto& [path, device] : state_->devices)
        if (device.plugged && device.vendorID == vendorID && device.productID == productID)
            found.push_back({path, vendorID, productID});
    return found;
}

std::unique_ptr<HIDConnection> FakeHIDTransport::open(const HIDDeviceInfo& info) {
    std::lock_guard lock(state_->mutex);
    const auto it = state_->devices.find(info.path);
    if (it == state_->devices.end() || !it->second.plugged) return nullptr;
    ++it->second.openConnections;
    return std::make_unique<Connection>(state_, info.path, it->second.instance);
}

Bytes settingsInputChunk(char tag, std::uint8_t index, const std::string& characters, bool last) {
    Bytes report(24, 0);
    report[0] = 0x80;
    report[7] = static_cast<std::uint8_t>(tag);
    report[8] = index;
    report[9] = static_cast<std::uint8_t>((last ? 0x80 : 0x00) | characters.size());
    std::copy(characters.begin(), characters.end(), report.begin() + 10);
    return report;
}

std::vector<Bytes> settingsInputChunks(char tag, const std::string& text) {
    std::vector<Bytes> chunks;
    for (std::size_t start = 0, index = 0; start < text.size(); start += 14, ++index) {
        const std::string part = text.substr(start, 14);
        chunks.push_back(settingsInputChunk(tag, static_cast<std::uint8_t>(index), part, start + 14 >= text.size()));
    }
    return chunks;
}

}  // namespace qv::hid::test
