// Byte layouts of the maker's HID reports: commands, settings requests, settings texts cut into
// output chunks, and the input reports that carry buttons and settings chunks.
#include "capture/hid/HIDReports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv::hid {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const OutputReport& report) { return Bytes(report.begin(), report.end()); }

// A 24-byte report: the given leading bytes, then zeros.
Bytes report24(Bytes head) {
    head.resize(24, 0);
    return head;
}

// An input report of the wireless camera or its receiver: 0x80, button bit, tag at byte 7, index
// at byte 8, count and last flag at byte 9, characters from byte 10.
Bytes inputChunk(char tag, std::uint8_t index, std::uint8_t countByte, const std::string& characters,
                 std::uint8_t buttonBit = 0) {
    Bytes r(24, 0);
    r[0] = 0x80;
    r[1] = buttonBit;
    r[7] = static_cast<std::uint8_t>(tag);
    r[8] = index;
    r[9] = countByte;
    for (std::size_t i = 0; i < characters.size() && 10 + i < 24; ++i) r[10 + i] = static_cast<std::uint8_t>(characters[i]);
    return r;
}

TEST(HIDReports, CommandReportsCarryTheLow16BitsLittleEndian) {
    struct Case {
        std::uint8_t command;
        std::int64_t value;
        std::uint8_t low, high;
    };
    const Case cases[] = {
        {QVHIDCommand::CMD_BRIGHTNESS, -127, 0x81, 0xFF},  {QVHIDCommand::CMD_BRIGHTNESS, 128, 0x80, 0x00},
        {QVHIDCommand::CMD_EXPOSURE, -512, 0x00, 0xFE},    {QVHIDCommand::CMD_EXPOSURE, 3072, 0x00, 0x0C},
        {QVHIDCommand::CMD_WHITE_BALANCE, 2300, 0xFC, 0x08}, {QVHIDCommand::CMD_WHITE_BALANCE, 8500, 0x34, 0x21},
        {QVHIDCommand::CMD_WHITE_BALANCE, 5000, 0x88, 0x13}, {QVHIDCommand::CMD_CONTRAST, 255, 0xFF, 0x00},
        {QVHIDCommand::CMD_FOCUS, 0x11170, 0x70, 0x11},    {QVHIDCommand::CMD_RESET, 0, 0x00, 0x00},
        {QVHIDCommand::CMD_AUTO_FOCUS, 0, 0x00, 0x00},     {QVHIDCommand::CMD_FOCUS_LOCK, 0, 0x00, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.command) + " " + std::to_string(c.value));
        EXPECT_EQ(bytesOf(makeCommandReport(c.command, c.value)), report24({c.command, c.low, c.high}));
    }
}

TEST(HIDReports, SliderValuesAreTruncatedTowardZero) {
    struct Case {
        double slider;
        std::int64_t value;
    };
    const Case cases[] = {{-0.5, 0}, {-0.7, 0}, {127.9, 127}, {-127.0, -127}, {-511.99, -511}, {8500.0, 8500}};
    for (const Case& c : cases) EXPECT_EQ(sliderCommandValue(c.slider), c.value) << c.slider;
    // -0.5 on the brightness slider sends 0 in both value bytes.
    EXPECT_EQ(bytesOf(makeCommandReport(QVHIDCommand::CMD_BRIGHTNESS, sliderCommandValue(-0.5))), report24({0x60}));
}

TEST(HIDReports, SettingsRequestsAreTheCodeAlone) {
    EXPECT_EQ(bytesOf(makeSettingsRequest(QVHIDCommand::CMD_GET_CAMERA_SETTINGS)), report24({0x90}));
    EXPECT_EQ(bytesOf(makeSettingsRequest(QVHIDCommand::CMD_GET_DONGLE_SETTINGS)), report24({0x92}));
}

TEST(HIDReports, ShortCameraTextIsOneChunk) {
    const auto chunks = makeSettingsChunks(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, "ab");
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(bytesOf(chunks[0]), report24({0x91, 'Q', 'V', 'R', 'X', 0x00, 0x82, 'a', 'b'}));
}

