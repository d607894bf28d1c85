#pragma once
// WebSocket endpoints (RFC 6455) for route handlers: the upgrade handshake, and a session that
// reads client frames, joins fragmented messages, answers pings and hands texts, binary messages
// and pongs to callbacks, on the connection's worker thread.
//
//   server->router.addRoute(std::nullopt, "/echo", webSocketHandler(
//       [](WebSocketSession& s, const std::string& text) { s.writeTextFrame(text); }));
//
// Frames and messages are limited to maxMessageSize bytes; a client that sends more is answered
// with a close frame carrying status 1009 (message too big). A session sends one close frame at
// most. Texts are handed over whole, NUL bytes included.
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "server/HttpResponse.h"

namespace qv::server {

class BufferedReader;
class Socket;

class WebSocketSession {
public:
    static constexpr std::size_t maxMessageSize = 16 * 1024 * 1024;
    static constexpr std::uint16_t statusMessageTooBig = 1009;

    enum class OpCode : std::uint8_t { continue_ = 0x0, close = 0x8, ping = 0x9, pong = 0xA, text = 0x1, binary = 0x2 };

    struct Frame {
        OpCode opcode = OpCode::close;
        bool fin = false;
        // The reserved bits of the first byte as they stand there (0x40, 0x20, 0x10 or 0).
        std::uint8_t rsv1 = 0, rsv2 = 0, rsv3 = 0;
        std::vector<std::uint8_t> payload;
    };

    // What ends a session because the client broke the protocol.
    class WsError : public std::runtime_error {
    public:
        enum class Case { unknownOpCode, unMaskedFrame, protocolError, invalidUTF8, messageTooBig };
        WsError(Case c, std::string text) : std::runtime_error(text), case_(c) {}
        Case errorCase() const { return case_; }
        // The words that open the printed line, e.g. "Protocol error: ".
        const char* prefix() const;

    private:
        Case case_;
    };

    // The client sent a close frame.
    struct Control {
        struct Close {};
    };

    explicit WebSocketSession(Socket& socket);
    // Sends the close frame unless one has gone out already.
    ~WebSocketSession();
    WebSocketSession(const WebSocketSession&) = delete;
    WebSocketSession& operator=(const WebSocketSession&) = delete;

    // One unmasked frame. A failed send is printed, not reported; writes after the session ended
    // do nothing. Safe to call from several threads.
    void writeFrame(std::span<const std::uint8_t> payload, OpCode opcode, bool fin);
    void writeTextFrame(std::string_view text);
    void writeBinaryFrame(std::span<const std::uint8_t> bytes);
    // An empty close frame; only the first close of a session is sent.
    void writeClose();
    // A close frame carrying a status code; only the first close of a session is sent.
    void writeClose(std::uint16_t status);

    // Reads one client frame; throws WsError, or the socket's failure.
    Frame readNextFrame();

    int socketFileDescriptor() const { return descriptor_; }
    bool operator==(const WebSocketSession& other) const { return descriptor_ == other.descriptor_; }

    // After this no frame is written any more (the connection is about to be closed).
    void end();

private:
    void sendCloseOnce(std::span<const std::uint8_t> payload);

    Socket* socket_;
    int descriptor_;
    std::mutex writeMutex_;
    bool closeSent_ = false;
};

// Reads one client frame from a stream: header, mask and payload. Frames must be masked, carry no
// reserved bits, use a known opcode, keep control frames unfragmented and stay within maxPayload
// bytes; anything else throws WsError without reading further.
WebSocketSession::Frame readWebSocketFrame(BufferedReader& reader,
                                           std::size_t maxPayload = WebSocketSession::maxMessageSize);
// The bytes of one unmasked server frame.
std::vector<std::uint8_t> encodeWebSocketFrame(std::span<const std::uint8_t> payload, WebSocketSession::OpCode opcode,
                                               bool fin);

// The "Sec-WebSocket-Accept" value for a client's key.
std::string webSocketAcceptValue(const std::string& key);

using WebSocketTextCallback = std::function<void(WebSocketSession&, const std::string&)>;
using WebSocketBytesCallback = std::function<void(WebSocketSession&, const std::vector<std::uint8_t>&)>;
using WebSocketSessionCallback = std::function<void(WebSocketSession&)>;

// A route handler that upgrades a request to a WebSocket session. Without a callback for texts
// (or binary messages) those messages are dropped. A missing or wrong "upgrade", "connection" or
// "sec-websocket-key" header is answered 400 with a text naming it.
HttpHandler webSocketHandler(WebSocketTextCallback text = nullptr, WebSocketBytesCallback binary = nullptr,
                             WebSocketBytesCallback pong = nullptr, WebSocketSessionCallback connected = nullptr,
                             WebSocketSessionCallback disconnected = nullptr);

}  // namespace qv::server
