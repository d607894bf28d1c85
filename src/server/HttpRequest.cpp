#include "server/HttpRequest.h"

#include <algorithm>

namespace qv::server {

const std::string* HttpRequest::header(const std::string& lowerCaseName) const {
    auto it = headers.find(lowerCaseName);
    return it == headers.end() ? nullptr : &it->second;
}

bool HttpRequest::hasToken(const std::string& token, const std::string& inHeader) const {
    const std::string* value = header(inHeader);
    if (!value) return false;
    std::size_t start = 0;
    while (start <= value->size()) {
        std::size_t comma = value->find(',', start);
        if (comma == std::string::npos) comma = value->size();
        std::size_t b = start, e = comma;
        while (b < e && ((*value)[b] == ' ' || (*value)[b] == '\t')) ++b;
        while (e > b && ((*value)[e - 1] == ' ' || (*value)[e - 1] == '\t')) --e;
        std::string item = value->substr(b, e - b);
        std::transform(item.begin(), item.end(), item.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (item == token) return true;
        start = comma + 1;
    }
    return false;
}

}  // namespace qv::server
