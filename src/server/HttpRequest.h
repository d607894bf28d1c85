#pragma once
// One parsed HTTP request as every route handler receives it.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::server {

class HttpRequest {
public:
    // The path of the request target up to the first "?", percent escapes left as sent.
    std::string path;
    // The query items in order as (name, value); escapes and "+" left as sent, missing value = "".
    std::vector<std::pair<std::string, std::string>> queryParams;
    // The first token of the request line, exactly as sent.
    std::string method;
    // Header names in lower case, values trimmed; a repeated name keeps the last value.
    std::map<std::string, std::string> headers;
    // The bytes that "content-length" declared.
    std::vector<std::uint8_t> body;
    // The peer's numeric host; absent when it cannot be had.
    std::optional<std::string> address = std::string();
    // Route parameters keyed by the pattern segment with its colon (":path"), values percent-decoded.
    std::map<std::string, std::string> params;

    // The value of a header by its lower-case name, or nullptr.
    const std::string* header(const std::string& lowerCaseName) const;
    // Whether the header holds the token among its comma-separated items (trimmed, lower-cased).
    bool hasToken(const std::string& token, const std::string& inHeader) const;
};

}  // namespace qv::server
