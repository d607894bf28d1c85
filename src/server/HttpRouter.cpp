#include "server/HttpRouter.h"

#include "server/Utf8.h"
#include "util/Strings.h"

namespace qv::server {

struct HttpRouter::Node {
    std::map<std::string, std::unique_ptr<Node>> nodes;
    bool isEndOfRoute = false;
    HttpHandler handler;

    const Node* child(const std::string& key) const {
        auto it = nodes.find(key);
        return it == nodes.end() ? nullptr : it->second.get();
    }
};

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string cutAtQuestionMark(const std::string& path) { return path.substr(0, path.find('?')); }

}  // namespace

std::optional<std::string> percentDecoded(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (!isValidUtf8(out)) return std::nullopt;
    return out;
}

HttpRouter::HttpRouter() : rootNode_(std::make_unique<Node>()) {}
HttpRouter::~HttpRouter() = default;

void HttpRouter::addRoute(const std::optional<std::string>& method, const std::string& path, HttpHandler handler) {
    std::vector<std::string> segments = util::splitNonEmpty(cutAtQuestionMark(path), '/');
    segments.insert(segments.begin(), method.value_or("*"));
    std::lock_guard lock(mutex_);
    Node* node = rootNode_.get();
    for (const std::string& segment : segments) {
        auto& child = node->nodes[segment];
        if (!child) child = std::make_unique<Node>();
        node = child.get();
    }
    node->isEndOfRoute = true;
    node->handler = std::move(handler);
}

std::optional<std::pair<RouteParams, HttpHandler>> HttpRouter::lookup(const std::optional<std::string>& method,
                                                                      const std::string& path) const {
    std::lock_guard lock(mutex_);
    const std::string cut = cutAtQuestionMark(path);
    if (method) {
        RouteParams params;
        if (HttpHandler handler = matchRoute(*rootNode_, params, util::splitNonEmpty(*method + "/" + cut, '/')))
            return std::make_pair(std::move(params), std::move(handler));
    }
    RouteParams params;
    if (HttpHandler handler = matchRoute(*rootNode_, params, util::splitNonEmpty("*/" + cut, '/')))
        return std::make_pair(std::move(params), std::move(handler));
    return std::nullopt;
}

HttpHandler HttpRouter::matchRoute(const Node& root, RouteParams& params, const std::vector<std::string>& segments) {
    std::vector<const Node*> matched;
    matchSegment(root, params, segments, matched, 0, segments.size());
    if (matched.empty()) return nullptr;
    return matched.front()->handler;
}

void HttpRouter::matchSegment(const Node& node, RouteParams& params, const std::vector<std::string>& segments,
                              std::vector<const Node*>& matched, std::size_t index, std::size_t count) {
    if (index < count) {
        if (std::optional<std::string> token = percentDecoded(segments[index])) {
            const Node* parameter = nullptr;
            for (const auto& [key, child] : node.nodes) {
                if (key.empty() || key[0] != ':') continue;
                params[key] = *token;
                if (index + 1 == count && child->isEndOfRoute) {
                    matched.push_back(child.get());
                    return;
                }
                parameter = child.get();
                matchSegment(*child, params, segments, matched, index + 1, count);
                break;
            }
            // A segment that reads like the parameter's or the any-segment's key would enter the
            // same node a second time: that adds only later copies of matches already found, and
            // patterns made of such segments would double the work at every level.
            const Node* literal = *token == "*" ? nullptr : node.child(*token);
            if (literal && literal != parameter) matchSegment(*literal, params, segments, matched, index + 1, count);
            if (const Node* any = node.child("*")) matchSegment(*any, params, segments, matched, index + 1, count);
            if (const Node* run = node.child("**")) {
                std::size_t j = index + 2;
                while (j < count) {
                    std::optional<std::string> decoded = percentDecoded(segments[j]);
                    if (!decoded) break;
                    ++j;
                    if (const Node* next = run->child(*decoded)) matchSegment(*next, params, segments, matched, j, count);
                }
            }
        }
    }
    if (node.isEndOfRoute && index == count) matched.push_back(&node);
}

std::vector<std::string> HttpRouter::routePatterns() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> patterns;
    for (const auto& [key, child] : rootNode_->nodes) collectPatterns(*child, "", patterns);
    return patterns;
}

void HttpRouter::collectPatterns(const Node& node, const std::string& prefix, std::vector<std::string>& into) {
    if (node.handler) into.push_back(prefix);
    for (const auto& [key, child] : node.nodes) collectPatterns(*child, prefix + "/" + key, into);
}

}  // namespace qv::server
