#include <gtest/gtest.h>

#include <QSet>

#include "capture/core/DeviceChoice.h"
#include "capture/core/DeviceRecords.h"

using namespace qv::capture;

namespace {

std::shared_ptr<CaptureDevice> device(const QString& name, const QString& uniqueID) {
    auto d = std::make_shared<CaptureDevice>();
    d->localizedName = name;
    d->uniqueID = uniqueID;
    return d;
}

QString makerId(int product) {
    return QStringLiteral("usb:%1%2").arg(makerUSBVendorID, 4, 16, QLatin1Char('0')).arg(product, 4, 16, QLatin1Char('0'));
}

}  // namespace

TEST(UsbIds, ReadFromTheEndOfTheUniqueID) {
    struct Case {
        const char* uniqueID;
        bool readable;
        std::int64_t vendor;
        std::int64_t product;
    } cases[] = {
        {"0x14200000046d00AB", true, 0x046d, 171},
        {"0x14200000046d00ab", true, 0x046d, 171},
        {"v4l2:/dev/video0:2c4a0029", true, 0x2c4a, 0x29},
        {"12345", true, 0x1234, 0x2345},  // 4 to 7 characters: vendor and product text overlap
        {"1234", true, 0x1234, 0x1234},
        {"ab", true, 0xab, 0xab},
        {"FaceTime HD Camera", false, 0, 0},
        {"", false, 0, 0},
        {"v4l2:/dev/video0:no-usb-ids", false, 0, 0},
        {"xxxxxxxx12zz", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uniqueID);
        const auto ids = usbIdsFromUniqueID(QString::fromLatin1(c.uniqueID));
        ASSERT_EQ(ids.has_value(), c.readable);
        if (!ids) continue;
        EXPECT_EQ(ids->vendorID, c.vendor);
        EXPECT_EQ(ids->productID, c.product);
    }
}

TEST(UsbIds, HexTextAcceptsASignAndNothingElse) {
    EXPECT_EQ(parseHexInteger("+1f"), 31);
    EXPECT_EQ(parseHexInteger("-10"), -16);
    EXPECT_FALSE(parseHexInteger(""));
    EXPECT_FALSE(parseHexInteger("-"));
    EXPECT_FALSE(parseHexInteger("1 2"));
    EXPECT_FALSE(parseHexInteger("0x12"));
}

