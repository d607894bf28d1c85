// Feeds arbitrary bytes to the request parser as one connection's stream, reading requests until
// the input ends or the parser refuses it, in chunks of a size the input chooses.
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/HttpParser.h"
#include "server/HttpRouter.h"
#include "server/MemorySource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t step = 1 + data[0] % 64;
    qv::server::MemorySource source(std::string(reinterpret_cast<const char*>(data + 1), size - 1), step);
    qv::server::BufferedReader reader(source);
    qv::server::HttpParser parser;
    for (int i = 0; i < 64; ++i) {
        try {
            qv::server::HttpRequest request = parser.readRequest(reader);
            if (request.body.size() > qv::server::HttpParser::maxBodyLength) __builtin_trap();
            for (const auto& [name, value] : request.headers)
                if (name.size() > qv::server::HttpParser::maxLineLength * 2) __builtin_trap();
            (void)qv::server::percentDecoded(request.path);
            (void)request.hasToken("keep-alive", "connection");
        } catch (const qv::server::HttpParserError&) {
            return 0;
        } catch (const qv::server::SocketError&) {
            return 0;
        }
    }
    return 0;
}
