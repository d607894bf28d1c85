#pragma once
// SHA-1 (FIPS 180-4) for the WebSocket handshake, and the base64 text of its digest.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv::server {

struct SHA1 {
    using Digest = std::array<std::uint8_t, 20>;
    // The 20-byte digest: the five state words, each big-endian.
    static Digest digest(std::span<const std::uint8_t> bytes);
};

// The digest of a text's UTF-8 bytes.
SHA1::Digest sha1Digest(std::string_view text);
// The digest of a text's UTF-8 bytes as 40 lower-case hexadecimal digits.
std::string sha1Hex(std::string_view text);

// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string byteArrayBase64(std::span<const std::uint8_t> bytes);

}  // namespace qv::server
