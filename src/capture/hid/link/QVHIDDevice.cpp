#include "capture/hid/link/QVHIDDevice.h"

#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "capture/hid/hidapi/HidapiTransport.h"
#include "util/Print.h"

#include <QCoreApplication>
#include <QObject>
#include <QVariantMap>

#include <algorithm>

namespace qv::hid {

namespace {

constexpr int largestReportSize = 4096;

std::uint16_t usbId(std::int64_t id) { return static_cast<std::uint16_t>(id); }

}  // namespace

bool QVHIDDevice::Target::valid() const {
    // An id of 0 would match every device; an id beyond 16 bits matches none.
    return vendorId > 0 && vendorId <= 0xFFFF && productId > 0 && productId <= 0xFFFF;
}

QVHIDDevice::QVHIDDevice() : QVHIDDevice(makeHidapiTransport()) {}

QVHIDDevice::QVHIDDevice(std::shared_ptr<HIDTransport> transport, Options options)
    : transport_(std::move(transport)), options_(options) {
    util::printLine(debugQuoted("Init Hid Device"));
}

QVHIDDevice::~QVHIDDevice() { stop(); }

QVHIDDevice& QVHIDDevice::shared() {
    static QVHIDDevice* const instance = [] {
        auto* link = new QVHIDDevice();  // lives for the whole process
        if (QCoreApplication* app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, [link] { link->stop(); });
        return link;
    }();
    return *instance;
}

void QVHIDDevice::setVemoCamera(const HIDCameraInfo& camera) {
    {
        std::lock_guard lock(mutex_);
        camera_ = camera;
        vendorId_ = camera.vendorID;
        productId_ = camera.productID;
        reportSize_ = camera.reportSize;
    }
    util::printLine(camera.vendorID, camera.productID);
}

std::optional<HIDCameraInfo> QVHIDDevice::vemoCamera() const {
    std::lock_guard lock(mutex_);
    return camera_;
}

std::int64_t QVHIDDevice::vendorId() const {
    std::lock_guard lock(mutex_);
    return vendorId_;
}

void QVHIDDevice::setVendorId(std::int64_t id) {
    std::lock_guard lock(mutex_);
    vendorId_ = id;
}

std::int64_t QVHIDDevice::productId() const {
    std::lock_guard lock(mutex_);
    return productId_;
}

void QVHIDDevice::setProductId(std::int64_t id) {
    std::lock_guard lock(mutex_);
    productId_ = id;
}

int QVHIDDevice::reportSize() const {
    std::lock_guard lock(mutex_);
    return reportSize_;
}

void QVHIDDevice::setReportSize(int size) {
    std::lock_guard lock(mutex_);
    reportSize_ = size;
}

bool QVHIDDevice::start() {
    std::lock_guard control(controlMutex_);
    bool startThread = false;
    Target target;
    {
        std::lock_guard lock(mutex_);
        target = {vendorId_, productId_};
        ++generation_;  // a running thread takes the new ids (or lets its device go)
        startThread = target.valid() && !running_;
        if (startThread) {
            stopRequested_ = false;
            running_ = true;
        }
    }
    wake_.notify_all();
    if (!target.valid()) {
        util::printLine("HID link not started, no usable device id:", target.vendorId, target.productId);
        return false;
    }
    if (startThread) {
        if (thread_.joinable()) thread_.join();
        thread_ = std::thread([this] { run(); });
    }
    return true;
}

void QVHIDDevice::stop() {
    std::lock_guard control(controlMutex_);
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::deque<Outgoing> dropped;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        dropped.swap(outgoing_);
    }
    failAll(dropped);
}

void QVHIDDevice::Delivery::chunkWritten(bool written) {
    if (finished) return;
    ok = ok && written;
    if (--remaining > 0) return;
    finished = true;
    if (done) done(ok);
}

void QVHIDDevice::Delivery::fail() {
    if (finished) return;
    finished = true;
    if (done) done(false);
}

void QVHIDDevice::failAll(std::deque<Outgoing>& reports) {
    for (Outgoing& o : reports)
        if (o.delivery) o.delivery->fail();
    reports.clear();
}

bool QVHIDDevice::enqueue(std::vector<Outgoing> reports) {
    {
        // Checked and queued under the lock that a removal takes to clear the queue, so nothing
        // meant for a departed device is left for the next one.
        std::lock_guard lock(mutex_);
        if (!isConnected_.load()) return false;
        for (Outgoing& o : reports) outgoing_.push_back(std::move(o));
    }
    wake_.notify_all();
    return true;
}

