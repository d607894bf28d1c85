#pragma once
// A scripted HID transport for tests: devices can be plugged and unplugged, input reports queued
// for them, output reports read back from a log, and a responder may answer what is written.
// Every open connection of a device receives every input report queued for it (as every open
// hidraw descriptor does), so two readers of one device show up as duplicates.
#include "capture/hid/HIDTransport.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace qv::hid::test {

using Bytes = std::vector<std::uint8_t>;

class FakeHIDTransport final : public HIDTransport {
public:
    struct Output {
        std::uint8_t reportID;
        Bytes report;
    };
    // Answers one written report with input reports.
    using Responder = std::function<std::vector<Bytes>(const Bytes& written)>;

    FakeHIDTransport();

    void plug(const std::string& path, std::uint16_t vendorID, std::uint16_t productID);
    void unplug(const std::string& path);
    void queueInput(const std::string& path, Bytes report);
    void setResponder(const std::string& path, Responder responder);

    std::vector<Output> outputs(const std::string& path) const;
    int openConnections(const std::string& path) const;
    // Every (vendor, product) pair the link asked for.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> enumerations() const;

    std::vector<HIDDeviceInfo> enumerate(std::uint16_t vendorID, std::uint16_t productID) override;
    std::unique_ptr<HIDConnection> open(const HIDDeviceInfo& device) override;

private:
    struct Device {
        std::uint16_t vendorID = 0;
        std::uint16_t productID = 0;
        bool plugged = false;
        int instance = 0;  // grows with every plug, so connections to an earlier plug fail
        std::vector<Bytes> input;
        std::vector<Output> outputs;
        Responder responder;
        int openConnections = 0;
    };
    struct State {
        mutable std::mutex mutex;
        std::condition_variable changed;
        std::map<std::string, Device> devices;
        std::vector<std::pair<std::uint16_t, std::uint16_t>> enumerations;
    };
    class Connection;

    std::shared_ptr<State> state_;
};

// A settings-text chunk as the wireless camera ('P') or its receiver ('Q') sends it.
Bytes settingsInputChunk(char tag, std::uint8_t index, const std::string& characters, bool last);
// A whole text as the device sends it: chunks of 14 characters, the last one flagged.
std::vector<Bytes> settingsInputChunks(char tag, const std::string& text);

}  // namespace qv::hid::test
