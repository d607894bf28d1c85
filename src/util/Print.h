#pragma once
// Diagnostic lines on standard output: the items of one line are joined by one blank, the line is
// ended with a line feed and flushed at once, and lines from different threads never interleave.
#include <concepts>
#include <string>
#include <string_view>
#include <vector>

namespace qv::util {

// How one item of a diagnostic line is written. Libraries with their own types (Qt strings,
// URLs) add specialisations next to those types.
template <typename T, typename Enable = void>
struct Printer;

template <>
struct Printer<std::string> {
    static std::string text(const std::string& s) { return s; }
};
template <>
struct Printer<std::string_view> {
    static std::string text(std::string_view s) { return std::string(s); }
};
template <>
struct Printer<const char*> {
    static std::string text(const char* s) { return s ? s : ""; }
};
template <>
struct Printer<char*> {
    static std::string text(const char* s) { return s ? s : ""; }
};
template <>
struct Printer<bool> {
    static std::string text(bool b) { return b ? "true" : "false"; }
};
template <std::integral T>
struct Printer<T, std::enable_if_t<!std::is_same_v<T, bool>>> {
    static std::string text(T v) { return std::to_string(v); }
};
template <std::floating_point T>
struct Printer<T> {
    static std::string text(T v) { return formatNumber(static_cast<double>(v)); }
    static std::string formatNumber(double v);
};

// Shortest text that reads back as the same double, with ".0" for whole numbers (1.0, 0.5, 1e+20).
std::string formatDouble(double v);

template <std::floating_point T>
std::string Printer<T>::formatNumber(double v) {
    return formatDouble(v);
}

// A text as a debug-form line shows it: in double quotes, with quotes, backslashes and control
// characters escaped.
std::string debugQuoted(std::string_view text);

// Writes one finished line (a line feed is added) and flushes.
void writeLine(std::string_view line);

// Joins the items with one blank.
std::string joinItems(const std::vector<std::string>& items);

template <typename... T>
void printLine(const T&... items) {
    writeLine(joinItems({Printer<std::decay_t<T>>::text(items)...}));
}

}  // namespace qv::util
