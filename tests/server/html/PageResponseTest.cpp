#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "server/html/PageResponse.h"
#include "server/html/Tags.h"

namespace {

using namespace qv::html;
using qv::server::HttpRequest;
using qv::server::HttpResponse;

const std::string rootPage =
    "<!DOCTYPE html><html><body><center><img src=\"https://www.swift.org/assets/images/swift.svg\"></img>"
    "</center></body></html>";

// Collects what a body writer sends, one entry per write call.
class RecordingWriter : public qv::server::HttpResponseBodyWriter {
public:
    std::vector<std::string> writes;
    void write(qv::server::File&) override { writes.push_back("<file>"); }
    void write(std::span<const std::uint8_t> bytes) override { writes.emplace_back(bytes.begin(), bytes.end()); }
    using HttpResponseBodyWriter::write;
};

class FailingWriter : public qv::server::HttpResponseBodyWriter {
public:
    int attempts = 0;
    void write(qv::server::File&) override { throw std::runtime_error("file"); }
    void write(std::span<const std::uint8_t>) override {
        ++attempts;
        throw std::runtime_error("Broken pipe");
    }
    using HttpResponseBodyWriter::write;
};

// Sends the response's body as the server would, on the calling thread.
std::string sentBody(const HttpResponse& response) {
    auto [length, writer] = response.bodyContent();
    EXPECT_EQ(length, -1) << "page responses state no length";
    if (!writer) return "<no writer>";
    RecordingWriter recording;
    writer(recording);
    EXPECT_EQ(recording.writes.size(), 1u) << "the page goes out in one write";
    std::string all;
    for (const auto& w : recording.writes) all += w;
    return all;
}

void expectPageHead(const HttpResponse& response) {
    EXPECT_EQ(response.kind(), HttpResponse::Kind::raw);
    EXPECT_EQ(response.statusCode(), 200);
    EXPECT_EQ(response.reasonPhrase(), "OK");
    auto fields = response.headerFields();
    EXPECT_EQ(fields["Content-Type"], "text/html");
    fields.erase("Server");
    EXPECT_EQ(fields.size(), 1u) << "only Content-Type beside the server's own header";
}

HttpRequest request(std::string method, std::string path, std::string body = {}) {
    HttpRequest r;
    r.method = std::move(method);
    r.path = std::move(path);
    r.body.assign(body.begin(), body.end());
    return r;
}

TEST(RootPage, IsTheSameCentredImageWhateverTheRequest) {
    std::vector<HttpRequest> requests{request("GET", "/"), request("POST", "/", "a=1&b=2"),
                                      request("BREW", "/anything"), request("get", "")};
    requests[0].queryParams = {{"x", "1"}};
    requests[0].headers = {{"connection", "keep-alive"}, {"accept", "text/html"}};
    for (const auto& r : requests) {
        const HttpResponse response = rootPageHandler(r);
        expectPageHead(response);
        EXPECT_EQ(sentBody(response), rootPage) << r.method;
    }
}

TEST(PageResponse, BodyIsTheDocumentTypeAndThisThreadsLatestPage) {
    EXPECT_EQ(sentBody(htmlPageResponse([] {})), "<!DOCTYPE html>");
    EXPECT_EQ(sentBody(htmlPageResponse(nullptr)), "<!DOCTYPE html>");

    htmlPageBuffer() = "<p>left over</p>";
    auto first = htmlPageResponse([] { tags::p([] { htmlContentSlot() = "first"; }); });
    EXPECT_EQ(sentBody(first), "<!DOCTYPE html><p>first</p>");
    auto second = htmlBodyPageResponse([] { tags::h1([] { htmlContentSlot() = "Grüße ✓"; }); });
    expectPageHead(second);
    EXPECT_EQ(sentBody(second), "<!DOCTYPE html><html><body><h1>Grüße ✓</h1></body></html>");
    EXPECT_EQ(sentBody(htmlBodyPageResponse({})), "<!DOCTYPE html><html><body></body></html>");
}

TEST(PageResponse, BodyWriterOnAThreadWithoutAPageSendsTheDocumentTypeAlone) {
    const auto response = htmlPageResponse([] { tags::p({}); });
    std::string body;
    std::thread([&] { body = sentBody(response); }).join();
    EXPECT_EQ(body, "<!DOCTYPE html>");
}

TEST(PageResponse, FailedWriteIsDroppedSilently) {
    const auto response = htmlPageResponse([] { tags::p({}); });
    FailingWriter failing;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(response.bodyContent().second(failing));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(failing.attempts, 1) << "no retry";
}

TEST(PageHandler, BuildsThePageAgainForEveryRequestAndOwnsIt) {
    auto runs = std::make_shared<int>(0);
    std::weak_ptr<int> watch = runs;
    auto handler = htmlPageHandler([runs] {
        ++*runs;
        tags::p([&] { htmlContentSlot() = std::to_string(*runs); });
    });
    runs.reset();
    EXPECT_FALSE(watch.expired()) << "the handler keeps what its page captured";
    EXPECT_EQ(sentBody(handler(request("GET", "/"))), "<!DOCTYPE html><p>1</p>");
    EXPECT_EQ(sentBody(handler(request("DELETE", "/x"))), "<!DOCTYPE html><p>2</p>");
    handler = nullptr;
    EXPECT_TRUE(watch.expired()) << "releasing the handler releases the page";
}

}  // namespace