bool QVHIDDevice::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool QVHIDDevice::isConnected() const { return isConnected_.load(); }

std::string QVHIDDevice::kestrixCameraSettings() const {
    std::lock_guard lock(mutex_);
    return settings_.cameraText();
}

std::string QVHIDDevice::kestrixDongleSettings() const {
    std::lock_guard lock(mutex_);
    return settings_.dongleText();
}

void QVHIDDevice::sendReport(std::span<const std::uint8_t> report) {
    std::vector<Outgoing> one;
    one.push_back({std::vector<std::uint8_t>(report.begin(), report.end()), nullptr});
    if (enqueue(std::move(one))) util::printLine(debugQuoted("Sent output: " + hexText(report)));
}

void QVHIDDevice::sendCommand(std::uint8_t command, std::int64_t value) {
    sendReport(makeCommandReport(command, value));
}

void QVHIDDevice::sendImageSetting(std::int64_t value, std::uint8_t command) {
    sendReport(makeCommandReport(command, value));
}

void QVHIDDevice::setFocus(std::uint8_t command, std::int64_t value) { sendCommand(command, value); }
void QVHIDDevice::setExposure(std::uint8_t command, std::int64_t value) { sendCommand(command, value); }
void QVHIDDevice::setWhiteBalance(std::uint8_t command, std::int64_t value) { sendCommand(command, value); }
void QVHIDDevice::setBrightness(std::int64_t value) { sendImageSetting(value, QVHIDCommand::CMD_BRIGHTNESS); }
void QVHIDDevice::setContrast(std::int64_t value) { sendImageSetting(value, QVHIDCommand::CMD_CONTRAST); }
void QVHIDDevice::setSaturation(std::int64_t value) { sendImageSetting(value, QVHIDCommand::CMD_SATURATION); }
void QVHIDDevice::setSharpness(std::int64_t value) { sendImageSetting(value, QVHIDCommand::CMD_SHARPNESS); }

bool QVHIDDevice::sendSettings(std::uint8_t type, std::string_view text, Delivered delivered) {
    std::vector<OutputReport> chunks;
    try {
        chunks = makeSettingsChunks(type, text);
    } catch (const SettingsTextError& error) {
        util::printLine("Settings text not sent:", error.what());
        if (delivered) delivered(false);
        return false;
    }
    // All chunks are queued at once, so a removal drops the whole text or none of it.
    auto delivery = std::make_shared<Delivery>();
    delivery->done = std::move(delivered);
    delivery->remaining = chunks.size();
    std::vector<Outgoing> reports;
    for (const OutputReport& chunk : chunks) reports.push_back({std::vector<std::uint8_t>(chunk.begin(), chunk.end()), delivery});
    if (!enqueue(std::move(reports))) {
        delivery->fail();
        return true;
    }
    for (const OutputReport& chunk : chunks) util::printLine(debugQuoted("Sent output: " + hexText(chunk)));
    return true;
}

// The link's thread: lists the attached devices every scan interval, opens those that fit, reads
// them with short timeouts (so that a stop or a new target is seen at once) and writes what the
// senders queued, to the device matched last.
void QVHIDDevice::run() {
    std::vector<OpenDevice> devices;
    Target target;
    std::uint64_t seenGeneration = 0;
    auto nextScan = std::chrono::steady_clock::now();

    std::unique_lock lock(mutex_);
    while (!stopRequested_) {
        bool announce = false;
        if (generation_ != seenGeneration) {
            seenGeneration = generation_;
            const Target wanted{vendorId_, productId_};
            if (wanted != target) {
                target = wanted;
                nextScan = std::chrono::steady_clock::now();
                if (!devices.empty()) {
                    lock.unlock();
                    const bool wasConnected = isConnected_.load();
                    devices.clear();
                    if (wasConnected) deviceRemoved();
                    lock.lock();
                }
            } else {
                announce = isConnected_.load();  // a new start for the same device announces it again
            }
        }
        std::deque<Outgoing> pending;
        pending.swap(outgoing_);
        lock.unlock();

        if (announce) postConnected();
        if (isConnected_.load() && !devices.empty()) {
            for (const Outgoing& o : pending) {
                const bool written = devices.back().connection->write(0, o.report);
                if (o.delivery) o.delivery->chunkWritten(written);
            }
            pending.clear();
        }
        failAll(pending);
        if (target.valid() && std::chrono::steady_clock::now() >= nextScan) {
            scan(target, devices);
            nextScan = std::chrono::steady_clock::now() + options_.scanInterval;
        }
        if (devices.empty()) {
            lock.lock();
            const auto woken = [&] { return stopRequested_ || generation_ != seenGeneration; };
            if (target.valid())
                wake_.wait_until(lock, nextScan, woken);
            else
                wake_.wait(lock, woken);  // nothing to look for until the next start
            continue;
        }
        readAll(devices);
        lock.lock();
    }
    lock.unlock();
    devices.clear();
    isConnected_.store(false);
}

