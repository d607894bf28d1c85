// The HID link over the scripted fake transport: matches, removals, replugs, buttons, settings
// round trips, retargeting and stopping.
#include "FakeHIDTransport.h"

#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "capture/hid/SettingsText.h"
#include "capture/hid/link/QVHIDDevice.h"
#include "support/QtWait.h"

#include <QObject>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace qv::hid {
namespace {

using test::Bytes;
using test::FakeHIDTransport;
namespace note = app::notification;

constexpr std::uint16_t vendor = static_cast<std::uint16_t>(makerVendorID);
const QVHIDDevice::Options fast{std::chrono::milliseconds(5), std::chrono::milliseconds(5)};

HIDCameraInfo camera(std::int64_t productID, bool control, bool asr, int reportSize = 24) {
    HIDCameraInfo info;
    info.vendorID = vendor;
    info.productID = productID;
    info.reportSize = reportSize;
    info.isHIDControlSupported = control;
    info.isASRSupported = asr;
    info.isHIDButtonSupported = reportSize == 1;
    return info;
}

Bytes report24(Bytes head) {
    head.resize(24, 0);
    return head;
}

// Records the HID notifications in the order they are delivered on the main thread.
class Recorder {
public:
    Recorder() {
        for (const char* name : {note::HIDConnected, note::HIDDisconnected, note::HIDButtonClicked})
            app::NotificationCenter::defaultCenter().addObserver(&owner_, name, [this](const app::Notification& n) {
                seen.push_back(n);
            });
    }
    int count(const char* name) const {
        return static_cast<int>(std::count_if(seen.begin(), seen.end(), [&](const auto& n) { return n.name == name; }));
    }
    std::vector<QString> names() const {
        std::vector<QString> out;
        for (const auto& n : seen) out.push_back(n.name);
        return out;
    }
    std::vector<int> buttons() const {
        std::vector<int> out;
        for (const auto& n : seen)
            if (n.name == note::HIDButtonClicked) out.push_back(n.userInfo.value("button").toInt());
        return out;
    }
    const app::Notification* last(const char* name) const {
        for (auto it = seen.rbegin(); it != seen.rend(); ++it)
            if (it->name == name) return &*it;
        return nullptr;
    }
    bool waitFor(const char* name, int n = 1) {
        return qv::test::waitUntil([&] { return count(name) >= n; });
    }

    std::vector<app::Notification> seen;

private:
    QObject owner_;
};

class HIDLink : public ::testing::Test {
protected:
    std::shared_ptr<FakeHIDTransport> fake = std::make_shared<FakeHIDTransport>();
    Recorder recorder;
    std::unique_ptr<QVHIDDevice> link = std::make_unique<QVHIDDevice>(fake, fast);

