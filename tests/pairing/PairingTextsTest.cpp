// Golden texts of the direct pairing and the join text, the output chunks they travel in, and
// the serial numbers that may go into them.
#include <gtest/gtest.h>

#include "capture/hid/HIDReports.h"
#include "pairing/PairingTexts.h"

namespace qv::pairing {
namespace {

using CK = hid::CameraSettingsKey;
using DK = hid::DongleSettingsKey;

std::vector<std::string> chunkHex(std::uint8_t type, const std::string& text) {
    std::vector<std::string> out;
    for (const auto& chunk : hid::makeSettingsChunks(type, text)) out.push_back(hid::hexText(chunk));
    return out;
}

TEST(PairingTexts, CameraP2PTextAndItsChunks) {
    const std::string text = cameraP2PText({{CK::KEY_CAMERA_SN, "KX2409A17"}, {CK::KEY_TYPE, "JOIN"}, {CK::KEY_WIFI_SSID, "school"}});
    EXPECT_EQ(text, "camera_sn=KX2409A17\ntype=P2P\nwifi_ssid=KX2409A17\nwifi_key_mgmt=WPA\nwifi_password=mosswren\n");
    const std::vector<std::string> golden = {
        "91 51 56 52 58 00 0E 63 61 6D 65 72 61 5F 73 6E 3D 4B 58 32 34 00 00 00 ",
        "91 51 56 52 58 01 0E 30 39 41 31 37 0A 74 79 70 65 3D 50 32 50 00 00 00 ",
        "91 51 56 52 58 02 0E 0A 77 69 66 69 5F 73 73 69 64 3D 4B 58 32 00 00 00 ",
        "91 51 56 52 58 03 0E 34 30 39 41 31 37 0A 77 69 66 69 5F 6B 65 00 00 00 ",
        "91 51 56 52 58 04 0E 79 5F 6D 67 6D 74 3D 57 50 41 0A 77 69 66 00 00 00 ",
        "91 51 56 52 58 05 0E 69 5F 70 61 73 73 77 6F 72 64 3D 6D 6F 73 00 00 00 ",
        "91 51 56 52 58 06 86 73 77 72 65 6E 0A 00 00 00 00 00 00 00 00 00 00 00 ",
    };
    EXPECT_EQ(chunkHex(hid::QVHIDCommand::CMD_SET_CAMERA_SETTINGS, text), golden);
}

TEST(PairingTexts, ReceiverP2PTextAndItsChunks) {
    const std::string text = dongleP2PText({{DK::KEY_DONGLE_SN, "DG0815"},
                                            {DK::KEY_CAMERA_HOST, "\"KX2409A17\""},
                                            {DK::KEY_WIFI_SSID, "\"KX2409A17\""},
                                            {DK::KEY_WIFI_PASSWORD, "\"old\""}});
    EXPECT_EQ(text,
              "DONGLE_SN=DG0815\nCAMERA_HOST=\"KX2409A17\"\nWIFI_SSID=\"KX2409A17\"\nWIFI_KEY_MGMT=\"WPA\"\n"
              "WIFI_PASSWORD=\"mosswren\"\n");
    const std::vector<std::string> golden = {
        "93 51 56 52 58 00 0E 44 4F 4E 47 4C 45 5F 53 4E 3D 44 47 30 38 00 00 00 ",
        "93 51 56 52 58 01 0E 31 35 0A 43 41 4D 45 52 41 5F 48 4F 53 54 00 00 00 ",
        "93 51 56 52 58 02 0E 3D 22 4B 58 32 34 30 39 41 31 37 22 0A 57 00 00 00 ",
        "93 51 56 52 58 03 0E 49 46 49 5F 53 53 49 44 3D 22 4B 58 32 34 00 00 00 ",
        "93 51 56 52 58 04 0E 30 39 41 31 37 22 0A 57 49 46 49 5F 4B 45 00 00 00 ",
        "93 51 56 52 58 05 0E 59 5F 4D 47 4D 54 3D 22 57 50 41 22 0A 57 00 00 00 ",
        "93 51 56 52 58 06 0E 49 46 49 5F 50 41 53 53 57 4F 52 44 3D 22 00 00 00 ",
        "93 51 56 52 58 07 8A 6D 6F 73 73 77 72 65 6E 22 0A 00 00 00 00 00 00 00 ",
    };
    EXPECT_EQ(chunkHex(hid::QVHIDCommand::CMD_SET_DONGLE_SETTINGS, text), golden);
}

TEST(PairingTexts, MissingValuesAreEmpty) {
    EXPECT_EQ(cameraP2PText({}), "camera_sn=\ntype=P2P\nwifi_ssid=\nwifi_key_mgmt=WPA\nwifi_password=mosswren\n");
    EXPECT_EQ(dongleP2PText({}), "DONGLE_SN=\nCAMERA_HOST=\nWIFI_SSID=\nWIFI_KEY_MGMT=\"WPA\"\nWIFI_PASSWORD=\"mosswren\"\n");
}

TEST(PairingTexts, JoinTextWithAndWithoutPassword) {
    EXPECT_EQ(cameraJoinText({{CK::KEY_CAMERA_SN, "KX1"}, {CK::KEY_WIFI_SSID, "school"}, {CK::KEY_WIFI_PASSWORD, "pw9"}}),
              "camera_sn=KX1\ntype=JOIN\nwifi_ssid=school\nwifi_password=pw9\nwifi_key_mgmt=WPA\n");
    EXPECT_EQ(cameraJoinText({{CK::KEY_CAMERA_SN, "KX1"}, {CK::KEY_WIFI_SSID, "open"}, {CK::KEY_WIFI_PASSWORD, ""}}),
              "camera_sn=KX1\ntype=JOIN\nwifi_ssid=open\nwifi_key_mgmt=NONE\n");
}

TEST(PairingTexts, UsableSerials) {
    struct Case {
        std::string serial;
        bool usable;
    } cases[] = {
        {"KX2409A17", true}, {"A-1_b.2 x", true}, {"~", true},       {"", false},        {"A=B", false},
        {"A\"B", false},     {"A\nB", false},     {"A\rB", false},   {"\tX", false},     {"K\xC3\x84", false},
        {std::string("A\0B", 3), false},
    };
    for (const Case& c : cases) EXPECT_EQ(isUsableSerial(c.serial), c.usable) << hid::debugQuoted(c.serial);
}

}  // namespace
}  // namespace qv::pairing
