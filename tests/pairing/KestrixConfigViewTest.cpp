// The pairing panel over scripted links: read-back rows, the taps that unlock the serial fields,
// "Pair" refused while a device or a serial is missing, the direct pairing's bytes, a dropped
// send reported, links that end with the panel and tell the bar nothing; and once over the real
// hidapi backend with no device attached.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "capture/hid/HIDReports.h"
#include "capture/hid/link/FakeHIDTransport.h"
#include "capture/hid/link/QVHIDDevice.h"
#include "pairing/KestrixConfigView.h"
#include "pairing/PairingTexts.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/QtWait.h"

namespace qv::pairing {
namespace {

using hid::QVHIDDevice;
using hid::test::Bytes;
using hid::test::FakeHIDTransport;
namespace nt = app::notification;

constexpr std::uint16_t vendor = 0x2C4A;
const std::string kCamera = "/dev/hidraw-camera";
const std::string kDongle = "/dev/hidraw-dongle";
// Short delays, with room for a busy machine to deliver the texts before the read-back.
const KestrixConfigView::Timing fastTiming{100, 1500, 600};

int threadCount() { return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

class Panel : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {nt::HIDConnected, nt::HIDDisconnected, nt::OpenKestrixConfig})
            app::NotificationCenter::defaultCenter().addObserver(&owner, name, [this](const app::Notification& n) {
                posted.push_back(n.name);
            });
    }
    void TearDown() override { panel.reset(); }

    // Devices that answer a settings request with their text (or with all but its last chunk).
    void plugCamera(const std::string& text, bool complete = true) {
        transport->plug(kCamera, vendor, 25);
        transport->setResponder(kCamera, [text, complete](const Bytes& written) {
            std::vector<Bytes> answer;
            if (written[0] == hid::QVHIDCommand::CMD_GET_CAMERA_SETTINGS) {
                answer = hid::test::settingsInputChunks('P', text);
                if (!complete) answer.pop_back();
            }
            return answer;
        });
    }
    void plugDongle(const std::string& text) {
        transport->plug(kDongle, vendor, 22);
        transport->setResponder(kDongle, [text](const Bytes& written) {
            return written[0] == hid::QVHIDCommand::CMD_GET_DONGLE_SETTINGS ? hid::test::settingsInputChunks('Q', text)
                                                                            : std::vector<Bytes>{};
        });
    }
    KestrixConfigView::LinkFactory fakeLinks() {
        return [t = transport] {
            return std::make_unique<QVHIDDevice>(t, QVHIDDevice::Options{std::chrono::milliseconds(5), std::chrono::milliseconds(5)});
        };
    }
    // Shows a new panel and waits for its read-back.
    void open(KestrixConfigView::LinkFactory links = {}) {
        panel = std::make_unique<KestrixConfigView>(links ? links : fakeLinks(), fastTiming);
        panel->show();
        ASSERT_TRUE(test::waitUntil([&] { return panel->readBackDone(); }, 10000));
    }
    template <typename T>
    T* child(const char* name) const {
        return panel->findChild<T*>(name);
    }
    bool visible(const char* name) const {
        auto* w = panel->findChild<QWidget*>(name);
        return w && w->isVisible();
    }
    // The settings chunks written to a device (its requests left out).
    std::vector<Bytes> settingsWritten(const std::string& path) const {
        std::vector<Bytes> out;
        for (const auto& o : transport->outputs(path))
            if (o.report[0] == hid::QVHIDCommand::CMD_SET_CAMERA_SETTINGS || o.report[0] == hid::QVHIDCommand::CMD_SET_DONGLE_SETTINGS)
                out.push_back(o.report);
        return out;
    }

    std::shared_ptr<FakeHIDTransport> transport = std::make_shared<FakeHIDTransport>();
    std::unique_ptr<KestrixConfigView> panel;
    QObject owner;
    std::vector<QString> posted;
};

const std::string kCameraP2P = "camera_sn=KX2409A17\ntype=P2P\nwifi_ssid=KX2409A17\n";
const std::string kDongleText = "DONGLE_SN=DG0815\nCAMERA_HOST=\"OLD1\"\nWIFI_SSID=\"net\"\nWIFI_PASSWORD=\"pw\"\n";

