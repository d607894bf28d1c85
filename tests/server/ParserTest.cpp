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
        {"GET /t\tab HTTP/1.0 extra", "GET", "/tab", {}},
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
    EXPECT_EQ(errorOf("GET /" + longTarget + " HTTP/1.1\r\n\r\n"), "lineTooLong");
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

TEST(HttpParserTest, ReadLineDropsControlBytesAndReadsLatin1) {
    MemorySource source("a\tb\r\n\r\n\xE9\n", 2);
    BufferedReader reader(source);
    EXPECT_EQ(reader.readLine(), "ab");
    EXPECT_EQ(reader.readLine(), "");
    EXPECT_EQ(reader.readLine(), "\xC3\xA9");
    EXPECT_TRUE(reader.readBytes(0).empty());
    EXPECT_THROW(reader.readLine(), SocketError);
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
