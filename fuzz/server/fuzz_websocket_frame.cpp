// Feeds arbitrary bytes to the WebSocket frame reader as one connection's stream, reading frames
// until the input ends or the reader refuses one, in chunks of a size the input chooses; every
// frame read is encoded again and must keep its payload.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "server/MemorySource.h"
#include "server/WebSocket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t step = 1 + data[0] % 64;
    // A small limit lets the fuzzer reach the refusal of oversized frames.
    const std::size_t limit = 1 + static_cast<std::size_t>(data[1]) * 64;
    qv::server::MemorySource source(std::string(reinterpret_cast<const char*>(data + 2), size - 2), step);
    qv::server::BufferedReader reader(source);
    for (int i = 0; i < 256; ++i) {
        try {
            qv::server::WebSocketSession::Frame frame = qv::server::readWebSocketFrame(reader, limit);
            if (frame.payload.size() > limit || frame.payload.size() > size) __builtin_trap();
            std::vector<std::uint8_t> encoded = qv::server::encodeWebSocketFrame(frame.payload, frame.opcode, frame.fin);
            if (encoded.size() < frame.payload.size() + 2 ||
                !std::equal(frame.payload.rbegin(), frame.payload.rend(), encoded.rbegin()))
                __builtin_trap();
        } catch (const qv::server::WebSocketSession::WsError&) {
            return 0;
        } catch (const qv::server::SocketError&) {
            return 0;
        }
    }
    return 0;
}
