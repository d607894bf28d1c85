#pragma once
// Byte layouts of the reports exchanged with the maker's devices: command reports, settings
// requests, settings texts cut into output chunks, and the input reports that carry hardware
// buttons and settings-text chunks.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/Print.h"

namespace qv::hid {

// One-byte command codes (byte 0 of every output report).
namespace QVHIDCommand {
inline constexpr std::uint8_t CMD_RESET = 0x13;
inline constexpr std::uint8_t CMD_AUTO_FOCUS = 0x31;
inline constexpr std::uint8_t CMD_FOCUS_LOCK = 0x32;
inline constexpr std::uint8_t CMD_FOCUS = 0x33;
inline constexpr std::uint8_t CMD_EXPOSURE = 0x43;
inline constexpr std::uint8_t CMD_WHITE_BALANCE = 0x53;
inline constexpr std::uint8_t CMD_BRIGHTNESS = 0x60;
inline constexpr std::uint8_t CMD_CONTRAST = 0x61;
inline constexpr std::uint8_t CMD_SATURATION = 0x62;
inline constexpr std::uint8_t CMD_SHARPNESS = 0x63;
inline constexpr std::uint8_t CMD_GET_CAMERA_SETTINGS = 0x90;
inline constexpr std::uint8_t CMD_SET_CAMERA_SETTINGS = 0x91;
inline constexpr std::uint8_t CMD_GET_DONGLE_SETTINGS = 0x92;
inline constexpr std::uint8_t CMD_SET_DONGLE_SETTINGS = 0x93;
}  // namespace QVHIDCommand

inline constexpr std::size_t outputReportLength = 24;
using OutputReport = std::array<std::uint8_t, outputReportLength>;

// Command report: the code, then the low 16 bits of the value little-endian (two's complement).
OutputReport makeCommandReport(std::uint8_t command, std::int64_t value);

// The whole number a slider value stands for: truncated toward zero (-0.7 gives 0, 127.9 gives
// 127); a value that is not finite gives 0.
std::int64_t sliderCommandValue(double value);

// Settings request: the code alone.
OutputReport makeSettingsRequest(std::uint8_t command);

// Why a settings text cannot be cut into output chunks.
class SettingsTextError : public std::runtime_error {
public:
    enum class Reason { empty, notASCII, tooLong };
    SettingsTextError(Reason reason, std::string message) : std::runtime_error(std::move(message)), reason_(reason) {}
    Reason reason() const { return reason_; }

private:
    Reason reason_;
};

inline constexpr std::size_t settingsCharactersPerChunk = 14;
inline constexpr std::size_t maxSettingsChunks = 256;

// Cuts a settings text (UTF-8) into output chunks opened by "QVRX", 14 characters each; a CR LF
// pair counts as one character and travels as LF. Throws SettingsTextError when the text is
// empty, holds a character outside ASCII, or needs more chunks than one index byte can count.
std::vector<OutputReport> makeSettingsChunks(std::uint8_t type, std::string_view text);

// Each byte as two upper-case hex digits followed by a blank.
std::string hexText(std::span<const std::uint8_t> bytes);

// One settings-text chunk read from an input report.
struct SettingsChunk {
    char tag = 0;         // 'P' camera text, 'Q' receiver text
    std::uint8_t index = 0;
    bool last = false;
    std::string text;     // the chunk's characters, Latin-1 bytes as UTF-8
};

// What one input report carries: a hardware button number (3, 4, 5 or 6) and/or a settings chunk.
struct InputReportContent {
    std::optional<int> button;
    std::optional<SettingsChunk> chunk;
};
InputReportContent parseInputReport(std::span<const std::uint8_t> report);

// Assembles the settings texts of both tags from input chunks. A chunk with index 0 starts a new
// text; the text is published only when its last chunk has arrived, so a reader never sees one
// that is still growing.
class SettingsTextAssembler {
public:
    // Returns the completed text when this chunk ended one.
    std::optional<std::string> add(const SettingsChunk& chunk);
    const std::string& cameraText() const { return camera_.complete; }  // tag 'P'
    const std::string& dongleText() const { return dongle_.complete; }  // tag 'Q'

private:
    struct Text {
        std::string growing;
        std::string complete;
    };
    Text camera_;
    Text dongle_;
};

using util::debugQuoted;

}  // namespace qv::hid
