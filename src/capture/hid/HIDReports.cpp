#include "capture/hid/HIDReports.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv::hid {

namespace {

constexpr std::uint8_t reportIDButtonsAndChunks = 0x80;
constexpr std::size_t inputReportLength = 24;

// Appends one Latin-1 byte as its Unicode character in UTF-8.
void appendLatin1(std::string& out, std::uint8_t byte) {
    if (byte < 0x80) {
        out.push_back(static_cast<char>(byte));
    } else {
        out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
        out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
}

std::optional<int> buttonOfBit(std::uint8_t bit) {
    switch (bit) {
        case 0x01: return 5;
        case 0x02: return 3;
        case 0x04: return 4;
        case 0x08: return 6;
        default: return std::nullopt;
    }
}

}  // namespace

OutputReport makeCommandReport(std::uint8_t command, std::int64_t value) {
    OutputReport report{};
    const auto low16 = static_cast<std::uint16_t>(static_cast<std::uint64_t>(value) & 0xFFFF);
    report[0] = command;
    report[1] = static_cast<std::uint8_t>(low16 & 0xFF);
    report[2] = static_cast<std::uint8_t>(low16 >> 8);
    return report;
}

std::int64_t sliderCommandValue(double value) {
    if (!std::isfinite(value)) return 0;
    constexpr double limit = 9.2e18;  // inside the range of a 64-bit integer
    return static_cast<std::int64_t>(std::clamp(value, -limit, limit));
}

OutputReport makeSettingsRequest(std::uint8_t command) {
    OutputReport report{};
    report[0] = command;
    return report;
}

std::vector<OutputReport> makeSettingsChunks(std::uint8_t type, std::string_view text) {
    std::string characters;
    characters.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80)
            throw SettingsTextError(SettingsTextError::Reason::notASCII,
                                    "the text holds a character outside ASCII at byte " + std::to_string(i));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // CR LF travels as LF
        characters.push_back(static_cast<char>(c));
    }
    if (characters.empty()) throw SettingsTextError(SettingsTextError::Reason::empty, "the text is empty");
    const std::size_t count = (characters.size() + settingsCharactersPerChunk - 1) / settingsCharactersPerChunk;
    if (count > maxSettingsChunks)
        throw SettingsTextError(SettingsTextError::Reason::tooLong,
                                "the text has " + std::to_string(characters.size()) + " characters, at most " +
                                    std::to_string(maxSettingsChunks * settingsCharactersPerChunk) + " fit");

    std::vector<OutputReport> chunks(count);
    for (std::size_t k = 0; k < count; ++k) {
        OutputReport& chunk = chunks[k];
        chunk.fill(0);
        chunk[0] = type;
        chunk[1] = 'Q';
        chunk[2] = 'V';
        chunk[3] = 'R';
        chunk[4] = 'X';
        chunk[5] = static_cast<std::uint8_t>(k);
        const std::size_t begin = k * settingsCharactersPerChunk;
        const std::size_t length = std::min(settingsCharactersPerChunk, characters.size() - begin);
        const bool last = k + 1 == count;
        chunk[6] = last ? static_cast<std::uint8_t>(0x80 | length) : static_cast<std::uint8_t>(settingsCharactersPerChunk);
        for (std::size_t i = 0; i < length; ++i) chunk[7 + i] = static_cast<std::uint8_t>(characters[begin + i]);
    }
    return chunks;
}

std::string hexText(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X ", b);
        text += digits;
    }
    return text;
}

InputReportContent parseInputReport(std::span<const std::uint8_t> report) {
    InputReportContent content;
    if (report.size() == 1) {
        if (report[0] >= 3 && report[0] <= 6) content.button = report[0];
        return content;
    }
    if (report.size() != inputReportLength || report[0] != reportIDButtonsAndChunks) return content;
    content.button = buttonOfBit(report[1]);
    const std::uint8_t tag = report[7];
    if (tag == 'P' || tag == 'Q') {
        SettingsChunk chunk;
        chunk.tag = static_cast<char>(tag);
        chunk.index = report[8];
        chunk.last = (report[9] & 0x80) != 0;
        const std::size_t count = std::min<std::size_t>(report[9] & 0x0F, inputReportLength - 10);
        for (std::size_t i = 0; i < count; ++i) appendLatin1(chunk.text, report[10 + i]);
        content.chunk = std::move(chunk);
    }
    return content;
}

std::optional<std::string> SettingsTextAssembler::add(const SettingsChunk& chunk) {
    Text* text = chunk.tag == 'P' ? &camera_ : chunk.tag == 'Q' ? &dongle_ : nullptr;
    if (!text) return std::nullopt;
    if (chunk.index == 0) text->growing.clear();
    text->growing += chunk.text;
    if (!chunk.last) return std::nullopt;
    // A stray chunk after the end (no index 0) continues the finished text, as any other chunk would.
    text->complete = text->growing;
    return text->complete;
}


}  // namespace qv::hid
