#include "server/HttpServer.h"

#include "util/BuildInfo.h"

namespace qv::server {

HttpServer::HttpServer() = default;

// Stops before the router and handlers go: the workers call dispatch() until then.
HttpServer::~HttpServer() { stop(); }

const std::string& HttpServer::version() {
    static const std::string text = *util::build::shortVersion ? util::build::shortVersion : "Unspecified";
    return text;
}

std::pair<RouteParams, HttpHandler> HttpServer::dispatch(const HttpRequest& request) {
    for (const Middleware& step : middleware) {
        if (!step) continue;
        if (std::optional<HttpResponse> response = step(request)) {
            HttpResponse answer = std::move(*response);
            return {RouteParams{}, [answer](const HttpRequest&) { return answer; }};
        }
    }
    if (auto found = router.lookup(request.method, request.path)) return std::move(*found);
    // HEAD is answered like GET (the engine leaves the body out).
    if (request.method == "HEAD")
        if (auto found = router.lookup(std::string("GET"), request.path)) return std::move(*found);
    if (notFoundHandler && *notFoundHandler) return {RouteParams{}, *notFoundHandler};
    return HttpServerIO::dispatch(request);
}

std::optional<std::pair<RouteParams, HttpHandler>> HttpServer::quickRoute(const HttpRequest& request) {
    if (!middleware.empty()) return std::nullopt;
    auto found = router.lookup(request.method, request.path);
    if (!found && request.method == "HEAD") found = router.lookup(std::string("GET"), request.path);
    if (!found || !found->second.target<QuickHandler>()) return std::nullopt;
    return found;
}

}  // namespace qv::server
