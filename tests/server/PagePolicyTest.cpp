#include <gtest/gtest.h>

#include <fstream>

#include "ServerTestSupport.h"
#include "server/FileServing.h"
#include "server/PagePolicy.h"

namespace qv::server {
namespace {

const std::string policy = "default-src 'self'; script-src 'self'";

// Through the engine: a page built in memory, a page of a folder (answered at once from the
// caches or by a worker) and the answers that carry no page.
TEST(PagePolicy, PagesOfTheServerCarryThePolicyAndStayWhole) {
    test::TempDir temp;
    const auto folder = temp.path();
    std::ofstream(folder / "page.html") << "<!doctype html><title>lesson</title>";
    test::RunningServer running;
    running.server->router.addRoute(
        std::nullopt, "/",
        withContentSecurityPolicy(
            [](const HttpRequest&) { return HttpResponse::ok(HttpResponseBody::html("<p>root</p>")); },
            policy));
    running.server->router.addRoute(std::nullopt, "/:path",
                                    withContentSecurityPolicy(fileShareHandler(folder.string(), {}), policy));
    running.server->router.addRoute(
        std::nullopt, "/gone/:path",
        withContentSecurityPolicy(
            [](const HttpRequest&) { return HttpResponse::movedTemporarily("/page.html"); }, policy));
    running.start();
    ASSERT_TRUE(
        running.server->router.lookup(std::string("GET"), "/page.html")->second.target<QuickHandler>())
        << "a file share stays one that answers at once";

    struct Case {
        std::string target;
        const char* status;
        bool carries;
        std::string body;
    } cases[] = {
        {"/", "HTTP/1.1 200 OK", true, "<p>root</p>"},
        {"/page.html", "HTTP/1.1 200 OK", true, "<!doctype html><title>lesson</title>"},
        {"/page.html", "HTTP/1.1 200 OK", true,
         "<!doctype html><title>lesson</title>"},  // now from the caches
        {"/missing.html", "HTTP/1.1 404 Not Found", false, ""},
        {"/gone/x", "HTTP/1.1 307 Moved Temporarily", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const std::string response = test::get(running.port, c.target);
        EXPECT_EQ(test::statusLine(response), c.status);
        EXPECT_EQ(response.find("\r\nContent-Security-Policy: " + policy + "\r\n") != std::string::npos,
                  c.carries)
            << response;
        EXPECT_EQ(test::bodyOf(response), c.body);
        if (c.carries) {
            EXPECT_NE(response.find("\r\nContent-Length: " + std::to_string(c.body.size()) + "\r\n"),
                      std::string::npos);
            EXPECT_NE(response.find("\r\nContent-Type: text/html\r\n"), std::string::npos);
        }
    }
}

// A policy an answer sets itself (the whole-disk share's sandbox) is not replaced.
TEST(PagePolicy, AnOwnPolicyStays) {
    const HttpResponse own =
        HttpResponse::raw(200, "OK", HeaderFields{{"Content-Security-Policy", "sandbox"}});
    EXPECT_EQ(withContentSecurityPolicy(own, policy).headerFields()["Content-Security-Policy"], "sandbox");
}

}  // namespace
}  // namespace qv::server
