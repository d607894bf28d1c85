#include <gtest/gtest.h>

#include "server/FileStream.h"
#include "server/HttpResponse.h"
#include "server/HttpServer.h"

namespace qv::server {
namespace {

// Collects what a body writer sends.
class CollectingWriter : public HttpResponseBodyWriter {
public:
    using HttpResponseBodyWriter::write;
    void write(File&) override { bytes += "<file>"; }
    void write(std::span<const std::uint8_t> data) override { bytes.append(data.begin(), data.end()); }
    std::string bytes;
};

struct ResponseCase {
    const char* name;
    HttpResponse response;
    int status;
    std::string phrase;
    HeaderFields fields;  // besides "Server" unless it names its own
    std::int64_t length;
    std::string body;  // what the writer sends; "-" when there is no writer
};

TEST(HttpResponseTest, StatusFieldsLengthAndBodyOfEachCase) {
    const std::string server = "QVHttp " + HttpServer::version();
    const ResponseCase cases[] = {
        {"ok text", HttpResponse::ok(HttpResponseBody::text("abc")), 200, "OK", {}, 3, "abc"},
        {"ok empty htmlBody", HttpResponse::ok(HttpResponseBody::htmlBody("")), 200, "OK", {}, 48,
         "<html><meta charset=\"UTF-8\"><body></body></html>"},
        {"ok html", HttpResponse::ok(HttpResponseBody::html("<p>")), 200, "OK", {{"Content-Type", "text/html"}}, 3, "<p>"},
        {"ok json number is invalid", HttpResponse::ok(HttpResponseBody::json(JsonValue(5))), 200, "OK",
         {{"Content-Type", "application/json"}}, 34, "Serialisation error: invalidObject"},
        {"ok json object", HttpResponse::ok(HttpResponseBody::json(JsonValue::Object{{"a", JsonValue::Array{1, "x\"", true, nullptr}}})),
         200, "OK", {{"Content-Type", "application/json"}}, 25, "{\"a\":[1,\"x\\\"\",true,null]}"},
        {"ok data without type", HttpResponse::ok(HttpResponseBody::data({1, 2})), 200, "OK", {}, 2, "\x01\x02"},
        {"ok data png", HttpResponse::ok(HttpResponseBody::data({7}, "image/png")), 200, "OK", {{"Content-Type", "image/png"}}, 1, "\x07"},
        {"ok custom failing", HttpResponse::ok(HttpResponseBody::custom([]() -> std::string { throw std::runtime_error("boom"); })),
         200, "OK", {}, 25, "Serialisation error: boom"},
        {"raw bare", HttpResponse::raw(200, "OK"), 200, "OK", {}, -1, "-"},
        {"raw own server", HttpResponse::raw(299, "Fine", HeaderFields{{"Server", "mine"}}), 299, "Fine", {{"Server", "mine"}}, -1, "-"},
        {"badRequest bare", HttpResponse::badRequest(), 400, "Bad Request", {}, -1, "-"},
        {"badRequest text", HttpResponse::badRequest(HttpResponseBody::text("abc")), 400, "Bad Request", {}, 3, "abc"},
        {"movedTemporarily", HttpResponse::movedTemporarily("/x"), 307, "Moved Temporarily", {{"Location", "/x"}}, -1, "-"},
        {"movedPermanently", HttpResponse::movedPermanently("/y"), 301, "Moved Permanently", {{"Location", "/y"}}, -1, "-"},
        {"notFound", HttpResponse::notFound(), 404, "Not Found", {}, -1, "-"},
        {"forbidden", HttpResponse::forbidden(), 403, "Forbidden", {}, -1, "-"},
        {"tooManyRequests", HttpResponse::tooManyRequests(), 429, "Too Many Requests", {}, -1, "-"},
        {"internalServerError", HttpResponse::internalServerError(), 500, "Internal Server Error", {}, -1, "-"},
    };
    for (const ResponseCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.response.statusCode(), c.status);
        EXPECT_EQ(c.response.reasonPhrase(), c.phrase);
        HeaderFields expected{{"Server", server}};
        for (const auto& [k, v] : c.fields) expected[k] = v;
        EXPECT_EQ(c.response.headerFields(), expected);
        auto [length, writer] = c.response.bodyContent();
        EXPECT_EQ(length, c.length);
        if (c.body == "-") {
            EXPECT_FALSE(writer);
        } else {
            ASSERT_TRUE(writer);
            CollectingWriter collected;
            writer(collected);
            EXPECT_EQ(collected.bytes, c.body);
        }
    }
}

}  // namespace
}  // namespace qv::server
