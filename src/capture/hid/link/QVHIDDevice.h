#pragma once
// The link to one USB HID device of the maker, found by vendor and product id. A thread of its own
// watches for the device to appear and go away, reads its input reports (hardware buttons,
// settings-text chunks) and writes the output reports handed to it (commands, settings requests,
// settings texts). For a link that serves a camera, connections, disconnections and button presses
// are posted on the notification bus ("HIDConnected", "HIDDisconnected", "HIDButtonClicked"); a
// link without a camera (the pairing panel's) posts no connection news. The thread touches
// nothing else.
#include "capture/hid/HIDCameraInfo.h"
#include "capture/hid/HIDReports.h"
#include "capture/hid/HIDTransport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qv::hid {

class QVHIDDevice {
public:
    struct Options {
        std::chrono::milliseconds scanInterval;  // how often the attached devices are listed
        std::chrono::milliseconds readTimeout;   // longest wait in one read; bounds stop and send latency
    };
    static constexpr Options defaultOptions{std::chrono::milliseconds(250), std::chrono::milliseconds(20)};

    // A link over the program's transport (hidapi).
    QVHIDDevice();
    explicit QVHIDDevice(std::shared_ptr<HIDTransport> transport, Options options = defaultOptions);
    ~QVHIDDevice();  // stops the link
    QVHIDDevice(const QVHIDDevice&) = delete;
    QVHIDDevice& operator=(const QVHIDDevice&) = delete;

    // The link of the main camera, created on first use and kept for the whole process (it stops
    // when the application quits).
    static QVHIDDevice& shared();

    // Serves this camera: takes its vendor and product id and report size for the next start
    // and its capabilities for later "HIDConnected" posts.
    void setVemoCamera(const HIDCameraInfo& camera);
    std::optional<HIDCameraInfo> vemoCamera() const;

    std::int64_t vendorId() const;
    void setVendorId(std::int64_t id);
    std::int64_t productId() const;
    void setProductId(std::int64_t id);
    int reportSize() const;
    void setReportSize(int size);

    // Starts the reading thread, or points the running one at the current ids. A link never
    // has more than one thread. With a vendor or product id of 0 nothing starts (returns false).
    bool start();
    // Stops the thread and closes the device; start() may follow. Posts nothing.
    void stop();
    bool isRunning() const;

    // True from a device match until the next removal.
    bool isConnected() const;

    // The last settings texts received completely from the wireless camera ('P') and its
    // receiver ('Q'); empty until one has arrived.
    std::string kestrixCameraSettings() const;
    std::string kestrixDongleSettings() const;

    // Hands an output report (report id 0) to the device; dropped while not connected.
    void sendReport(std::span<const std::uint8_t> report);
    void sendCommand(std::uint8_t command, std::int64_t value);
    void sendImageSetting(std::int64_t value, std::uint8_t command);
    void setFocus(std::uint8_t command, std::int64_t value);
    void setExposure(std::uint8_t command, std::int64_t value);
    void setWhiteBalance(std::uint8_t command, std::int64_t value);
    void setBrightness(std::int64_t value);
    void setContrast(std::int64_t value);
    void setSaturation(std::int64_t value);
    void setSharpness(std::int64_t value);
    // Sends a settings text as output chunks (type CMD_SET_CAMERA_SETTINGS or
    // CMD_SET_DONGLE_SETTINGS). A text the chunks cannot carry whole is refused with a printed
    // line before anything is sent (returns false). `delivered`, when given, runs exactly once:
    // with true on the link's thread after the device took every chunk, with false when a chunk
    // could not be written or the text was dropped (not connected, device gone, link stopped;
    // then perhaps on the caller's thread).
    using Delivered = std::function<void(bool delivered)>;
    bool sendSettings(std::uint8_t type, std::string_view text, Delivered delivered = {});

private:
    struct OpenDevice {
        HIDDeviceInfo info;
        std::unique_ptr<HIDConnection> connection;
        std::vector<std::uint8_t> buffer;
    };
    // The chunks of one settings text: counts their writes and reports the outcome once.
    struct Delivery {
        Delivered done;
        std::size_t remaining = 0;
        bool ok = true;
        bool finished = false;
        void chunkWritten(bool written);
        void fail();
    };
    struct Outgoing {
        std::vector<std::uint8_t> report;
        std::shared_ptr<Delivery> delivery;
    };
    static void failAll(std::deque<Outgoing>& reports);
    bool enqueue(std::vector<Outgoing> reports);

    struct Target {
        std::int64_t vendorId = 0;
        std::int64_t productId = 0;
        bool operator==(const Target&) const = default;
        bool valid() const;
    };

    void run();
    void scan(const Target& target, std::vector<OpenDevice>& devices);
    void deviceMatched(HIDDeviceInfo info, std::unique_ptr<HIDConnection> connection, std::vector<OpenDevice>& devices);
    void deviceRemoved();
    void handleInputReport(std::span<const std::uint8_t> report);
    void handleSettingsChunk(const SettingsChunk& chunk);
    void postConnected();
    void readAll(std::vector<OpenDevice>& devices);

    const std::shared_ptr<HIDTransport> transport_;
    const Options options_;

    std::mutex controlMutex_;  // start and stop
    std::thread thread_;

    mutable std::mutex mutex_;  // everything below but isConnected_
    std::condition_variable wake_;
    std::optional<HIDCameraInfo> camera_;
    std::int64_t vendorId_ = makerVendorID;
    std::int64_t productId_ = 41;
    int reportSize_ = 64;
    std::uint64_t generation_ = 0;  // bumped by every start
    bool stopRequested_ = false;
    bool running_ = false;
    std::deque<Outgoing> outgoing_;
    SettingsTextAssembler settings_;

    std::atomic<bool> isConnected_{false};
};

}  // namespace qv::hid
