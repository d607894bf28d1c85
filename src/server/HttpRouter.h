#pragma once
// Maps a request's method and path to a route handler and the parameters taken from the path.
// Patterns are path segments: literal, ":name" (one segment, its value percent-decoded), "*" (any
// one segment) or "**" (a run of segments before the segment that follows it in the pattern).
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "server/HttpResponse.h"

namespace qv::server {

using RouteParams = std::map<std::string, std::string>;

class HttpRouter {
public:
    HttpRouter();
    ~HttpRouter();

    // Adds or replaces a route; no method: any method. An empty handler leaves an end of route
    // that answers nothing.
    void addRoute(const std::optional<std::string>& method, const std::string& path, HttpHandler handler);
    // The parameters and handler of the route for this method and path, or nothing.
    std::optional<std::pair<RouteParams, HttpHandler>> lookup(const std::optional<std::string>& method,
                                                              const std::string& path) const;
    // Every pattern that has a handler, without its method ("/" is the empty text).
    std::vector<std::string> routePatterns() const;

private:
    struct Node;
    static void collectPatterns(const Node& node, const std::string& prefix, std::vector<std::string>& into);
    static HttpHandler matchRoute(const Node& root, RouteParams& params, const std::vector<std::string>& segments);
    static void matchSegment(const Node& node, RouteParams& params, const std::vector<std::string>& segments,
                             std::vector<const Node*>& matched, std::size_t index, std::size_t count);

    std::unique_ptr<Node> rootNode_;
    mutable std::mutex mutex_;
};

// Decodes percent escapes into UTF-8; nothing when an escape is malformed or the result is not
// valid UTF-8.
std::optional<std::string> percentDecoded(const std::string& text);

}  // namespace qv::server