TEST_F(Panel, ReadBackFillsTheRows) {
    plugCamera(kCameraP2P);
    plugDongle(kDongleText);
    open();
    EXPECT_TRUE(panel->isCameraConnected);
    EXPECT_TRUE(panel->isDongleConnected);
    EXPECT_EQ(child<QLineEdit>("cameraSN")->text(), "KX2409A17");
    EXPECT_EQ(child<QLineEdit>("dongleSN")->text(), "DG0815");
    EXPECT_EQ(child<QLabel>("pairedCamera")->text(), "\"OLD1\"");
    EXPECT_EQ(child<QLabel>("cameraType")->text(), "P2P");
    EXPECT_FALSE(visible("dongleMissing"));
    EXPECT_FALSE(visible("cameraMissing"));
    EXPECT_FALSE(child<QLineEdit>("cameraSN")->isEnabled()) << "serials are locked until the taps";
    // A P2P camera: only the serial and "Pair Type: " rows, even though the receiver holds Wi-Fi keys.
    int shownWifiRows = 0;
    for (auto* label : panel->findChildren<QLabel*>())
        if ((label->text() == "WiFi SSID: " || label->text() == "Password: ") && label->isVisible()) ++shownWifiRows;
    EXPECT_EQ(shownWifiRows, 0);
    EXPECT_TRUE(child<QPushButton>("Pair")->isEnabled());
    EXPECT_FALSE(visible("wifiSSID")) << "\"Direct\": no Wi-Fi fields";
    // The device rows' labels: one column 120 wide, each text whole (on two lines if need be).
    test::spin(50);
    for (const char* text : {"Serial #: ", "Paired Camera: ", "Pair Type: "}) {
        for (auto* label : panel->findChildren<QLabel*>()) {
            if (label->text() != text || !label->isVisible()) continue;
            EXPECT_EQ(label->width(), 120) << text;
            EXPECT_LE(label->minimumSizeHint().width(), 120) << text << " is cut";
            EXPECT_GE(label->height(), label->heightForWidth(120)) << text << " is cut";
        }
    }
    // scripts/screenshots keeps a picture of the filled panel.
    if (const QString dir = qEnvironmentVariable("QV_SCREENSHOT_DIR"); !dir.isEmpty()) {
        test::spin(200);  // the nested rows settle
        EXPECT_TRUE(panel->grab().save(QDir(dir).filePath("pairing-read-back.png")));
    }
}

TEST_F(Panel, JoinCameraShowsItsWifiRows) {
    plugCamera("camera_sn=KX7\ntype=JOIN\nwifi_ssid=school\nwifi_password=pw9\n");
    plugDongle(kDongleText);
    open();
    int shownWifiRows = 0;
    for (auto* label : panel->findChildren<QLabel*>())
        if ((label->text() == "WiFi SSID: " || label->text() == "Password: ") && label->isVisible()) ++shownWifiRows;
    EXPECT_EQ(shownWifiRows, 4);
}

TEST_F(Panel, NoDevicesShowsBothPromptsAndRefusesToPair) {
    open();
    EXPECT_TRUE(visible("dongleMissing"));
    EXPECT_TRUE(visible("cameraMissing"));
    EXPECT_EQ(child<QLabel>("dongleMissing")->text(), "Please make sure Dongle is connected.");
    EXPECT_EQ(child<QLabel>("cameraMissing")->text(), "Please make sure Camera is connected.");
    EXPECT_FALSE(visible("dongleSN"));
    EXPECT_FALSE(child<QPushButton>("Pair")->isEnabled());
}

TEST_F(Panel, FiveTapsInARowUnlockTheSerialFields) {
    EXPECT_EQ(KestrixConfigView::serialUnlockTaps, 5);
    plugCamera(kCameraP2P);
    plugDongle(kDongleText);
    open();
    QWidget* title = child<QLabel>("dongleTitle");
    for (int i = 0; i < 4; ++i) QTest::mouseClick(title, Qt::LeftButton);
    EXPECT_FALSE(panel->isAdmin);
    // A pause breaks the row.
    test::spin(fastTiming.tapIntervalMs + 200);
    QTest::mouseClick(title, Qt::LeftButton);
    EXPECT_FALSE(panel->isAdmin);
    for (int i = 0; i < 4; ++i) QTest::mouseClick(title, Qt::LeftButton);
    EXPECT_TRUE(panel->isAdmin);
    EXPECT_TRUE(child<QLineEdit>("cameraSN")->isEnabled());
    EXPECT_TRUE(child<QLineEdit>("dongleSN")->isEnabled());
}