    void TearDown() override {
        link.reset();  // stop and join before the recorder goes
        qv::test::spin(20);
    }
};

TEST_F(HIDLink, MatchWithCameraPostsConnectedWithItsFlags) {
    struct Case {
        bool control, asr;
    };
    for (const Case c : {Case{true, true}, Case{true, false}, Case{false, true}}) {
        SCOPED_TRACE(std::to_string(c.control) + std::to_string(c.asr));
        auto fresh = std::make_shared<FakeHIDTransport>();
        Recorder seen;
        QVHIDDevice device(fresh, fast);
        device.setVemoCamera(camera(41, c.control, c.asr));
        fresh->plug("/dev/hidraw3", vendor, 41);
        ASSERT_TRUE(device.start());
        ASSERT_TRUE(seen.waitFor(note::HIDConnected));
        EXPECT_TRUE(device.isConnected());
        const auto* connected = seen.last(note::HIDConnected);
        EXPECT_EQ(connected->userInfo.value("allowHIDControl"), QVariant(c.control));
        EXPECT_EQ(connected->userInfo.value("allowASR"), QVariant(c.asr));
    }
}

TEST_F(HIDLink, LinkWithoutCameraAnnouncesNothing) {
    link->setProductId(22);
    link->setReportSize(24);
    fake->plug("/dev/hidraw1", vendor, 22);
    fake->plug("/dev/hidraw2", vendor, 41);  // another of the maker's devices: not ours
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(qv::test::waitUntil([&] { return link->isConnected(); }));
    EXPECT_EQ(fake->openConnections("/dev/hidraw2"), 0);
    qv::test::spin(50);
    EXPECT_EQ(recorder.count(note::HIDConnected), 0);

    fake->unplug("/dev/hidraw1");
    ASSERT_TRUE(qv::test::waitUntil([&] { return !link->isConnected(); }));
    qv::test::spin(30);
    EXPECT_EQ(recorder.count(note::HIDDisconnected), 0) << "only a camera's link tells the bar";
    EXPECT_EQ(recorder.count(note::HIDConnected), 0);
}

TEST_F(HIDLink, SendsReachOnlyAConnectedDeviceAndAReplugWorks) {
    link->setVemoCamera(camera(41, true, false));
    link->sendCommand(QVHIDCommand::CMD_BRIGHTNESS, 1);  // not started: dropped
    fake->plug("/dev/hidraw0", vendor, 41);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(recorder.waitFor(note::HIDConnected));

    link->setBrightness(-127);
    ASSERT_TRUE(qv::test::waitUntil([&] { return fake->outputs("/dev/hidraw0").size() == 1; }));

    fake->unplug("/dev/hidraw0");
    ASSERT_TRUE(recorder.waitFor(note::HIDDisconnected));
    link->setWhiteBalance(QVHIDCommand::CMD_WHITE_BALANCE, 5000);  // dropped
    link->sendReport(makeCommandReport(QVHIDCommand::CMD_RESET, 0));  // dropped

    fake->plug("/dev/hidraw0", vendor, 41);
    ASSERT_TRUE(recorder.waitFor(note::HIDConnected, 2));
    link->setExposure(QVHIDCommand::CMD_EXPOSURE, -512);
    ASSERT_TRUE(qv::test::waitUntil([&] { return fake->outputs("/dev/hidraw0").size() >= 2; }));
    qv::test::spin(30);

    const auto outputs = fake->outputs("/dev/hidraw0");
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_EQ(outputs[0].reportID, 0);
    EXPECT_EQ(outputs[0].report, report24({0x60, 0x81, 0xFF}));
    EXPECT_EQ(outputs[1].report, report24({0x43, 0x00, 0xFE}));
    EXPECT_EQ(recorder.names(), (std::vector<QString>{note::HIDConnected, note::HIDDisconnected, note::HIDConnected}));
}

TEST_F(HIDLink, ButtonReportsOfBothFormsBecomeNotifications) {
    // A button-only camera sends one-byte reports.
    link->setVemoCamera(camera(44, false, false, 1));
    fake->plug("/dev/hidraw0", vendor, 44);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(recorder.waitFor(note::HIDConnected));
    for (std::uint8_t b : {0x05, 0x07, 0x02, 0x03, 0x06, 0x04}) fake->queueInput("/dev/hidraw0", {b});
    ASSERT_TRUE(recorder.waitFor(note::HIDButtonClicked, 4));
    qv::test::spin(30);
    EXPECT_EQ(recorder.buttons(), (std::vector<int>{5, 3, 6, 4}));

    // A camera with 24-byte reports sets a button bit after 0x80.
    auto fresh = std::make_shared<FakeHIDTransport>();
    Recorder seen;
    QVHIDDevice device(fresh, fast);
    device.setVemoCamera(camera(41, true, true, 24));
    fresh->plug("/dev/hidraw5", vendor, 41);
    ASSERT_TRUE(device.start());
    ASSERT_TRUE(seen.waitFor(note::HIDConnected));
    fresh->queueInput("/dev/hidraw5", report24({0x80, 0x03}));  // no button
    fresh->queueInput("/dev/hidraw5", report24({0x81, 0x01}));  // not a button report
    fresh->queueInput("/dev/hidraw5", report24({0x80, 0x02}));
    fresh->queueInput("/dev/hidraw5", report24({0x80, 0x01}));
    ASSERT_TRUE(seen.waitFor(note::HIDButtonClicked, 2));
    qv::test::spin(30);
    EXPECT_EQ(seen.buttons(), (std::vector<int>{3, 5}));
}

TEST_F(HIDLink, SettingsRequestAnsweredByChunksEndsInTheSerialNumber) {
    const std::string cameraText = "camera_sn=KX2041-0007\ntype=P2P\nwifi_ssid=KX2041-0007\nwifi_key_mgmt=WPA\n";
    link->setProductId(25);
    link->setReportSize(24);
    fake->setResponder("/dev/hidraw7", [&](const Bytes& written) {
        return written == report24({QVHIDCommand::CMD_GET_CAMERA_SETTINGS}) ? test::settingsInputChunks('P', cameraText)
                                                                             : std::vector<Bytes>{};
    });
    fake->plug("/dev/hidraw7", vendor, 25);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(qv::test::waitUntil([&] { return link->isConnected(); }));
    EXPECT_EQ(link->kestrixCameraSettings(), "");

    link->sendReport(makeSettingsRequest(QVHIDCommand::CMD_GET_CAMERA_SETTINGS));
    ASSERT_TRUE(qv::test::waitUntil([&] { return !link->kestrixCameraSettings().empty(); }));
    // Only the whole text is ever visible.
    EXPECT_EQ(link->kestrixCameraSettings(), cameraText);
    EXPECT_EQ(link->kestrixDongleSettings(), "");
    const CameraSettings settings = parseCameraSettings(link->kestrixCameraSettings());
    EXPECT_EQ(settings.at(CameraSettingsKey::KEY_CAMERA_SN), "KX2041-0007");
    EXPECT_EQ(settings.at(CameraSettingsKey::KEY_TYPE), "P2P");
}

TEST_F(HIDLink, SettingsTextsGoOutAsChunksAndUncarriableTextsAreRefusedWhole) {
    link->setProductId(22);
    fake->plug("/dev/hidraw1", vendor, 22);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(qv::test::waitUntil([&] { return link->isConnected(); }));

    const std::string text = "DONGLE_SN=D1\nCAMERA_HOST=\"S1\"\n";  // 30 characters: 3 chunks
    EXPECT_TRUE(link->sendSettings(QVHIDCommand::CMD_SET_DONGLE_SETTINGS, text));
    ASSERT_TRUE(qv::test::waitUntil([&] { return fake->outputs("/dev/hidraw1").size() == 3; }));
    const auto expected = makeSettingsChunks(QVHIDCommand::CMD_SET_DONGLE_SETTINGS, text);
    const auto outputs = fake->outputs("/dev/hidraw1");
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(outputs[k].report, Bytes(expected[k].begin(), expected[k].end()));

    // One character outside ASCII near the end: not even the first chunk goes out.
    EXPECT_FALSE(link->sendSettings(QVHIDCommand::CMD_SET_DONGLE_SETTINGS, "DONGLE_SN=D1\nWIFI_SSID=Caf\xC3\xA9\n"));
    EXPECT_FALSE(link->sendSettings(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, std::string(3585, 'x')));
    qv::test::spin(50);
    EXPECT_EQ(fake->outputs("/dev/hidraw1").size(), 3u);
}

TEST_F(HIDLink, DiagnosticLines) {
    ::testing::internal::CaptureStdout();
    {
        QVHIDDevice device(fake, fast);
        device.setVemoCamera(camera(41, true, true));
        fake->plug("/dev/hidraw0", vendor, 41);
        ASSERT_TRUE(device.start());
        ASSERT_TRUE(qv::test::waitUntil([&] { return device.isConnected(); }));
        device.setContrast(128);
        device.sendSettings(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, "wifi_ssid=\xC3\xA9\n");
        ASSERT_TRUE(qv::test::waitUntil([&] { return fake->outputs("/dev/hidraw0").size() == 1; }));
    }
    const std::string out = ::testing::internal::GetCapturedStdout();
    const auto position = [&](const std::string& line) { return out.find(line + "\n"); };
    const std::vector<std::string> lines = {
        "\"Init Hid Device\"", std::to_string(makerVendorID) + " 41", "HID Device connected", "true",
        "\"Sent output: 61 80 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \""};
    for (const std::string& line : lines)
        EXPECT_NE(position(line), std::string::npos) << line << " in\n" << out;
    // The refused text is named, and no chunk of it is announced as sent.
    EXPECT_NE(out.find("Settings text not sent:"), std::string::npos) << out;
    EXPECT_EQ(out.find("Sent output: 91"), std::string::npos) << out;
}

TEST_F(HIDLink, RepeatedStartsKeepOneReaderAndDeliverEachPressOnce) {
    link->setVemoCamera(camera(41, true, true));
    fake->plug("/dev/hidraw0", vendor, 41);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(recorder.waitFor(note::HIDConnected));
    for (int i = 0; i < 5; ++i) {  // every reconfiguration of the main camera starts the link again
        link->setVemoCamera(camera(41, true, true));
        ASSERT_TRUE(link->start());
        ASSERT_TRUE(recorder.waitFor(note::HIDConnected, 2 + i));  // and the camera is announced again
    }
    EXPECT_EQ(fake->openConnections("/dev/hidraw0"), 1);
    EXPECT_EQ(recorder.count(note::HIDDisconnected), 0);

    fake->queueInput("/dev/hidraw0", report24({0x80, 0x04}));
    ASSERT_TRUE(recorder.waitFor(note::HIDButtonClicked));
    qv::test::spin(100);
    EXPECT_EQ(recorder.buttons(), std::vector<int>{4});
}

TEST_F(HIDLink, RetargetingToAnotherCameraLetsTheFirstGo) {
    link->setVemoCamera(camera(41, true, true));
    fake->plug("/dev/hidraw0", vendor, 41);
    fake->plug("/dev/hidraw1", vendor, 44);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(recorder.waitFor(note::HIDConnected));

    link->setVemoCamera(camera(44, false, false, 1));
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(recorder.waitFor(note::HIDConnected, 2));
    EXPECT_EQ(fake->openConnections("/dev/hidraw0"), 0);
    EXPECT_EQ(fake->openConnections("/dev/hidraw1"), 1);
    EXPECT_EQ(recorder.names(), (std::vector<QString>{note::HIDConnected, note::HIDDisconnected, note::HIDConnected}));
    EXPECT_EQ(recorder.last(note::HIDConnected)->userInfo.value("allowHIDControl"), QVariant(false));

    fake->queueInput("/dev/hidraw0", {0x05});  // the old camera is no longer heard
    fake->queueInput("/dev/hidraw1", {0x06});
    ASSERT_TRUE(recorder.waitFor(note::HIDButtonClicked));
    qv::test::spin(50);
    EXPECT_EQ(recorder.buttons(), std::vector<int>{6});
}

TEST_F(HIDLink, ZeroIdsNeverStartOrMatch) {
    fake->plug("/dev/hidraw9", 0, 0);
    HIDCameraInfo unreadable;  // a camera whose ids could not be read
    link->setVemoCamera(unreadable);
    EXPECT_FALSE(link->start());
    EXPECT_FALSE(link->isRunning());

    link->setVendorId(vendor);
    link->setProductId(0);
    EXPECT_FALSE(link->start());
    EXPECT_FALSE(link->isRunning());
    qv::test::spin(30);
    EXPECT_TRUE(fake->enumerations().empty());

    // A running link pointed at zero ids lets its device go and lists nothing any more.
    link->setVemoCamera(camera(41, true, true));
    fake->plug("/dev/hidraw0", vendor, 41);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(recorder.waitFor(note::HIDConnected));
    link->setVemoCamera(unreadable);
    EXPECT_FALSE(link->start());
    ASSERT_TRUE(recorder.waitFor(note::HIDDisconnected));
    EXPECT_EQ(fake->openConnections("/dev/hidraw0"), 0);
    for (const auto& [v, p] : fake->enumerations()) EXPECT_TRUE(v != 0 && p != 0);
}

TEST_F(HIDLink, StopJoinsAndClosesQuietlyAndTheLinkCanStartAgain) {
    link->setProductId(25);
    fake->plug("/dev/hidraw4", vendor, 25);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(qv::test::waitUntil([&] { return link->isConnected(); }));

    link->stop();
    EXPECT_FALSE(link->isRunning());
    EXPECT_FALSE(link->isConnected());
    EXPECT_EQ(fake->openConnections("/dev/hidraw4"), 0);
    link->sendReport(makeSettingsRequest(QVHIDCommand::CMD_GET_CAMERA_SETTINGS));  // dropped
    qv::test::spin(30);
    EXPECT_EQ(recorder.count(note::HIDDisconnected), 0);  // closing a panel is no unplug

    ASSERT_TRUE(link->start());
    ASSERT_TRUE(qv::test::waitUntil([&] { return link->isConnected(); }));
    EXPECT_EQ(fake->openConnections("/dev/hidraw4"), 1);
    EXPECT_TRUE(fake->outputs("/dev/hidraw4").empty());
}

TEST_F(HIDLink, SettingsTextsSurviveARemoval) {
    link->setProductId(22);
    fake->plug("/dev/hidraw1", vendor, 22);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(qv::test::waitUntil([&] { return link->isConnected(); }));
    for (const Bytes& chunk : test::settingsInputChunks('Q', "DONGLE_SN=D77\n")) fake->queueInput("/dev/hidraw1", chunk);
    ASSERT_TRUE(qv::test::waitUntil([&] { return link->kestrixDongleSettings() == "DONGLE_SN=D77\n"; }));
    fake->unplug("/dev/hidraw1");
    ASSERT_TRUE(qv::test::waitUntil([&] { return !link->isConnected(); }));
    EXPECT_EQ(link->kestrixDongleSettings(), "DONGLE_SN=D77\n");
}

TEST_F(HIDLink, ALinkWithoutACameraPostsNoConnectionNews) {
    // The pairing panel's receiver link: its device coming and going must not reach the bar,
    // which would hide the controls of a main camera that is still connected.
    link->setProductId(22);
    fake->plug("/dev/hidraw1", vendor, 22);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(qv::test::waitUntil([&] { return link->isConnected(); }));
    fake->unplug("/dev/hidraw1");
    ASSERT_TRUE(qv::test::waitUntil([&] { return !link->isConnected(); }));
    fake->plug("/dev/hidraw1", vendor, 22);
    ASSERT_TRUE(qv::test::waitUntil([&] { return link->isConnected(); }));
    qv::test::spin(30);
    EXPECT_EQ(recorder.count(note::HIDDisconnected), 0);
    EXPECT_EQ(recorder.count(note::HIDConnected), 0);
}

TEST_F(HIDLink, SettingsSendReportsWhetherTheDeviceTookEveryChunk) {
    std::atomic<int> outcomes{0};
    std::atomic<bool> result{false};
    const auto record = [&](bool delivered) {
        result = delivered;
        ++outcomes;
    };
    // Not connected: dropped, and said so.
    link->setProductId(25);
    ASSERT_TRUE(link->sendSettings(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, "camera_sn=S1\ntype=P2P\n", record));
    ASSERT_TRUE(qv::test::waitUntil([&] { return outcomes == 1; }));
    EXPECT_FALSE(result);

    fake->plug("/dev/hidraw5", vendor, 25);
    ASSERT_TRUE(link->start());
    ASSERT_TRUE(qv::test::waitUntil([&] { return link->isConnected(); }));
    const std::string text = "camera_sn=S1\ntype=P2P\nwifi_ssid=S1\n";
    ASSERT_TRUE(link->sendSettings(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, text, record));
    ASSERT_TRUE(qv::test::waitUntil([&] { return outcomes == 2; }));
    EXPECT_TRUE(result);
    EXPECT_EQ(fake->outputs("/dev/hidraw5").size(), makeSettingsChunks(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, text).size());

    // A text the chunks cannot carry is refused and reported as not delivered.
    EXPECT_FALSE(link->sendSettings(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, "", record));
    ASSERT_TRUE(qv::test::waitUntil([&] { return outcomes == 3; }));
    EXPECT_FALSE(result);

    // Queued but never written because the link stops: reported once, as not delivered.
    link->stop();
    EXPECT_TRUE(link->sendSettings(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, text, record));
    ASSERT_TRUE(qv::test::waitUntil([&] { return outcomes == 4; }));
    EXPECT_FALSE(result);
    qv::test::spin(30);
    EXPECT_EQ(outcomes, 4);
}

}  // namespace
}  // namespace qv::hid

