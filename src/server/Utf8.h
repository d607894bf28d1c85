#pragma once
// UTF-8 validity for texts that arrive as bytes (paths, form values, WebSocket texts, file names).
#include <cstdint>
#include <span>
#include <string_view>

namespace qv::server {

// Whether the bytes are well-formed UTF-8: shortest forms only, no surrogates, nothing above
// U+10FFFF. NUL bytes are valid characters.
bool isValidUtf8(std::span<const std::uint8_t> bytes);
inline bool isValidUtf8(std::string_view text) {
    return isValidUtf8(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace qv::server
