#include "pairing/PairingTexts.h"

namespace qv::pairing {

namespace {

template <typename Table, typename Key>
std::string valueOf(const Table& table, Key key) {
    const auto it = table.find(key);
    return it == table.end() ? std::string() : it->second;
}

}  // namespace

std::string cameraP2PText(const hid::CameraSettings& camera) {
    using K = hid::CameraSettingsKey;
    const std::string serial = valueOf(camera, K::KEY_CAMERA_SN);
    return "camera_sn=" + serial + "\n" + "type=P2P\n" + "wifi_ssid=" + serial + "\n" + "wifi_key_mgmt=WPA\n" +
           "wifi_password=" + std::string(defaultWifiPassword) + "\n";
}

std::string dongleP2PText(const hid::DongleSettings& dongle) {
    using K = hid::DongleSettingsKey;
    return "DONGLE_SN=" + valueOf(dongle, K::KEY_DONGLE_SN) + "\n" + "CAMERA_HOST=" + valueOf(dongle, K::KEY_CAMERA_HOST) +
           "\n" + "WIFI_SSID=" + valueOf(dongle, K::KEY_WIFI_SSID) + "\n" + "WIFI_KEY_MGMT=\"WPA\"\n" + "WIFI_PASSWORD=\"" +
           std::string(defaultWifiPassword) + "\"\n";
}

std::string cameraJoinText(const hid::CameraSettings& camera) {
    using K = hid::CameraSettingsKey;
    std::string text = "camera_sn=" + valueOf(camera, K::KEY_CAMERA_SN) + "\n" + "type=JOIN\n" + "wifi_ssid=" +
                       valueOf(camera, K::KEY_WIFI_SSID) + "\n";
    const std::string password = valueOf(camera, K::KEY_WIFI_PASSWORD);
    if (!password.empty())
        text += "wifi_password=" + password + "\n" + "wifi_key_mgmt=WPA\n";
    else
        text += "wifi_key_mgmt=NONE\n";
    return text;
}

bool isUsableSerial(std::string_view serial) {
    if (serial.empty()) return false;
    for (const char c : serial) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E || c == '=' || c == '"') return false;
    }
    return true;
}

}  // namespace qv::pairing
