// Looks up arbitrary method and path texts (split at the first newline) in a router that holds
// the program's routes and patterns with "*", "**" and parameters; then registers the input
// as a pattern in a second router and looks it up again. Patterns are the program's own, never a
// client's: a pattern with several "**" segments makes the search try every way of splitting the
// path among them, so such inputs are not registered.
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/HttpRequest.h"
#include "server/HttpRouter.h"

namespace {

qv::server::HttpHandler answer(int code) {
    return [code](const qv::server::HttpRequest&) { return qv::server::HttpResponse::raw(code, "x"); };
}

const qv::server::HttpRouter& programRouter() {
    static qv::server::HttpRouter* router = [] {
        auto* r = new qv::server::HttpRouter;
        r->addRoute(std::nullopt, "/files/:path", answer(1));
        r->addRoute(std::nullopt, "/", answer(2));
        r->addRoute(std::nullopt, "/:path", answer(3));
        r->addRoute(std::nullopt, "/grade1/unit2/:path", answer(4));
        r->addRoute("GET", "/a/*/c", answer(5));
        r->addRoute(std::nullopt, "/a/**/c", answer(6));
        r->addRoute("POST", "/:x/:y/**/z/*", answer(7));
        return r;
    }();
    return *router;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string method = newline == std::string::npos ? "GET" : input.substr(0, newline);
    const std::string path = newline == std::string::npos ? input : input.substr(newline + 1);

    if (auto found = programRouter().lookup(method, path)) {
        for (const auto& [key, value] : found->first)
            if (key.empty() || key[0] != ':') __builtin_trap();
        (void)found->second(qv::server::HttpRequest());
    }
    (void)programRouter().lookup(std::nullopt, path);

    std::size_t runs = 0;
    for (std::size_t at = path.find("**"); at != std::string::npos; at = path.find("**", at + 2)) ++runs;
    if (runs > 1) return 0;
    qv::server::HttpRouter own;
    own.addRoute(method.empty() ? std::nullopt : std::optional<std::string>(method), path, answer(9));
    (void)own.lookup(method, path);
    (void)own.routePatterns();
    return 0;
}
