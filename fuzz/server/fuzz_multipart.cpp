// Feeds arbitrary bodies to the multipart and URL-encoded form parsers. The first byte chooses
// how long the boundary is, the bytes after it are the boundary, the rest is the body.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/FormParsing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t boundaryLength = std::min<std::size_t>(data[0] % 72, size - 1);
    const std::string boundary(reinterpret_cast<const char*>(data + 1), boundaryLength);
    qv::server::HttpRequest request;
    request.body.assign(data + 1 + boundaryLength, data + size);
    request.headers["content-type"] = "multipart/form-data; boundary=" + boundary;
    std::size_t total = 0;
    for (const qv::server::MultiPart& part : qv::server::parseMultiPartForm(request)) {
        total += part.body.size();
        (void)part.name();
        (void)part.fileName();
    }
    // Part bodies are pieces of the body: together never longer than it.
    if (total > request.body.size()) __builtin_trap();
    request.headers["content-type"] = "application/x-www-form-urlencoded";
    for (const auto& [name, value] : qv::server::parseUrlencodedForm(request))
        if (name.size() + value.size() > request.body.size()) __builtin_trap();
    return 0;
}
