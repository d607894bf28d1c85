// Feeds arbitrary bytes to the request parser as one connection's stream, reading requests until
// the input ends or the parser refuses it, in chunks of a size the input chooses.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/HttpParser.h"
#include "server/HttpRouter.h"
#include "server/MemorySource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t step = 1 + data[0] % 64;
    // The engine's way: find the end of the head as bytes arrive, then parse the head alone.
    {
        const char* bytes = reinterpret_cast<const char*>(data + 1);
        qv::server::HttpHeadScanner scanner;
        auto result = qv::server::HttpHeadScanner::Result::needMore;
        for (std::size_t end = std::min(step, size - 1);; end = std::min(end + step, size - 1)) {
            result = scanner.scan(bytes, end);
            if (result != qv::server::HttpHeadScanner::Result::needMore || end == size - 1) break;
        }
        if (result == qv::server::HttpHeadScanner::Result::complete) {
            if (scanner.headLength() > size - 1) __builtin_trap();
            qv::server::MemorySource head(std::string(bytes, scanner.headLength()));
            qv::server::BufferedReader headReader(head);
            std::size_t bodyLength = 0;
            try {
                (void)qv::server::HttpParser().readHead(headReader, bodyLength);
                if (bodyLength > qv::server::HttpParser::maxBodyLength) __builtin_trap();
            } catch (const qv::server::HttpParserError&) {
            }
        }
    }
    qv::server::MemorySource source(std::string(reinterpret_cast<const char*>(data + 1), size - 1), step);
    qv::server::BufferedReader reader(source);
    qv::server::HttpParser parser;
    for (int i = 0; i < 64; ++i) {
        try {
            qv::server::HttpRequest request = parser.readRequest(reader);
            if (request.body.size() > qv::server::HttpParser::maxBodyLength) __builtin_trap();
            // A body in a transfer coding is refused, never read as if it had none.
            if (request.header("transfer-encoding")) __builtin_trap();
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