TEST_F(Panel, DirectPairingWritesBothTextsAndShowsThePairedCamera) {
    plugCamera(kCameraP2P);
    plugDongle(kDongleText);
    open();
    // Both serials edited to values neither device reported: what is written is what was typed.
    panel->unlockSerialEditing();
    for (const auto& [field, typed] : {std::pair{"cameraSN", "KX3000B42"}, std::pair{"dongleSN", "DG4711"}}) {
        QLineEdit* edit = child<QLineEdit>(field);
        edit->clear();
        QTest::keyClicks(edit, typed);
    }
    QTest::mouseClick(child<QPushButton>("Pair"), Qt::LeftButton);

    const auto cameraChunks = hid::makeSettingsChunks(hid::QVHIDCommand::CMD_SET_CAMERA_SETTINGS,
                                                      cameraP2PText({{hid::CameraSettingsKey::KEY_CAMERA_SN, "KX3000B42"}}));
    const auto dongleChunks = hid::makeSettingsChunks(
        hid::QVHIDCommand::CMD_SET_DONGLE_SETTINGS,
        "DONGLE_SN=DG4711\nCAMERA_HOST=\"KX3000B42\"\nWIFI_SSID=\"KX3000B42\"\nWIFI_KEY_MGMT=\"WPA\"\nWIFI_PASSWORD=\"mosswren\"\n");
    ASSERT_TRUE(test::waitUntil([&] {
        return settingsWritten(kCamera).size() == cameraChunks.size() && settingsWritten(kDongle).size() == dongleChunks.size();
    }));
    for (std::size_t i = 0; i < cameraChunks.size(); ++i)
        EXPECT_EQ(settingsWritten(kCamera)[i], Bytes(cameraChunks[i].begin(), cameraChunks[i].end())) << i;
    for (std::size_t i = 0; i < dongleChunks.size(); ++i)
        EXPECT_EQ(settingsWritten(kDongle)[i], Bytes(dongleChunks[i].begin(), dongleChunks[i].end())) << i;
    ASSERT_TRUE(test::waitUntil([&] { return child<QLabel>("pairedCamera")->text() == "\"KX3000B42\""; }));
    EXPECT_TRUE(panel->status().isEmpty());
}

TEST_F(Panel, PairIsRefusedWhileADeviceOrASerialIsMissing) {
    struct Case {
        const char* name;
        bool camera, dongle;
        std::string cameraText;
        QString editedCameraSerial;  // empty: as read back
        const char* pairType;
    } cases[] = {
        {"no camera", false, true, kCameraP2P, "", "P2P"},
        {"no receiver", true, false, kCameraP2P, "", "P2P"},
        {"camera without serial", true, true, "type=P2P\n", "", "P2P"},
        {"serial with =", true, true, kCameraP2P, "KX=1", "P2P"},
        {"serial with a quote", true, true, kCameraP2P, "KX\"1", "P2P"},
        {"serial outside ASCII", true, true, kCameraP2P, QString::fromUtf8("KX\u00C41"), "P2P"},
        {"through WiFi without serial", true, true, "type=JOIN\nwifi_ssid=school\n", "", "JOIN"},
        {"through WiFi without receiver", true, false, kCameraP2P, "", "JOIN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        transport = std::make_shared<FakeHIDTransport>();
        if (c.camera) plugCamera(c.cameraText);
        if (c.dongle) plugDongle(kDongleText);
        open();
        if (!c.editedCameraSerial.isEmpty()) {
            panel->unlockSerialEditing();
            child<QLineEdit>("cameraSN")->clear();
            QTest::keyClicks(child<QLineEdit>("cameraSN"), c.editedCameraSerial);
        }
        panel->findChild<QPushButton*>(c.pairType)->click();
        EXPECT_FALSE(child<QPushButton>("Pair")->isEnabled());
        const QString before = child<QLabel>("pairedCamera")->text();
        panel->pair();
        EXPECT_FALSE(panel->status().isEmpty()) << "the refusal is said in the panel";
        EXPECT_TRUE(visible("pairStatus"));
        test::spin(50);
        EXPECT_TRUE(settingsWritten(kCamera).empty());
        EXPECT_TRUE(settingsWritten(kDongle).empty());
        EXPECT_EQ(child<QLabel>("pairedCamera")->text(), before);
        panel.reset();
    }
}

TEST_F(Panel, ThroughWiFiPrintsTheJoinTextAndSendsNothing) {
    plugCamera("camera_sn=KX7\ntype=JOIN\nwifi_ssid=school\nwifi_password=pw9\n");
    plugDongle(kDongleText);
    open();
    child<QPushButton>("JOIN")->click();
    EXPECT_TRUE(visible("wifiSSID"));
    EXPECT_EQ(child<QLineEdit>("wifiSSID")->text(), "Kestrix");
    EXPECT_EQ(child<QLineEdit>("wifiPassword")->text(), "mosswren");
    testing::internal::CaptureStdout();
    child<QPushButton>("Pair")->click();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\"camera_sn=KX7\\ntype=JOIN\\nwifi_ssid=school\\nwifi_password=pw9\\nwifi_key_mgmt=WPA\\n\""),
              std::string::npos)
        << out;
    test::spin(50);
    EXPECT_TRUE(settingsWritten(kCamera).empty());
    EXPECT_TRUE(settingsWritten(kDongle).empty());
}