void QVHIDDevice::scan(const Target& target, std::vector<OpenDevice>& devices) {
    const std::vector<HIDDeviceInfo> present = transport_->enumerate(usbId(target.vendorId), usbId(target.productId));
    // Devices that are no longer listed went away.
    const auto gone = std::remove_if(devices.begin(), devices.end(), [&](const OpenDevice& open) {
        return std::none_of(present.begin(), present.end(),
                            [&](const HIDDeviceInfo& info) { return info.path == open.info.path; });
    });
    const bool anyGone = gone != devices.end();
    devices.erase(gone, devices.end());
    if (anyGone) deviceRemoved();
    for (const HIDDeviceInfo& info : present) {
        const bool isOpen = std::any_of(devices.begin(), devices.end(),
                                        [&](const OpenDevice& open) { return open.info.path == info.path; });
        if (isOpen) continue;
        if (auto connection = transport_->open(info)) deviceMatched(info, std::move(connection), devices);
    }
}

void QVHIDDevice::deviceMatched(HIDDeviceInfo info, std::unique_ptr<HIDConnection> connection,
                                std::vector<OpenDevice>& devices) {
    util::printLine("HID Device connected");
    isConnected_.store(true);
    util::printLine(true);
    const int size = std::clamp(reportSize(), 1, largestReportSize);
    devices.push_back({std::move(info), std::move(connection), std::vector<std::uint8_t>(static_cast<std::size_t>(size))});
    postConnected();
}

void QVHIDDevice::deviceRemoved() {
    util::printLine("Device removed");
    std::deque<Outgoing> dropped;
    {
        // Reports queued for the device that went away are not delivered to its successor.
        std::lock_guard lock(mutex_);
        isConnected_.store(false);
        dropped.swap(outgoing_);
    }
    failAll(dropped);
    // Only the link that serves the main camera tells the bar; a pairing link going away must not
    // hide the bar's controls of a camera that is still there.
    if (!vemoCamera()) return;
    app::post(app::notification::HIDDisconnected, QVariantMap{{"allowHIDControl", false}});
}

void QVHIDDevice::postConnected() {
    const std::optional<HIDCameraInfo> camera = vemoCamera();
    if (!camera) return;  // the pairing panel's links announce nothing
    app::post(app::notification::HIDConnected, QVariantMap{{"allowHIDControl", camera->isHIDControlSupported},
                                                           {"allowASR", camera->isASRSupported}});
}

void QVHIDDevice::readAll(std::vector<OpenDevice>& devices) {
    const auto count = static_cast<int>(devices.size());
    const int timeout = std::max(1, static_cast<int>(options_.readTimeout.count()) / count);
    for (auto it = devices.begin(); it != devices.end();) {
        const int n = it->connection->read(it->buffer, timeout);
        if (n < 0) {
            it = devices.erase(it);
            deviceRemoved();
            continue;
        }
        if (n > 0) handleInputReport(std::span<const std::uint8_t>(it->buffer.data(), static_cast<std::size_t>(n)));
        ++it;
    }
}

void QVHIDDevice::handleInputReport(std::span<const std::uint8_t> report) {
    const InputReportContent content = parseInputReport(report);
    if (content.button) app::post(app::notification::HIDButtonClicked, QVariantMap{{"button", *content.button}});
    if (content.chunk) {
        util::printLine(debugQuoted(hexText(report)));
        handleSettingsChunk(*content.chunk);
    }
}

void QVHIDDevice::handleSettingsChunk(const SettingsChunk& chunk) {
    std::optional<std::string> completed;
    {
        std::lock_guard lock(mutex_);
        completed = settings_.add(chunk);
    }
    if (completed) {
        util::printLine(debugQuoted(std::string(28, '*')));
        util::printLine(debugQuoted(*completed));
    }
}

}  // namespace qv::hid
