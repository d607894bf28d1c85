// URL-encoded and multipart form bodies, header tokens and header parameters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/FormParsing.h"

namespace qv::server {
namespace {

HttpRequest requestWith(const std::string& contentType, const std::string& body) {
    HttpRequest request;
    if (!contentType.empty()) request.headers["content-type"] = contentType;
    request.body.assign(body.begin(), body.end());
    return request;
}

std::string textOf(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(HeaderTokens, CommaSeparatedItemsTrimmedAndLowerCased) {
    HttpRequest request;
    request.headers["upgrade"] = "WebSocket";
    request.headers["connection"] = "keep-alive, Upgrade";
    request.headers["x"] = " a ,\tb\t,,";
    EXPECT_TRUE(request.hasToken("websocket", "upgrade"));
    EXPECT_TRUE(request.hasToken("upgrade", "connection"));
    EXPECT_TRUE(request.hasToken("keep-alive", "connection"));
    EXPECT_TRUE(request.hasToken("b", "x"));
    EXPECT_TRUE(request.hasToken("", "x"));  // the empty item between two commas
    EXPECT_FALSE(request.hasToken("Upgrade", "connection"));  // a token with a capital never matches
    EXPECT_FALSE(request.hasToken("upgrade", "Connection"));  // names are looked up as given
    EXPECT_FALSE(request.hasToken("websocket", "missing"));
    EXPECT_FALSE(request.hasToken("keep", "connection"));
}

TEST(UrlencodedForm, Table) {
    using Pairs = FormPairs;
    struct Case {
        const char* what;
        std::string contentType;
        std::string body;
        Pairs expected;
    };
    const std::vector<Case> cases = {
        {"two pairs in order", "application/x-www-form-urlencoded", "a=1&b=x%20y", {{"a", "1"}, {"b", "x y"}}},
        {"charset parameter accepted", "application/x-www-form-urlencoded; charset=utf-8", "a=1", {{"a", "1"}}},
        {"plus is a blank, escaped plus stays", "application/x-www-form-urlencoded", "n+1=a+b%2Bc", {{"n 1", "a b+c"}}},
        {"escaped plus in a name", "application/x-www-form-urlencoded", "%2B=%2b", {{"+", "+"}}},
        {"empty value", "application/x-www-form-urlencoded", "a=", {{"a", ""}}},
        {"double ampersand and a bare piece", "application/x-www-form-urlencoded", "a=1&&b",
         {{"a", "1"}, {"", ""}, {"", ""}}},
        {"two equals signs", "application/x-www-form-urlencoded", "a=b=c&d=4", {{"", ""}, {"d", "4"}}},
        {"malformed escape", "application/x-www-form-urlencoded", "a=%zz&b=%4", {{"", ""}, {"", ""}}},
        {"escape that is not UTF-8", "application/x-www-form-urlencoded", "a=%ff", {{"", ""}}},
        {"UTF-8 escapes", "application/x-www-form-urlencoded", "k=%C3%A9t%C3%A9", {{"k", "\xC3\xA9t\xC3\xA9"}}},
        {"empty body", "application/x-www-form-urlencoded", "", {{"", ""}}},
        {"other letter case refused", "Application/X-WWW-Form-Urlencoded", "a=1", {}},
        {"other type", "text/plain", "a=1", {}},
        {"no content type", "", "a=1", {}},
        {"body not UTF-8", "application/x-www-form-urlencoded", "a=\xff", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(parseUrlencodedForm(requestWith(c.contentType, c.body)), c.expected) << c.what;
}

// One multipart case: the parts as (headers, body) expectations.
struct ExpectedPart {
    std::optional<std::string> name;
    std::optional<std::string> fileName;
    std::string body;
};

TEST(MultiPartForm, Table) {
    const std::string binary("\x00\x01\xff\r\n--notquite\r\n\x7f", 19);
    struct Case {
        const char* what;
        std::string contentType;
        std::string body;
        std::vector<ExpectedPart> expected;
    };
    const std::string type = "multipart/form-data; boundary=XyZ";
    const std::vector<Case> cases = {
        {"text field and binary file", type,
         "--XyZ\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nHello\r\n"
         "--XyZ\r\nContent-Disposition: form-data; name=\"my_file1\"; filename=\"a b.bin\"\r\n"
         "Content-Type: application/octet-stream\r\n\r\n" +
             binary + "\r\n--XyZ--\r\n",
         {{"title", std::nullopt, "Hello"}, {"my_file1", "a b.bin", binary}}},
        {"lone line feed before the marker is dropped, other bytes stay", type,
         "--XyZ\nContent-Disposition: form-data; name=\"a\"\n\nx\n--XyZ\r\nContent-Disposition: form-data; "
         "name=\"b\"\r\n\r\ny\r\r\n--XyZ--",
         {{"a", std::nullopt, "x"}, {"b", std::nullopt, "y\r"}}},
        {"lone carriage return before the marker stays", type, "--XyZ\r\n\r\nab\r--XyZ\r\n\r\ncd\r\r--XyZ--",
         {{std::nullopt, std::nullopt, "ab\r"}, {std::nullopt, std::nullopt, "cd\r\r"}}},
        {"a partial marker running into the real one", "multipart/form-data; boundary=boundary",
         "--boundary\r\n\r\ndata--boundar--boundary\r\n\r\n---boundary--",
         {{std::nullopt, std::nullopt, "data--boundar"}, {std::nullopt, std::nullopt, "-"}}},
        {"empty file field", type,
         "--XyZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"\"\r\n\r\n\r\n--XyZ--\r\n",
         {{"f", "", ""}}},
        {"part without a disposition has neither name", type, "--XyZ\r\nX-Other: 1\r\n\r\nbody\r\n--XyZ--",
         {{std::nullopt, std::nullopt, "body"}}},
        {"body that ends before its marker gives no part", type,
         "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\ncomplete\r\n--XyZ\r\n"
         "Content-Disposition: form-data; name=\"b\"\r\n\r\ncut sho",
         {{"a", std::nullopt, "complete"}}},
        {"body that ends inside the headers", type, "--XyZ\r\nContent-Disposition: form-da", {}},
        {"body that ends inside the marker", type, "--XyZ\r\n\r\nabc\r\n--Xy", {}},
        {"first line not exactly the marker", type, "preamble\r\n--XyZ\r\n\r\nx\r\n--XyZ--", {}},
        {"quoted boundary keeps its quotes", "multipart/form-data; boundary=\"XyZ\"", "--XyZ\r\n\r\nx\r\n--XyZ--", {}},
        {"quoted boundary used with quotes", "multipart/form-data; boundary=\"XyZ\"",
         "--\"XyZ\"\r\n\r\nx\r\n--\"XyZ\"--", {{std::nullopt, std::nullopt, "x"}}},
        {"no boundary", "multipart/form-data", "--XyZ\r\n\r\nx\r\n--XyZ--", {}},
        {"empty boundary", "multipart/form-data; boundary=", "--\r\n\r\nx\r\n----", {}},
        {"other letter case refused", "Multipart/Form-Data; boundary=XyZ", "--XyZ\r\n\r\nx\r\n--XyZ--", {}},
        {"empty body", type, "", {}},
    };
    for (const Case& c : cases) {
        std::vector<MultiPart> parts = parseMultiPartForm(requestWith(c.contentType, c.body));
        ASSERT_EQ(parts.size(), c.expected.size()) << c.what;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            EXPECT_EQ(parts[i].name(), c.expected[i].name) << c.what << " part " << i;
            EXPECT_EQ(parts[i].fileName(), c.expected[i].fileName) << c.what << " part " << i;
            EXPECT_EQ(textOf(parts[i].body), c.expected[i].body) << c.what << " part " << i;
        }
    }
}

TEST(MultiPartForm, PartHeadersLowerCasedTrimmedAndColonValuesDropped) {
    std::vector<MultiPart> parts = parseMultiPartForm(requestWith(
        "multipart/form-data; boundary=b",
        "--b\r\nContent-Type: \t text/plain \r\nX-Time: 12:30\r\nCONTENT-TYPE: image/png\r\n\r\nz\r\n--b--"));
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].headers, (std::map<std::string, std::string>{{"content-type", "image/png"}}));
}

TEST(HeaderParameters, ValuesOfOneParameterAppendedToTheStart) {
    std::map<std::string, std::string> headers{{"content-disposition", "form-data; name=\"a\";name=b; filename=c"}};
    EXPECT_EQ(headerParameterValues({"start"}, headers, "content-disposition", "name"),
              (std::vector<std::string>{"start", "\"a\"", "b"}));
    EXPECT_EQ(headerParameterValues({}, headers, "content-type", "name"), std::vector<std::string>{});
    EXPECT_EQ(unquoted("\"x\""), "x");
    EXPECT_EQ(unquoted("\"x"), "\"x");
    EXPECT_EQ(unquoted("\""), "\"");
}

}  // namespace
}  // namespace qv::server