TEST_F(Panel, ASendTheLinkDroppedIsReportedNotShownAsPaired) {
    plugCamera(kCameraP2P);
    plugDongle(kDongleText);
    open();
    transport->unplug(kCamera);
    ASSERT_TRUE(test::waitUntil([&] { return !panel->cameraLink().isConnected(); }));
    child<QPushButton>("Pair")->click();
    ASSERT_TRUE(test::waitUntil([&] { return panel->status().contains("camera did not take"); }));
    EXPECT_TRUE(visible("pairStatus"));
    // The receiver took its text and shows it; the camera keeps what it read back.
    ASSERT_TRUE(test::waitUntil([&] { return child<QLabel>("pairedCamera")->text() == "\"KX2409A17\""; }));
    EXPECT_FALSE(panel->status().contains("dongle"));
}

TEST_F(Panel, OnlyCompletelyReceivedTextsAreRead) {
    plugCamera(kCameraP2P, /*complete=*/false);
    plugDongle(kDongleText);
    open();
    EXPECT_TRUE(panel->isCameraConnected);
    EXPECT_TRUE(panel->cameraSN.isEmpty()) << "a text still missing its last chunk is not read";
    EXPECT_TRUE(panel->cameraSettings.empty());
    EXPECT_FALSE(child<QPushButton>("Pair")->isEnabled());
}

TEST_F(Panel, LinksEndWithThePanelAndTellTheBarNothing) {
    plugCamera(kCameraP2P);
    plugDongle(kDongleText);
    open();  // warm-up: the first panel may start threads of Qt's own
    panel.reset();
    const int before = threadCount();
    for (int i = 0; i < 5; ++i) {
        open();
        EXPECT_TRUE(panel->cameraLink().isRunning());
        EXPECT_EQ(transport->openConnections(kCamera), 1);
        transport->unplug(kDongle);  // the receiver goes away while the panel is open
        ASSERT_TRUE(test::waitUntil([&] { return !panel->dongleLink().isConnected(); }));
        plugDongle(kDongleText);
        panel.reset();
        EXPECT_EQ(transport->openConnections(kCamera), 0);
    }
    EXPECT_EQ(threadCount(), before);
    test::spin(50);
    EXPECT_TRUE(std::none_of(posted.begin(), posted.end(), [](const QString& n) {
        return n == nt::HIDConnected || n == nt::HIDDisconnected;
    })) << "the bar hears nothing of the panel's links";
}

TEST_F(Panel, CancelPostsOpenKestrixConfig) {
    open();
    child<QPushButton>("Cancel")->click();
    EXPECT_EQ(posted, std::vector<QString>{nt::OpenKestrixConfig});
}

TEST_F(Panel, RealHidapiBackendWithoutADevice) {
    testing::internal::CaptureStdout();
    open([] { return std::make_unique<QVHIDDevice>(); });
    EXPECT_TRUE(visible("dongleMissing"));
    EXPECT_TRUE(visible("cameraMissing"));
    EXPECT_FALSE(child<QPushButton>("Pair")->isEnabled());
    panel->pair();
    test::spin(50);
    panel.reset();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Sent output"), std::string::npos) << out;
    // The program goes on: the event loop still runs.
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    EXPECT_TRUE(test::waitUntil([&] { return ran; }));
}

}  // namespace
}  // namespace qv::pairing
