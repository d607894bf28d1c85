// The settings texts of the wireless camera and its receiver: key sets and the two parsers.
#include "capture/hid/SettingsText.h"

#include <gtest/gtest.h>

namespace qv::hid {
namespace {

using CK = CameraSettingsKey;
using DK = DongleSettingsKey;

TEST(HIDSettingsText, CameraTextTable) {
    struct Case {
        const char* name;
        std::string text;
        CameraSettings expected;
    };
    const Case cases[] = {
        {"all keys",
         "camera_sn=S1\ntype=P2P\nwifi_ssid=S1\nwifi_key_mgmt=WPA\nwifi_password=mosswren\n",
         {{CK::KEY_CAMERA_SN, "S1"}, {CK::KEY_TYPE, "P2P"}, {CK::KEY_WIFI_SSID, "S1"},
          {CK::KEY_WIFI_KEY_MGMT, "WPA"}, {CK::KEY_WIFI_PASSWORD, "mosswren"}}},
        {"keys in any case", "Camera_SN=X\nTYPE=JOIN", {{CK::KEY_CAMERA_SN, "X"}, {CK::KEY_TYPE, "JOIN"}}},
        {"second = cuts the value", "wifi_password=a=b\n", {{CK::KEY_WIFI_PASSWORD, "a"}}},
        {"== counts as one", "wifi_ssid==net\n", {{CK::KEY_WIFI_SSID, "net"}}},
        {"nothing after =", "camera_sn=\nwifi_ssid=n\n", {{CK::KEY_WIFI_SSID, "n"}}},
        {"nothing before =", "=x\n", {}},
        {"later line wins", "type=P2P\ntype=JOIN\n", {{CK::KEY_TYPE, "JOIN"}}},
        {"empty lines", "\n\ncamera_sn=A\n\n", {{CK::KEY_CAMERA_SN, "A"}}},
        {"values are not keys", "P2P=1\nJOIN=2\nunknown=3\n", {}},
        {"no trimming", " camera_sn=A\ncamera_sn= B \n", {{CK::KEY_CAMERA_SN, " B "}}},
        {"line without =", "camera_sn\n", {}},
        {"quotes stay", "wifi_ssid=\"net\"\n", {{CK::KEY_WIFI_SSID, "\"net\""}}},
        // A CR LF pair does not end a line: the value runs on to the next "=".
        {"CR LF is not a line end", "camera_sn=A\r\ntype=P2P\n", {{CK::KEY_CAMERA_SN, "A\r\ntype"}}},
        {"empty text", "", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(parseCameraSettings(c.text), c.expected) << c.name;
}

TEST(HIDSettingsText, DongleTextTable) {
    struct Case {
        const char* name;
        std::string text;
        DongleSettings expected;
    };
    const Case cases[] = {
        {"all keys",
         "DONGLE_SN=D1\nCAMERA_HOST=\"S1\"\nWIFI_SSID=\"S1\"\nWIFI_KEY_MGMT=\"WPA\"\nWIFI_PASSWORD=\"mosswren\"\n",
         {{DK::KEY_DONGLE_SN, "D1"}, {DK::KEY_CAMERA_HOST, "\"S1\""}, {DK::KEY_WIFI_SSID, "\"S1\""},
          {DK::KEY_WIFI_KEY_MGMT, "\"WPA\""}, {DK::KEY_WIFI_PASSWORD, "\"mosswren\""}}},
        {"keys in lower case are skipped", "dongle_sn=D\nDongle_SN=E\nCAMERA_HOST=h", {{DK::KEY_CAMERA_HOST, "h"}}},
        {"second = cuts the value", "WIFI_PASSWORD=\"a=b\"\n", {{DK::KEY_WIFI_PASSWORD, "\"a"}}},
        {"later line wins", "DONGLE_SN=1\nDONGLE_SN=2\n", {{DK::KEY_DONGLE_SN, "2"}}},
        {"camera keys are unknown here", "camera_sn=1\nTYPE=P2P\n", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(parseDongleSettings(c.text), c.expected) << c.name;
}

TEST(HIDSettingsText, RawValuesRoundTripExactly) {
    for (CK key : {CK::KEY_CAMERA_SN, CK::KEY_TYPE, CK::TYPE_P2P, CK::TYPE_JOIN, CK::KEY_WIFI_SSID,
                   CK::KEY_WIFI_PASSWORD, CK::KEY_WIFI_KEY_MGMT})
        EXPECT_EQ(cameraSettingsKey(rawValue(key)), key) << rawValue(key);
    for (DK key : {DK::KEY_DONGLE_SN, DK::KEY_CAMERA_HOST, DK::KEY_WIFI_SSID, DK::KEY_WIFI_PASSWORD,
                   DK::KEY_WIFI_KEY_MGMT})
        EXPECT_EQ(dongleSettingsKey(rawValue(key)), key) << rawValue(key);
    EXPECT_EQ(rawValue(CK::TYPE_P2P), "P2P");
    EXPECT_EQ(rawValue(DK::KEY_CAMERA_HOST), "CAMERA_HOST");
    EXPECT_FALSE(cameraSettingsKey("p2p"));
    EXPECT_FALSE(dongleSettingsKey("dongle_sn"));
}

}  // namespace
}  // namespace qv::hid
