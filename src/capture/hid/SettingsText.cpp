#include "capture/hid/SettingsText.h"

#include "util/Strings.h"

#include <array>
#include <utility>
#include <vector>

namespace qv::hid {

namespace {

constexpr std::array<std::pair<CameraSettingsKey, std::string_view>, 7> cameraKeys{{
    {CameraSettingsKey::KEY_CAMERA_SN, "camera_sn"},
    {CameraSettingsKey::KEY_TYPE, "type"},
    {CameraSettingsKey::TYPE_P2P, "P2P"},
    {CameraSettingsKey::TYPE_JOIN, "JOIN"},
    {CameraSettingsKey::KEY_WIFI_SSID, "wifi_ssid"},
    {CameraSettingsKey::KEY_WIFI_PASSWORD, "wifi_password"},
    {CameraSettingsKey::KEY_WIFI_KEY_MGMT, "wifi_key_mgmt"},
}};

constexpr std::array<std::pair<DongleSettingsKey, std::string_view>, 5> dongleKeys{{
    {DongleSettingsKey::KEY_DONGLE_SN, "DONGLE_SN"},
    {DongleSettingsKey::KEY_CAMERA_HOST, "CAMERA_HOST"},
    {DongleSettingsKey::KEY_WIFI_SSID, "WIFI_SSID"},
    {DongleSettingsKey::KEY_WIFI_PASSWORD, "WIFI_PASSWORD"},
    {DongleSettingsKey::KEY_WIFI_KEY_MGMT, "WIFI_KEY_MGMT"},
}};

template <typename Key, std::size_t N>
std::optional<Key> lookUp(const std::array<std::pair<Key, std::string_view>, N>& keys, std::string_view raw) {
    for (const auto& [key, value] : keys)
        if (value == raw) return key;
    return std::nullopt;
}

template <typename Key, std::size_t N>
std::string_view nameOf(const std::array<std::pair<Key, std::string_view>, N>& keys, Key key) {
    for (const auto& [k, value] : keys)
        if (k == key) return value;
    return {};
}

// Lines end at LF only; an LF right after CR belongs to a CR LF pair, which is one character of
// the line and does not end it. Empty lines are dropped.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' || (i > 0 && text[i - 1] == '\r')) continue;
        if (i > start) lines.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Calls store(key, value) for every line with a key and a value: the first two non-empty pieces
// between "=" signs (anything after a second "=" is dropped).
template <typename Store>
void forEachPair(std::string_view text, Store store) {
    for (std::string_view line : linesOf(text)) {
        const std::vector<std::string> pieces = util::splitNonEmpty(line, '=');
        if (pieces.size() < 2) continue;
        store(pieces[0], pieces[1]);
    }
}

std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

std::string_view rawValue(CameraSettingsKey key) { return nameOf(cameraKeys, key); }
std::string_view rawValue(DongleSettingsKey key) { return nameOf(dongleKeys, key); }
std::optional<CameraSettingsKey> cameraSettingsKey(std::string_view raw) { return lookUp(cameraKeys, raw); }
std::optional<DongleSettingsKey> dongleSettingsKey(std::string_view raw) { return lookUp(dongleKeys, raw); }

CameraSettings parseCameraSettings(std::string_view text) {
    CameraSettings settings;
    forEachPair(text, [&](const std::string& key, const std::string& value) {
        // "P2P" and "JOIN" are values: a lower-cased key never equals them.
        if (const auto k = cameraSettingsKey(asciiLower(key))) settings[*k] = value;
    });
    return settings;
}

DongleSettings parseDongleSettings(std::string_view text) {
    DongleSettings settings;
    forEachPair(text, [&](const std::string& key, const std::string& value) {
        if (const auto k = dongleSettingsKey(key)) settings[*k] = value;
    });
    return settings;
}

}  // namespace qv::hid