namespace qv::hid {
namespace {

TEST(HIDLinkShared, SharedLinkStartsOutIdleWithTheDefaultIds) {
    QVHIDDevice& shared = QVHIDDevice::shared();
    EXPECT_EQ(&shared, &QVHIDDevice::shared());
    EXPECT_FALSE(shared.isRunning());
    EXPECT_FALSE(shared.isConnected());
    EXPECT_FALSE(shared.vemoCamera());
    EXPECT_EQ(shared.vendorId(), makerVendorID);
    EXPECT_EQ(shared.productId(), 41);
    EXPECT_EQ(shared.reportSize(), 64);
}

TEST(HIDLinkShared, LinkOverHidapiWaitsQuietlyWithoutItsDeviceAndStops) {
    Recorder recorder;
    QVHIDDevice device;  // the program's own transport
    device.setVemoCamera(camera(41, true, true));
    ASSERT_TRUE(device.start());
    qv::test::spin(100);
    EXPECT_TRUE(device.isRunning());
    EXPECT_FALSE(device.isConnected());
    device.setBrightness(10);  // dropped: nothing to send to
    device.stop();
    EXPECT_FALSE(device.isRunning());
    qv::test::spin(20);
    EXPECT_TRUE(recorder.seen.empty());
}

}  // namespace
}  // namespace qv::hid