TEST(HIDReports, TextsAreCutIntoChunksOf14Characters) {
    struct Case {
        std::size_t length;
        std::vector<std::uint8_t> countBytes;
    };
    const Case cases[] = {{1, {0x81}}, {14, {0x8E}}, {15, {0x0E, 0x81}}, {28, {0x0E, 0x8E}}, {29, {0x0E, 0x0E, 0x81}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string text;
        for (std::size_t i = 0; i < c.length; ++i) text.push_back(static_cast<char>('A' + i % 26));
        const auto chunks = makeSettingsChunks(QVHIDCommand::CMD_SET_DONGLE_SETTINGS, text);
        ASSERT_EQ(chunks.size(), c.countBytes.size());
        std::string carried;
        for (std::size_t k = 0; k < chunks.size(); ++k) {
            const auto& chunk = chunks[k];
            EXPECT_EQ(chunk[0], 0x93);
            EXPECT_EQ(std::string(chunk.begin() + 1, chunk.begin() + 5), "QVRX");
            EXPECT_EQ(chunk[5], k);
            EXPECT_EQ(chunk[6], c.countBytes[k]);
            const std::size_t n = chunk[6] & 0x0F;
            carried.append(chunk.begin() + 7, chunk.begin() + 7 + static_cast<long>(n));
            for (std::size_t i = 7 + n; i < 24; ++i) EXPECT_EQ(chunk[i], 0) << "byte " << i;
        }
        EXPECT_EQ(carried, text);
    }
}

TEST(HIDReports, CrLfTravelsAsOneLineFeed) {
    const auto chunks = makeSettingsChunks(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, "a=1\r\nb=2\n");
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(bytesOf(chunks[0]), report24({0x91, 'Q', 'V', 'R', 'X', 0, 0x88, 'a', '=', '1', '\n', 'b', '=', '2', '\n'}));
}

TEST(HIDReports, TextsTheChunksCannotCarryAreRefused) {
    struct Case {
        std::string text;
        SettingsTextError::Reason reason;
    };
    const Case cases[] = {
        {"", SettingsTextError::Reason::empty},
        {"camera_sn=caf\xC3\xA9\n", SettingsTextError::Reason::notASCII},
        {std::string(256 * 14 + 1, 'x'), SettingsTextError::Reason::tooLong},
    };
    for (const Case& c : cases) {
        try {
            makeSettingsChunks(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, c.text);
            ADD_FAILURE() << "accepted a text of " << c.text.size() << " bytes";
        } catch (const SettingsTextError& e) {
            EXPECT_EQ(e.reason(), c.reason) << e.what();
        }
    }
    // The longest text that fits: 256 chunks, the last one with index 255 and full.
    const auto chunks = makeSettingsChunks(QVHIDCommand::CMD_SET_CAMERA_SETTINGS, std::string(256 * 14, 'x'));
    ASSERT_EQ(chunks.size(), 256u);
    EXPECT_EQ(chunks.back()[5], 255);
    EXPECT_EQ(chunks.back()[6], 0x8E);
}

TEST(HIDReports, ButtonReports) {
    struct Case {
        Bytes report;
        std::optional<int> button;
    };
    const Case cases[] = {
        {{0x02}, std::nullopt}, {{0x03}, 3}, {{0x04}, 4}, {{0x05}, 5}, {{0x06}, 6}, {{0x07}, std::nullopt},
        {{0x80}, std::nullopt},
        {report24({0x80, 0x01}), 5}, {report24({0x80, 0x02}), 3}, {report24({0x80, 0x04}), 4},
        {report24({0x80, 0x08}), 6}, {report24({0x80, 0x03}), std::nullopt}, {report24({0x80, 0x00}), std::nullopt},
        {report24({0x80, 0x10}), std::nullopt},
        {report24({0x81, 0x01}), std::nullopt},  // not the button report
        {Bytes{0x05, 0x00}, std::nullopt},       // neither length
        {[] { Bytes r(64, 0); r[0] = 0x80; r[1] = 0x01; return r; }(), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(hexText(c.report));
        const auto content = parseInputReport(c.report);
        EXPECT_EQ(content.button, c.button);
        EXPECT_FALSE(content.chunk);
    }
}

TEST(HIDReports, InputChunksAreReadFromTheirReport) {
    // A button and a chunk in one report.
    auto both = parseInputReport(inputChunk('P', 0, 0x03, "abc", 0x01));
    EXPECT_EQ(both.button, 5);
    ASSERT_TRUE(both.chunk);
    EXPECT_EQ(both.chunk->tag, 'P');
    EXPECT_EQ(both.chunk->text, "abc");
    EXPECT_FALSE(both.chunk->last);

    // No button (0x03 is two bits), receiver chunk all the same.
    auto chunkOnly = parseInputReport(inputChunk('Q', 2, 0x85, "DONGLE", 0x03));
    EXPECT_FALSE(chunkOnly.button);
    ASSERT_TRUE(chunkOnly.chunk);
    EXPECT_EQ(chunkOnly.chunk->index, 2);
    EXPECT_TRUE(chunkOnly.chunk->last);
    EXPECT_EQ(chunkOnly.chunk->text, "DONGL");

    // A count of 15 is cut to the 14 characters the report holds.
    auto full = parseInputReport(inputChunk('P', 1, 0x0F, "0123456789abcdef"));
    ASSERT_TRUE(full.chunk);
    EXPECT_EQ(full.chunk->text, "0123456789abcd");

    // Bytes above 0x7F are Latin-1 characters.
    auto latin = parseInputReport(inputChunk('P', 0, 0x82, "\xE9\xFF"));
    ASSERT_TRUE(latin.chunk);
    EXPECT_EQ(latin.chunk->text, "\xC3\xA9\xC3\xBF");

    // Another tag is no chunk.
    EXPECT_FALSE(parseInputReport(inputChunk('R', 0, 0x82, "ab")).chunk);
}

TEST(HIDReports, AssemblerPublishesOnlyCompletedTexts) {
    SettingsTextAssembler assembler;
    auto feed = [&](const Bytes& report) { return assembler.add(*parseInputReport(report).chunk); };

    EXPECT_FALSE(feed(inputChunk('P', 0, 0x0E, "camera_sn=ABC1")));
    EXPECT_EQ(assembler.cameraText(), "") << "a growing text must not be visible";
    EXPECT_EQ(feed(inputChunk('P', 1, 0x82, "2\n")), "camera_sn=ABC12\n");
    EXPECT_EQ(assembler.cameraText(), "camera_sn=ABC12\n");
    EXPECT_EQ(assembler.dongleText(), "");

    // A new text (index 0) replaces the old one only once it is complete.
    EXPECT_FALSE(feed(inputChunk('P', 0, 0x05, "type=")));
    EXPECT_EQ(assembler.cameraText(), "camera_sn=ABC12\n");
    // Index 0 again restarts: what came before is dropped.
    EXPECT_FALSE(feed(inputChunk('P', 0, 0x05, "wifi_")));
    EXPECT_EQ(feed(inputChunk('P', 1, 0x89, "ssid=net\n")), "wifi_ssid=net\n");

    // The receiver's text is kept apart.
    EXPECT_EQ(feed(inputChunk('Q', 0, 0x8B, "DONGLE_SN=D")), "DONGLE_SN=D");
    EXPECT_EQ(assembler.dongleText(), "DONGLE_SN=D");
    EXPECT_EQ(assembler.cameraText(), "wifi_ssid=net\n");
}

TEST(HIDReports, DebugQuoting) {
    EXPECT_EQ(debugQuoted("Init Hid Device"), "\"Init Hid Device\"");
    EXPECT_EQ(debugQuoted("a=\"b\"\n\\"), "\"a=\\\"b\\\"\\n\\\\\"");
    EXPECT_EQ(hexText(Bytes{0x13, 0x00, 0xAB}), "13 00 AB ");
}

}  // namespace
}  // namespace qv::hid
