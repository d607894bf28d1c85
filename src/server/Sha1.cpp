#include "server/Sha1.h"

#include <vector>

namespace qv::server {

namespace {

std::uint32_t rotateLeft(std::uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

void processBlock(const std::uint8_t* block, std::array<std::uint32_t, 5>& state) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t(block[4 * i]) << 24 | std::uint32_t(block[4 * i + 1]) << 16 |
               std::uint32_t(block[4 * i + 2]) << 8 | std::uint32_t(block[4 * i + 3]);
    for (int i = 16; i < 80; ++i) w[i] = rotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t t = rotateLeft(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotateLeft(b, 30);
        b = a;
        a = t;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

SHA1::Digest SHA1::digest(std::span<const std::uint8_t> bytes) {
    std::array<std::uint32_t, 5> state{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const std::size_t whole = bytes.size() / 64 * 64;
    for (std::size_t at = 0; at < whole; at += 64) processBlock(bytes.data() + at, state);
    // The tail, the 0x80 marker, zeros and the bit length in the last eight bytes.
    std::vector<std::uint8_t> tail(bytes.begin() + static_cast<std::ptrdiff_t>(whole), bytes.end());
    tail.push_back(0x80);
    while (tail.size() % 64 != 56) tail.push_back(0);
    const std::uint64_t bitLength = static_cast<std::uint64_t>(bytes.size()) * 8;
    for (int shift = 56; shift >= 0; shift -= 8) tail.push_back(static_cast<std::uint8_t>(bitLength >> shift));
    for (std::size_t at = 0; at < tail.size(); at += 64) processBlock(tail.data() + at, state);
    Digest out;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<std::uint8_t>(state[i] >> (24 - 8 * j));
    return out;
}

SHA1::Digest sha1Digest(std::string_view text) {
    return SHA1::digest(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string sha1Hex(std::string_view text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t byte : sha1Digest(text)) {
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    return out;
}

std::string byteArrayBase64(std::span<const std::uint8_t> bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t n = std::uint32_t(bytes[i]) << 16 | std::uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += alphabet[n & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t n = std::uint32_t(bytes[i]) << 16;
        if (rest == 2) n |= std::uint32_t(bytes[i + 1]) << 8;
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += rest == 2 ? alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace qv::server
