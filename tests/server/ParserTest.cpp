#include <gtest/gtest.h>

#include <cstring>

#include "server/HttpParser.h"
#include "server/MemorySource.h"
#include "server/Socket.h"

namespace qv::server {
namespace {

HttpRequest parse(const std::string& bytes) {
    MemorySource source(bytes, 7);
    BufferedReader reader(source);
    return HttpParser().readRequest(reader);
}

using namespace std::string_literals;
using Query = std::vector<std::pair<std::string, std::string>>;

TEST(HttpParserTest, RequestLineAndTarget) {
    struct Case {
        std::string line;
        std::string method, path;
        Query query;
    } cases[] = {
        {"GET /files/a%20b.pdf HTTP/1.1", "GET", "/files/a%20b.pdf", {}},
        {"GET /x?a=1&b&c=%41+2 HTTP/1.1", "GET", "/x", {{"a", "1"}, {"b", ""}, {"c", "%41+2"}}},
        {"get /lower HTTP/1.1", "get", "/lower", {}},
        {"GET  /x HTTP/1.1", "GET", "", {}},
        {"GET http://localhost:9080/abs/p?q=1 HTTP/1.1", "GET", "/abs/p", {{"q", "1"}}},
        {"GET /a#frag HTTP/1.1", "GET", "/a#frag", {}},
        {"GET /\xC3\xA9 HTTP/1.1", "GET", "/\xC3\x83\xC2\xA9", {}},
        {"GET //files//a%40b HTTP/1.1", "GET", "//files//a%40b", {}},
        {"GET //host/p HTTP/1.1", "GET", "//host/p", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        HttpRequest r = parse(c.line + "\r\n\r\n");
        EXPECT_EQ(r.method, c.method);
        EXPECT_EQ(r.path, c.path);
        EXPECT_EQ(r.queryParams, c.query);
        EXPECT_TRUE(r.body.empty());
    }
}

TEST(HttpParserTest, HeaderBlock) {
    HttpRequest r = parse(
        "GET / HTTP/1.1\r\n"
        "Host: localhost:9080\r\n"
        "X-Pad:   spaced value \t\r\n"
        "Dup: one\r\nDup: two\r\n"
        "NoColon\r\n"
        ":Leading\r\n"
        ":\r\n"
        "Content-Length : 5\r\n"
        "\r\nhello");
    std::map<std::string, std::string> expected{{"host", "localhost:9080"}, {"x-pad", "spaced value"},
                                                {"dup", "two"},           {"nocolon", "NoColon"},
                                                {"leading", "Leading"},   {"content-length ", "5"}};
    EXPECT_EQ(r.headers, expected);
    EXPECT_TRUE(r.body.empty()) << "a space before the colon is part of the name";
}

TEST(HttpParserTest, DeclaredBodyLengths) {
    struct Case {
        std::string length;
        std::string body;  // read body, or the error case name
    } cases[] = {
        {"0", ""},
        {"+3", "abc"},
        {"3", "abc"},
        {"-1", "negativeContentLength"},
        {"12abc", "invalidContentLength"},
        {"", "invalidContentLength"},
        {"99999999999999999999999", "invalidContentLength"},
        {"1048577", "bodyTooLarge"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string bytes = "POST / HTTP/1.1\r\nContent-Length: " + c.length + "\r\n\r\nabcdef";
        try {
            HttpRequest r = parse(bytes);
            EXPECT_EQ(std::string(r.body.begin(), r.body.end()), c.body);
        } catch (const HttpParserError& error) {
            EXPECT_EQ(std::string(error.what()), c.body);
        }
    }
}

TEST(HttpParserTest, MalformedOrCutRequestsFail) {
    EXPECT_EQ(([] {
                  try {
                      parse("GET /x\r\n\r\n");
                  } catch (const HttpParserError& e) {
                      return e;
                  }
                  return HttpParserError(HttpParserError::Case::bodyTooLarge);
              }()),
              HttpParserError(HttpParserError::Case::invalidStatusLine, "GET /x"));
    EXPECT_THROW(parse("GET / HTTP/1.1\r\nHost: x\r\n"), SocketError) << "stream ends inside the header block";
    EXPECT_THROW(parse("POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc"), SocketError) << "body cut short";
    EXPECT_THROW(parse("GET /x HTTP/1.1"), SocketError) << "no line end";
}

TEST(HttpParserTest, OversizeInputsAreParserErrors) {
    auto errorOf = [](const std::string& bytes) {
        try {
            parse(bytes);
        } catch (const HttpParserError& e) {
            return std::string(e.what());
        } catch (const std::exception& e) {
            return std::string("other: ") + e.what();
        }
        return std::string("parsed");
    };
    const std::string longTarget(8 * 1024, 'a');
    EXPECT_EQ(errorOf("GET /" + longTarget + " HTTP/1.1\r\n\r\n"), "requestLineTooLong");
    EXPECT_EQ(errorOf("GET / HTTP/1.1\r\nX: " + longTarget + "\r\n\r\n"), "lineTooLong");
    std::string headers;
    for (int i = 0; i < 100; ++i) headers += "H" + std::to_string(i) + ": v\r\n";
    EXPECT_EQ(errorOf("GET / HTTP/1.1\r\n" + headers + "\r\n"), "parsed");
    EXPECT_EQ(errorOf("GET / HTTP/1.1\r\n" + headers + "Last: v\r\n\r\n"), "tooManyHeaders");
}

TEST(HttpParserTest, ReaderKeepsBytesOfTheNextRequest) {
    MemorySource source("GET /one HTTP/1.1\r\nContent-Length: 2\r\n\r\nxyGET /two HTTP/1.1\r\n\r\n", 1000);
    BufferedReader reader(source);
    HttpParser parser;
    HttpRequest first = parser.readRequest(reader);
    HttpRequest second = parser.readRequest(reader);
    EXPECT_EQ(first.path, "/one");
    EXPECT_EQ(std::string(first.body.begin(), first.body.end()), "xy");
    EXPECT_EQ(second.path, "/two");
}

TEST(HttpParserTest, ReadLineKeepsTabsRefusesOtherControlBytesAndReadsLatin1) {
    MemorySource source("a\tb\r\n\r\n\xE9\n", 2);
    BufferedReader reader(source);
    EXPECT_EQ(reader.readLine(), "a\tb");
    EXPECT_EQ(reader.readLine(), "");
    EXPECT_EQ(reader.readLine(), "\xC3\xA9");
    EXPECT_TRUE(reader.readBytes(0).empty());
    EXPECT_THROW(reader.readLine(), SocketError);
    for (std::string line : {"pass\0wd\n"s, std::string("a\rb\n"), std::string("\x7f\n"),
                             std::string("\x01\n"), std::string("x\x0b\r\n")}) {
        MemorySource bad(line);
        BufferedReader badReader(bad);
        EXPECT_THROW(badReader.readLine(), BufferedReader::ControlByte) << line;
    }
}

// A byte that used to vanish from a line can no longer join two parts of a name.
TEST(HttpParserTest, ControlBytesInTheHeadAreInvalid) {
    auto errorOf = [](const std::string& bytes) {
        try {
            parse(bytes);
        } catch (const HttpParserError& e) {
            return std::string(e.what());
        }
        return std::string("parsed");
    };
    const std::string cases[] = {
        "GET /files/@@etc@@pass\0wd HTTP/1.1\r\n\r\n"s,
        "GET /files/@@etc@@pass\twd HTTP/1.1\r\n\r\n",
        "GET /files/@@etc@@pass\rwd HTTP/1.1\r\n\r\n",
        "GET /files/@@etc@@pass\x1bwd HTTP/1.1\r\n\r\n",
        "GET / HTTP/1.1\r\nX-A\x01: v\r\n\r\n",
        "GET / HTTP/1.1\r\nX\tA: v\r\n\r\n",
        "GET / HTTP/1.1\r\nX-A: v\x7f\r\n\r\n",
    };
    for (const std::string& c : cases) EXPECT_EQ(errorOf(c), "invalidCharacter") << c;
    EXPECT_EQ(parse("GET / HTTP/1.1\r\nX-A: a\tb\t\r\n\r\n").headers.at("x-a"), "a\tb") << "a tab inside a value is kept";
}

TEST(HttpParserTest, HeadScannerFindsTheEndAndChecksLimits) {
    using R = HttpHeadScanner::Result;
    auto scanAll = [](const std::string& bytes, std::size_t step) {
        HttpHeadScanner scanner;
        R result = R::needMore;
        for (std::size_t end = std::min(step, bytes.size());; end = std::min(end + step, bytes.size())) {
            result = scanner.scan(bytes.data(), end);
            if (result != R::needMore || end == bytes.size()) break;
        }
        return std::make_pair(result, result == R::complete ? scanner.headLength() : 0);
    };
    const std::string head = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string line(8 * 1024 + 1, 'a');
    std::string many;
    for (int i = 0; i < 101; ++i) many += "H: v\r\n";
    struct Case {
        std::string bytes;
        R result;
        std::size_t length;
    } cases[] = {
        {head + "body", R::complete, head.size()},
        {"GET / HTTP/1.1\nHost: x\n\nrest", R::complete, 24},
        {"GET / HTTP/1.1\r\nHost: x\r\n", R::needMore, 0},
        {"\r\n", R::complete, 2},
        {"GET /" + line, R::requestLineTooLong, 0},
        {"GET / HTTP/1.1\r\nX: " + line, R::headerTooLong, 0},
        {"GET / HTTP/1.1\r\n" + many + "\r\n", R::headerTooLong, 0},
    };
    for (const Case& c : cases)
        for (std::size_t step : {std::size_t{1}, std::size_t{5}, c.bytes.size()}) {
            SCOPED_TRACE(c.bytes.substr(0, 40) + " step " + std::to_string(step));
            EXPECT_EQ(scanAll(c.bytes, step), std::make_pair(c.result, c.length));
        }
}

TEST(HttpRequestTest, HasTokenInCommaSeparatedHeader) {
    HttpRequest r;
    r.headers = {{"upgrade", "WebSocket"}, {"connection", "keep-alive, Upgrade"}};
    EXPECT_TRUE(r.hasToken("websocket", "upgrade"));
    EXPECT_TRUE(r.hasToken("upgrade", "connection"));
    EXPECT_FALSE(r.hasToken("Upgrade", "connection"));
    EXPECT_FALSE(r.hasToken("x", "missing"));
}

}  // namespace
}  // namespace qv::server
