#pragma once
// The settings texts the pairing panel writes: the direct (P2P) pairing for the camera and for
// its receiver, the join text of "Through WiFi", and the rule for a serial number that can go
// into them.
#include <string>
#include <string_view>

#include "capture/hid/SettingsText.h"

namespace qv::pairing {

// The Wi-Fi password of a direct pairing, on both devices.
inline constexpr std::string_view defaultWifiPassword = "mosswren";

// camera_sn, type=P2P, wifi_ssid (the camera serial), WPA and the default password; one line
// each, LF-ended. A value missing from the table is empty.
std::string cameraP2PText(const hid::CameraSettings& camera);
// DONGLE_SN, CAMERA_HOST and WIFI_SSID as they stand in the table, then "WPA" and the default
// password in double quotes.
std::string dongleP2PText(const hid::DongleSettings& dongle);
// camera_sn, type=JOIN, the camera's network name, and its password with WPA (or NONE without).
std::string cameraJoinText(const hid::CameraSettings& camera);

// A serial number that can be written into both texts: not empty, printable ASCII only, and
// none of '=' or '"' (which would break the key=value lines or the receiver's quoting).
bool isUsableSerial(std::string_view serial);

}  // namespace qv::pairing
