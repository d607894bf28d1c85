// SHA-1 against FIPS 180 vectors and lengths around the padding boundaries, base64 against
// RFC 4648, and the handshake value of RFC 6455.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/Sha1.h"
#include "server/WebSocket.h"

namespace qv::server {
namespace {

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Sha1, FipsVectorsAndPaddingBoundaries) {
    struct Case {
        std::string input;
        const char* hex;
    };
    const std::vector<Case> cases = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        // One block holds at most 55 bytes with the marker and the length.
        {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
        {std::string(63, 'a'), "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
        {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
        {std::string(65, 'a'), "11655326c708d70319be2610e8a57d9a5b959d3b"},
        {std::string(119, 'a'), "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"},
        {std::string(120, 'a'), "f34c1488385346a55709ba056ddd08280dd4c6d6"},
    };
    for (const Case& c : cases) EXPECT_EQ(sha1Hex(c.input), c.hex) << c.input.size() << " bytes";
}

TEST(Sha1, DigestOfBytesAboveSevenBitsEqualsTheHexForm) {
    std::string all;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(sha1Hex(all), "ac2a264c8ec1f4232a40854e8239bc3a697ab1d2");
    SHA1::Digest digest = SHA1::digest(bytesOf(all));
    EXPECT_EQ(digest[0], 0xac);
    EXPECT_EQ(digest[19], 0xd2);
    EXPECT_EQ(sha1Digest(all), digest);
}

TEST(Base64, Rfc4648Vectors) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
        {std::string("\xff\xfe\x00\x3f", 4), "//4APw=="},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(byteArrayBase64(bytesOf(input)), expected) << input;
    // No line breaks, however long.
    EXPECT_EQ(byteArrayBase64(bytesOf(std::string(300, 'x'))).find('\n'), std::string::npos);
}

TEST(WebSocketHandshake, AcceptValueOfTheRfcSample) {
    EXPECT_EQ(webSocketAcceptValue("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

}  // namespace
}  // namespace qv::server
