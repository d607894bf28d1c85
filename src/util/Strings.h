#pragma once
#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace qv::util {

// The text with each byte through std::tolower.
inline std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The text without blanks (space, tab, line feed, vertical tab, form feed, carriage return) at
// either end.
inline std::string trimmed(std::string_view text) {
    auto blank = [](unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); };
    std::size_t b = 0, e = text.size();
    while (b < e && blank(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && blank(static_cast<unsigned char>(text[e - 1]))) --e;
    return std::string(text.substr(b, e - b));
}

// The pieces between separators, in order; empty pieces (leading, trailing or repeated
// separators) are dropped, so an empty text gives none.
std::vector<std::string> splitNonEmpty(std::string_view text, char separator);

}  // namespace qv::util
