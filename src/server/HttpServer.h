#pragma once
// The server as the rest of the program sees it: the connection engine with a router, route
// shortcuts per method and for any method, middleware, an optional not-found handler and the
// version text named in every response's "Server" header.
//
//   auto server = std::make_shared<HttpServer>();
//   server->router.addRoute(std::nullopt, "/files/:path", fileShareHandler("/", {"index.html"}));
//   server->GET["/x"] = [](const HttpRequest&) { return HttpResponse::ok(HttpResponseBody::text("x")); };
//   server->start(9080, true);
//
// Routes, middleware and the not-found handler are set before the server starts.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "server/HttpRouter.h"
#include "server/HttpServerIO.h"

namespace qv::server {

using Middleware = std::function<std::optional<HttpResponse>(const HttpRequest&)>;

class HttpServer : public HttpServerIO {
public:
    // Registers a handler for one pattern when assigned; routes cannot be read back.
    class RouteSetter {
    public:
        RouteSetter(HttpRouter& router, std::optional<std::string> method, std::string path)
            : router_(router), method_(std::move(method)), path_(std::move(path)) {}
        void operator=(HttpHandler handler) { router_.addRoute(method_, path_, std::move(handler)); }

    private:
        HttpRouter& router_;
        std::optional<std::string> method_;
        std::string path_;
    };

    // The routes of one method: server.GET["/x"] = handler.
    struct MethodRoute {
        std::string method;
        HttpRouter* router;
        RouteSetter operator[](const std::string& path) const { return RouteSetter(*router, method, path); }
    };

    HttpServer();
    ~HttpServer() override;

    HttpRouter router;
    MethodRoute DELETE{"DELETE", &router};
    MethodRoute PATCH{"PATCH", &router};
    MethodRoute HEAD{"HEAD", &router};
    MethodRoute POST{"POST", &router};
    MethodRoute GET{"GET", &router};
    MethodRoute PUT{"PUT", &router};

    std::optional<HttpHandler> notFoundHandler;
    std::vector<Middleware> middleware;

    // A route for any method: server["/x"] = handler.
    RouteSetter operator[](const std::string& path) { return RouteSetter(router, std::nullopt, path); }
    std::vector<std::string> routePatterns() const { return router.routePatterns(); }

    // The program's version text ("Unspecified" when the build names none).
    static const std::string& version();

    std::pair<RouteParams, HttpHandler> dispatch(const HttpRequest& request) override;
    std::optional<std::pair<RouteParams, HttpHandler>> quickRoute(const HttpRequest& request) override;
};

}  // namespace qv::server
