#include <gtest/gtest.h>

#include "server/FileServing.h"
#include "server/HttpRouter.h"
#include "server/HttpServer.h"

namespace qv::server {
namespace {

// A handler that answers with its own name, so a lookup shows which route it found.
HttpHandler named(const std::string& name) {
    return [name](const HttpRequest&) { return HttpResponse::raw(200, name); };
}

std::string found(const HttpRouter& router, const std::optional<std::string>& method, const std::string& path,
                  RouteParams* params = nullptr) {
    auto result = router.lookup(method, path);
    if (!result) return "-";
    if (params) *params = result->first;
    return result->second(HttpRequest()).reasonPhrase();
}

TEST(HttpRouterTest, LookupTable) {
    HttpRouter router;
    router.addRoute(std::nullopt, "/files/:path", named("files"));
    router.addRoute(std::nullopt, "/:path", named("lessons"));
    router.addRoute(std::nullopt, "/", named("root"));
    router.addRoute(std::nullopt, "/a/*/c", named("star"));
    router.addRoute(std::nullopt, "/a/**/c", named("run"));
    router.addRoute(std::nullopt, "/r/q?y=1", named("query"));
    router.addRoute("GET", "/r/m", named("get-m"));
    router.addRoute(std::nullopt, "/r/m", named("any-m"));
    router.addRoute(std::nullopt, "/r/twice", named("first"));
    router.addRoute(std::nullopt, "/r/twice", named("second"));

    struct Case {
        std::string method, path, handler;
        RouteParams params;
    } cases[] = {
        {"GET", "/files/a%20b.pdf", "files", {{":path", "a b.pdf"}}},
        {"GET", "/files/%2Fetc%2Fx", "files", {{":path", "/etc/x"}}},
        {"GET", "/files/%C3%A9", "files", {{":path", "\xC3\xA9"}}},
        {"GET", "/files/a/b.pdf", "-", {}},
        {"GET", "/files/%zz", "-", {}},
        {"GET", "/files/%C3", "-", {}},
        {"GET", "/files", "lessons", {{":path", "files"}}},
        {"GET", "/", "root", {}},
        {"POST", "/", "root", {}},
        {"GET", "/a/b/c", "star", {}},
        {"GET", "/a/c", "-", {}},
        {"GET", "/a/b/d/c", "run", {}},
        {"GET", "/r/q", "query", {}},
        {"GET", "/r/q?y=2", "query", {}},
        {"GET", "/r/m", "get-m", {}},
        {"POST", "/r/m", "any-m", {}},
        {"GET", "/r/twice", "second", {}},
        // A parameter child on the last segment is taken before a literal one.
        {"POST", "/r", "lessons", {{":path", "r"}}},
        {"GET", "//files//x.pdf/", "files", {{":path", "x.pdf"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method + " " + c.path);
        RouteParams params;
        EXPECT_EQ(found(router, c.method, c.path, &params), c.handler);
        if (c.handler != "-") {
            for (const auto& [k, v] : c.params) EXPECT_EQ(params[k], v);
        }
    }
}

TEST(HttpRouterTest, OneSegmentAndRunPatternsEachOnTheirOwn) {
    // Each pattern alone in its router, so no other route answers in its place.
    struct Case {
        std::string pattern, path;
        bool found;
    } cases[] = {
        {"/a/*/c", "/a/b/c", true},
        {"/a/*/c", "/a/c", false},
        {"/a/*/c", "/a/b/d/c", false},
        {"/a/**/c", "/a/b/d/c", true},
        {"/a/**/c", "/a/b/d/e/c", true},
        {"/a/**/c", "/a/b/c", false},  // a run covers at least two segments
        {"/a/**/c", "/a/c", false},
        {"/a/**/c", "/a/b/d", false},
        {"/a/**", "/a/b/d", false},  // a pattern ending in a run matches nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern + " " + c.path);
        HttpRouter router;
        router.addRoute(std::nullopt, c.pattern, named("only"));
        EXPECT_EQ(found(router, "GET", c.path), c.found ? "only" : "-");
    }
}

TEST(HttpRouterTest, SegmentsThatReadLikeKeysDoNotMultiplyTheSearch) {
    // Searched twice per level, these 60 levels would take 2^60 steps.
    std::string pattern;
    for (int i = 0; i < 30; ++i) pattern += "/:p/*";
    HttpRouter router;
    router.addRoute(std::nullopt, pattern, named("deep"));
    router.addRoute(std::nullopt, "/:p/*/x", named("short"));
    RouteParams params;
    EXPECT_EQ(found(router, "GET", pattern, &params), "deep");
    EXPECT_EQ(params[":p"], ":p");
    EXPECT_EQ(found(router, "GET", "/*/*/x", &params), "short");
    EXPECT_EQ(found(router, "GET", "/:p/:p/x", &params), "short");
}

TEST(HttpRouterTest, RoutePatternsListsHandlersWithoutMethod) {
    HttpRouter router;
    router.addRoute(std::nullopt, "/", named("root"));
    router.addRoute(std::nullopt, "/files/:path", named("files"));
    router.addRoute(std::nullopt, "/empty", nullptr);
    EXPECT_EQ(router.routePatterns(), (std::vector<std::string>{"", "/files/:path"}));
    EXPECT_EQ(found(router, "GET", "/empty"), "-");
}

TEST(HttpServerTest, DispatchOrderMethodRoutesMiddlewareAndNotFound) {
    HttpServer server;
    server.GET["/x"] = named("A");
    server["/x"] = named("B");
    HttpRequest get;
    get.method = "GET";
    get.path = "/x";
    HttpRequest post = get;
    post.method = "POST";
    auto answer = [&server](const HttpRequest& r) { return server.dispatch(r).second(r); };
    EXPECT_EQ(answer(get).reasonPhrase(), "A");
    EXPECT_EQ(answer(post).reasonPhrase(), "B");

    HttpRequest other = get;
    other.path = "/nothing";
    EXPECT_EQ(answer(other).statusCode(), 404);
    server.notFoundHandler = named("missing");
    EXPECT_EQ(answer(other).reasonPhrase(), "missing");

    server.middleware.push_back([](const HttpRequest&) { return std::optional<HttpResponse>(); });
    server.middleware.push_back([](const HttpRequest&) { return std::optional(HttpResponse::raw(200, "mw")); });
    EXPECT_EQ(answer(get).reasonPhrase(), "mw");
    EXPECT_TRUE(server.dispatch(get).first.empty());
}

TEST(ContentTypeTest, ByLowerCasedExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.pdf", "application/pdf"},
        {"A.PNG", "image/png"},
        {"x/y/z.HtMl", "text/html"},
        {"page.htm", "text/html"},
        {"archive.tar.zip", "application/zip"},
        {"s.pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {"v.mp4", "video/mp4"},
        {"m.mp3", "audio/mpeg"},
        {"c.crt", "application/x-x509-ca-cert"},
        {"noextension", "application/octet-stream"},
        {"@@Users@@x.d@@file", "application/octet-stream"},
        {"unknown.qqq", "application/octet-stream"},
        {".hidden", "application/octet-stream"},
        {"trailing.", "application/octet-stream"},
    };
    for (const auto& [path, type] : cases) EXPECT_EQ(contentTypeForPath(path), type) << path;
}

}  // namespace
}  // namespace qv::server
