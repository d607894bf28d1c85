#include "util/Print.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace qv::util {

std::string formatDouble(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, end);
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    return s;
}

std::string joinItems(const std::vector<std::string>& items) {
    std::string line;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) line += ' ';
        line += items[i];
    }
    return line;
}

std::string debugQuoted(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escaped[12];
                    std::snprintf(escaped, sizeof escaped, "\\u{%X}", c);
                    out += escaped;
                } else {
                    out.push_back(ch);
                }
        }
    }
    out += "\"";
    return out;
}

void writeLine(std::string_view line) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace qv::util