TEST(VemoCameraRecord, CapabilitiesFollowVendorAndProduct) {
    struct Case {
        QString name;
        QString uniqueID;
        bool asr, hidControl, hidButton, wendle;
        int reportSize;
        std::int64_t vendor, product;
    } cases[] = {
        {"Quorvane V5", makerId(41), true, true, false, false, 24, makerUSBVendorID, 41},
        {"Quorvane V7", makerId(44), false, false, true, false, 1, makerUSBVendorID, 44},
        {"Quorvane V2", makerId(25), false, false, false, false, 24, makerUSBVendorID, 25},
        {"Pimlet Wendle Cam", makerId(0x16), true, true, false, true, 24, makerUSBVendorID, 0x16},
        {"Wendle Webcam", "usb:046d0825", false, false, false, false, 24, 0x046d, 0x825},
        {"Quorvane Builtin", "FaceTime HD Camera", false, false, false, false, 24, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const VemoCamera camera(device(c.name, c.uniqueID));
        EXPECT_EQ(camera.isASRSupported, c.asr);
        EXPECT_EQ(camera.isHIDControlSupported, c.hidControl);
        EXPECT_EQ(camera.isHIDButtonSupported, c.hidButton);
        EXPECT_EQ(camera.isWendle, c.wendle);
        EXPECT_EQ(camera.reportSize, c.reportSize);
        EXPECT_EQ(camera.vendorID, c.vendor);
        EXPECT_EQ(camera.productID, c.product);
        EXPECT_EQ(camera.name, c.name);
        EXPECT_EQ(camera.uniqueID, c.uniqueID);
    }
}

TEST(VemoCameraRecord, UnreadableIdPrintsTheLineAndKeepsTheNameTest) {
    testing::internal::CaptureStdout();
    const VemoCamera camera(device("quorvane built-in", "FaceTime HD Camera"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Old Macbook Air: camera.uniqueID = FaceTime HD Camera\n");
    EXPECT_TRUE(camera.isQuorvane);
    EXPECT_EQ(camera.vendorID, 0);
}

TEST(OwnBrandName, IsAPlainCaseInsensitiveSubstringTest) {
    EXPECT_TRUE(isOwnBrandName("Document PIMLET"));
    EXPECT_TRUE(isOwnBrandName("qUoRvAnE cam"));
    EXPECT_TRUE(isOwnBrandName("xxquorvanexx"));
    EXPECT_FALSE(isOwnBrandName("Quor vane"));
    EXPECT_FALSE(isOwnBrandName("Plain USB Webcam"));
}

TEST(VemoCameraRecord, EqualOnlyToItsCopiesAndHashedAlike) {
    auto d = device("Quorvane V5", makerId(41));
    const VemoCamera a(d);
    const VemoCamera b(d);
    const VemoCamera copy = a;
    EXPECT_NE(a, b);
    EXPECT_EQ(a, copy);
    EXPECT_EQ(qHash(a), qHash(copy));
    EXPECT_EQ(a.description(), "Quorvane V5");

    const VemoMic m1(d), m2(d);
    EXPECT_NE(m1, m2);
    EXPECT_EQ(qHash(m1), qHash(m2));  // microphones hash their name only
    EXPECT_EQ(m1.test, "hello");
}

TEST(Discovery, OwnBrandCamerasFirstWendleInFrontVirtualSkipped) {
    const VemoCamera a(device("Plain A", "usb:046d0825"));
    const VemoCamera b(device("Quorvane B", makerId(41)));
    const VemoCamera v(device("AppCam Virtual", "appcam"));
    const VemoCamera c(device("Quorvane C", makerId(44)));
    const VemoCamera d(device("Quorvane Wendle D", makerId(36)));
    std::vector<VemoCamera> list;
    testing::internal::CaptureStdout();
    for (const VemoCamera& camera : {a, b, v, c, d}) insertDiscoveredCamera(list, camera);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].id, d.id);
    EXPECT_EQ(list[1].id, b.id);
    EXPECT_EQ(list[2].id, c.id);
    EXPECT_EQ(list[3].id, a.id);
    EXPECT_NE(printed.find("\"AppCam Virtual\" is a virtual camera.\n"), std::string::npos);
}

TEST(Discovery, NamelessOrVirtualPlainCamerasAreSkippedButOwnBrandAppCamIsNot) {
    std::vector<VemoCamera> list;
    VemoCamera nameless(device("x", "usb:046d0825"));
    nameless.name.reset();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(insertDiscoveredCamera(list, nameless));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "nil is a virtual camera.\n");
    EXPECT_FALSE(insertDiscoveredCamera(list, VemoCamera(device("My AppCam", "a"))));
    EXPECT_TRUE(insertDiscoveredCamera(list, VemoCamera(device("Quorvane AppCam", makerId(41)))));
    EXPECT_TRUE(insertDiscoveredCamera(list, VemoCamera(device("appcam lower case", "usb:046d0825"))));
    EXPECT_EQ(list.size(), 2u);
}

TEST(Discovery, OwnBrandMicrophonesFirstLastFoundInFront) {
    const VemoMic m1(device("Quorvane Mic 1", "m1")), m2(device("Pimlet Mic 2", "m2")), p(device("Line In", "p"));
    std::vector<VemoMic> list;
    for (const VemoMic& mic : {m1, m2, p}) insertDiscoveredMic(list, mic);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].id, m2.id);
    EXPECT_EQ(list[1].id, m1.id);
    EXPECT_EQ(list[2].id, p.id);
}

#include "capture/core/DeviceListing.h"

TEST(DeviceListing, OneEntryPerNodeV4l2Preferred) {
    const std::vector<ListedDevice> listed{
        {"pipewire", "/dev/video0", "Cam A"},
        {"pipewire", "/dev/video2", "Cam B"},
        {"v4l2", "/dev/video0", "Cam A"},
        {"v4l2", "/dev/video4", "Cam C"},
        {"libcamera", "", "Sensor"},
        {"libcamera", "", "Sensor"},
    };
    EXPECT_EQ(onePerDeviceNode(listed), (std::vector<std::size_t>{2, 1, 3, 4}));
}

TEST(DeviceListing, MonitorSourcesAreNoMicrophones) {
    EXPECT_TRUE(isAudioMonitor("Audio/Source/Monitor", ""));
    EXPECT_TRUE(isAudioMonitor("Audio/Source", "monitor"));
    EXPECT_FALSE(isAudioMonitor("Audio/Source", "sound"));
}

TEST(DeviceListing, UniqueIdEndsInUsbIdsOrInTextThatIsNoIds) {
    const QString withIds = cameraUniqueID("v4l2", "/dev/video0", "0x046D", "825");
    EXPECT_EQ(withIds, "v4l2:/dev/video0:046d0825");
    const auto ids = usbIdsFromUniqueID(withIds);
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->vendorID, 0x046d);
    EXPECT_EQ(ids->productID, 0x0825);
    for (const QString& id : {cameraUniqueID("v4l2", "/dev/video10", "", ""), cameraUniqueID("v4l2", "/dev/video1", "zz", "1"),
                              cameraUniqueID("pipewire", "", "12345", "1")})
        EXPECT_FALSE(usbIdsFromUniqueID(id)) << id.toStdString();
}
