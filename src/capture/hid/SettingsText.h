#pragma once
// The settings texts of the wireless camera and its USB receiver: key=value lines separated by LF,
// the two key sets, and the parsers that turn a received text into a table.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace qv::hid {

// Keys of the camera's text (lower case), and the two values of "type".
enum class CameraSettingsKey { KEY_CAMERA_SN, KEY_TYPE, TYPE_P2P, TYPE_JOIN, KEY_WIFI_SSID, KEY_WIFI_PASSWORD, KEY_WIFI_KEY_MGMT };

// Keys of the receiver's text (upper case).
enum class DongleSettingsKey { KEY_DONGLE_SN, KEY_CAMERA_HOST, KEY_WIFI_SSID, KEY_WIFI_PASSWORD, KEY_WIFI_KEY_MGMT };

std::string_view rawValue(CameraSettingsKey key);
std::string_view rawValue(DongleSettingsKey key);
// Exact comparison with the raw values; no case for any other text.
std::optional<CameraSettingsKey> cameraSettingsKey(std::string_view raw);
std::optional<DongleSettingsKey> dongleSettingsKey(std::string_view raw);

using CameraSettings = std::map<CameraSettingsKey, std::string>;
using DongleSettings = std::map<DongleSettingsKey, std::string>;

// Camera text: keys compared in lower case; values as they stand. Lines that fit no key=value
// form, or whose key is unknown, add nothing; a later line wins over an earlier one.
CameraSettings parseCameraSettings(std::string_view text);
// Receiver text: keys compared exactly; values as they stand, double quotes included.
DongleSettings parseDongleSettings(std::string_view text);

}  // namespace qv::hid
