#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "util/Print.h"
#include "util/Strings.h"

namespace {

using qv::util::splitNonEmpty;
using Pieces = std::vector<std::string>;

TEST(SplitNonEmpty, DropsEmptyPiecesEverywhere) {
    struct Case {
        const char* text;
        Pieces pieces;
    } cases[] = {
        {"", {}},
        {"\n\n", {}},
        {"a", {"a"}},
        {"a\nb", {"a", "b"}},
        {"\na\n\nb\n", {"a", "b"}},
        {"key=value\r\nx=1", {"key=value\r", "x=1"}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitNonEmpty(c.text, '\n'), c.pieces) << '"' << c.text << '"';
}

TEST(Trimmed, DropsBlanksAtBothEndsOnly) {
    struct Case {
        std::string text;
        std::string trimmed;
    } cases[] = {
        {"", ""},
        {" \t\n\v\f\r", ""},
        {" keep-alive\r\n", "keep-alive"},
        {"\tname: a  b\t", "name: a  b"},
        {std::string("\0x\x1f", 3), std::string("\0x\x1f", 3)},  // control bytes that are not blanks stay
    };
    for (const auto& c : cases) EXPECT_EQ(qv::util::trimmed(c.text), c.trimmed) << '"' << c.text << '"';
}

TEST(LowerCased, LowersAsciiLettersOnly) {
    EXPECT_EQ(qv::util::lowerCased("Keep-Alive"), "keep-alive");
    EXPECT_EQ(qv::util::lowerCased("LOCALHOST:8080"), "localhost:8080");
    EXPECT_EQ(qv::util::lowerCased("\xC3\x84Z"), "\xC3\x84z");
}

TEST(PrintLine, JoinsItemsWithOneBlank) {
    EXPECT_EQ(qv::util::joinItems({"offlineMode: ", "true"}), "offlineMode:  true");
    struct Case {
        double value;
        const char* text;
    } cases[] = {{1.0, "1.0"}, {0.5, "0.5"}, {2.25, "2.25"}, {-3.0, "-3.0"}, {1e20, "1e+20"}};
    for (const auto& c : cases) EXPECT_EQ(qv::util::formatDouble(c.value), c.text);
}

TEST(PrintLine, WritesWholeLinesToStandardOutput) {
    testing::internal::CaptureStdout();
    qv::util::printLine("Resolution: ", std::string("720P@30fps"));
    qv::util::printLine("offlineMode: ", false, 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Resolution:  720P@30fps\nofflineMode:  false 3\n");
}

}  // namespace
