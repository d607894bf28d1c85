#include "server/WebSocket.h"

#include <sys/socket.h>

#include <chrono>
#include <exception>
#include <optional>

#include "server/HttpRequest.h"
#include "server/Sha1.h"
#include "server/Socket.h"
#include "server/Utf8.h"
#include "util/Print.h"

namespace qv::server {

namespace {

using OpCode = WebSocketSession::OpCode;
using WsError = WebSocketSession::WsError;

constexpr std::string_view handshakeGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
// How long a session waits for a client that has stopped reading our frames.
constexpr std::chrono::milliseconds sessionWriteTimeout{10000};

WsError protocolError(std::string text) { return WsError(WsError::Case::protocolError, std::move(text)); }

WsError tooBig(std::size_t size) {
    return WsError(WsError::Case::messageTooBig, std::to_string(size) + " bytes is more than " +
                                                     std::to_string(WebSocketSession::maxMessageSize) + ".");
}

struct Callbacks {
    WebSocketTextCallback text;
    WebSocketBytesCallback binary;
    WebSocketBytesCallback pong;
    WebSocketSessionCallback connected;
    WebSocketSessionCallback disconnected;
};

// The state of one session's read loop: the opcode of the message being joined (close: none)
// and its fragments so far.
class MessageJoiner {
public:
    MessageJoiner(WebSocketSession& session, const Callbacks& callbacks) : session_(session), callbacks_(callbacks) {}

    void handle(WebSocketSession::Frame& frame) {
        switch (frame.opcode) {
        case OpCode::continue_:
            if (open_ == OpCode::close) throw protocolError("Continuation frame without a message to continue.");
            append(frame.payload);
            if (frame.fin) {
                std::vector<std::uint8_t> message = std::move(buffer_);
                buffer_.clear();
                const OpCode opcode = open_;
                open_ = OpCode::close;
                deliver(opcode, message);
            }
            return;
        case OpCode::text:
        case OpCode::binary:
            if (frame.opcode == OpCode::text ? !callbacks_.text : !callbacks_.binary) return;  // dropped
            if (open_ != OpCode::close)
                throw protocolError("Continuing fragmented frame cannot have an operation code.");
            if (frame.fin) {
                deliver(frame.opcode, frame.payload);
            } else {
                append(frame.payload);
                open_ = frame.opcode;
            }
            return;
        case OpCode::close:
            throw WebSocketSession::Control::Close{};
        case OpCode::ping:
            if (frame.payload.size() > 125) throw protocolError("Payload gretter than 125 octets.");
            session_.writeFrame(frame.payload, OpCode::pong, true);
            return;
        case OpCode::pong:
            if (callbacks_.pong) callbacks_.pong(session_, frame.payload);
            return;
        }
    }

private:
    void append(const std::vector<std::uint8_t>& payload) {
        if (buffer_.size() + payload.size() > WebSocketSession::maxMessageSize)
            throw tooBig(buffer_.size() + payload.size());
        buffer_.insert(buffer_.end(), payload.begin(), payload.end());
    }

    void deliver(OpCode opcode, const std::vector<std::uint8_t>& message) {
        if (opcode == OpCode::text) {
            if (!isValidUtf8(message)) throw WsError(WsError::Case::invalidUTF8, "");
            callbacks_.text(session_, std::string(message.begin(), message.end()));
        } else {
            callbacks_.binary(session_, message);
        }
    }

    WebSocketSession& session_;
    const Callbacks& callbacks_;
    OpCode open_ = OpCode::close;
    std::vector<std::uint8_t> buffer_;
};

// The client is most likely still sending the message we refused. Closing now, with its bytes
// unread, would reset the connection and could destroy our close frame before the client reads
// it; so the sending side is shut and what arrives is read and dropped until the client closes
// or a short while has passed.
void lingerAfterClose(Socket& socket) {
    ::shutdown(socket.socketFileDescriptor(), SHUT_WR);
    socket.setTimeouts(std::chrono::milliseconds(500), sessionWriteTimeout);
    socket.setReadDeadline(std::chrono::steady_clock::now() + std::chrono::seconds(2));
    try {
        for (;;) (void)socket.readByte();
    } catch (const std::exception&) {
    }
    socket.setReadDeadline(std::nullopt);
}

void runSession(Socket& socket, const Callbacks& callbacks) {
    // A session may stay quiet for as long as the client likes; the server's stop still ends it.
    socket.setTimeouts(std::chrono::milliseconds(0), sessionWriteTimeout);
    WebSocketSession session(socket);
    if (callbacks.connected) callbacks.connected(session);
    MessageJoiner joiner(session, callbacks);
    try {
        for (;;) {
            WebSocketSession::Frame frame = session.readNextFrame();
            joiner.handle(frame);
        }
    } catch (const WebSocketSession::Control::Close&) {
    } catch (const WsError& error) {
        util::writeLine(std::string(error.prefix()) + error.what());
        if (error.errorCase() == WsError::Case::messageTooBig) {
            session.writeClose(WebSocketSession::statusMessageTooBig);
            lingerAfterClose(socket);
        }
    } catch (const std::exception& error) {
        util::writeLine(std::string("Unkown error ") + error.what());
    }
    session.writeClose();
    if (callbacks.disconnected) callbacks.disconnected(session);
    session.end();
}

std::string headerOrUnknown(const HttpRequest& request, const std::string& name) {
    const std::string* value = request.header(name);
    return value ? *value : "unknown";
}

}  // namespace

const char* WebSocketSession::WsError::prefix() const {
    switch (case_) {
    case Case::unknownOpCode: return "Unknown Op Code: ";
    case Case::unMaskedFrame: return "Unmasked frame: ";
    case Case::protocolError: return "Protocol error: ";
    case Case::invalidUTF8: return "Invalid UTF8 character: ";
    case Case::messageTooBig: return "Message too big: ";
    }
    return "";
}

WebSocketSession::WebSocketSession(Socket& socket) : socket_(&socket), descriptor_(socket.socketFileDescriptor()) {}

WebSocketSession::~WebSocketSession() { writeClose(); }

void WebSocketSession::end() {
    std::lock_guard lock(writeMutex_);
    socket_ = nullptr;
}

void WebSocketSession::writeFrame(std::span<const std::uint8_t> payload, OpCode opcode, bool fin) {
    std::vector<std::uint8_t> frame = encodeWebSocketFrame(payload, opcode, fin);
    std::lock_guard lock(writeMutex_);
    if (!socket_) return;
    try {
        socket_->write(frame);
    } catch (const std::exception& error) {
        util::writeLine(error.what());
    }
}

void WebSocketSession::writeTextFrame(std::string_view text) {
    writeFrame(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
               OpCode::text, true);
}

void WebSocketSession::writeBinaryFrame(std::span<const std::uint8_t> bytes) { writeFrame(bytes, OpCode::binary, true); }

void WebSocketSession::writeClose() { sendCloseOnce({}); }

void WebSocketSession::writeClose(std::uint16_t status) {
    const std::uint8_t payload[2] = {static_cast<std::uint8_t>(status >> 8), static_cast<std::uint8_t>(status & 0xFF)};
    sendCloseOnce(payload);
}

void WebSocketSession::sendCloseOnce(std::span<const std::uint8_t> payload) {
    {
        std::lock_guard lock(writeMutex_);
        if (closeSent_ || !socket_) return;
        closeSent_ = true;
    }
    writeFrame(payload, OpCode::close, true);
}

WebSocketSession::Frame WebSocketSession::readNextFrame() { return readWebSocketFrame(socket_->reader()); }

WebSocketSession::Frame readWebSocketFrame(BufferedReader& reader, std::size_t maxPayload) {
    WebSocketSession::Frame frame;
    const std::uint8_t first = reader.readByte();
    frame.fin = (first & 0x80) != 0;
    frame.rsv1 = first & 0x40;
    frame.rsv2 = first & 0x20;
    frame.rsv3 = first & 0x10;
    if (frame.rsv1 || frame.rsv2 || frame.rsv3) throw protocolError("Reserved frame bit has not been negociated.");
    const std::uint8_t code = first & 0x0F;
    switch (code) {
    case 0x0: frame.opcode = OpCode::continue_; break;
    case 0x1: frame.opcode = OpCode::text; break;
    case 0x2: frame.opcode = OpCode::binary; break;
    case 0x8: frame.opcode = OpCode::close; break;
    case 0x9: frame.opcode = OpCode::ping; break;
    case 0xA: frame.opcode = OpCode::pong; break;
    default: throw WsError(WsError::Case::unknownOpCode, std::to_string(code));
    }
    const bool control = frame.opcode == OpCode::close || frame.opcode == OpCode::ping || frame.opcode == OpCode::pong;
    if (control && !frame.fin) throw protocolError("Control frames must not be fragmented.");
    const std::uint8_t second = reader.readByte();
    if (!(second & 0x80))
        throw WsError(WsError::Case::unMaskedFrame, "A client must mask all frames that it sends to the server.");
    std::uint64_t length = second & 0x7F;
    const int extra = length == 126 ? 2 : length == 127 ? 8 : 0;
    if (extra) {
        length = 0;
        for (int i = 0; i < extra; ++i) length = (length << 8) | reader.readByte();
    }
    if (length > maxPayload) throw tooBig(length > SIZE_MAX ? SIZE_MAX : static_cast<std::size_t>(length));
    std::uint8_t mask[4];
    for (std::uint8_t& m : mask) m = reader.readByte();
    // In pieces, so that memory grows only as bytes arrive.
    constexpr std::size_t piece = 64 * 1024;
    while (frame.payload.size() < length) {
        const std::size_t n = std::min<std::size_t>(piece, static_cast<std::size_t>(length) - frame.payload.size());
        std::vector<std::uint8_t> bytes = reader.readBytes(n);
        frame.payload.insert(frame.payload.end(), bytes.begin(), bytes.end());
    }
    for (std::size_t i = 0; i < frame.payload.size(); ++i) frame.payload[i] ^= mask[i % 4];
    return frame;
}

std::vector<std::uint8_t> encodeWebSocketFrame(std::span<const std::uint8_t> payload, OpCode opcode, bool fin) {
    std::vector<std::uint8_t> out;
    out.reserve(payload.size() + 10);
    out.push_back(static_cast<std::uint8_t>((fin ? 0x80 : 0) | static_cast<std::uint8_t>(opcode)));
    const std::uint64_t length = payload.size();
    if (length < 126) {
        out.push_back(static_cast<std::uint8_t>(length));
    } else if (length < 65536) {
        out.push_back(126);
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(length));
    } else {
        out.push_back(127);
        for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(length >> shift));
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::string webSocketAcceptValue(const std::string& key) {
    return byteArrayBase64(sha1Digest(key + std::string(handshakeGuid)));
}

HttpHandler webSocketHandler(WebSocketTextCallback text, WebSocketBytesCallback binary, WebSocketBytesCallback pong,
                             WebSocketSessionCallback connected, WebSocketSessionCallback disconnected) {
    auto callbacks = std::make_shared<const Callbacks>(Callbacks{std::move(text), std::move(binary), std::move(pong),
                                                                 std::move(connected), std::move(disconnected)});
    return [callbacks](const HttpRequest& request) {
        if (!request.hasToken("websocket", "upgrade"))
            return HttpResponse::badRequest(HttpResponseBody::text("Invalid value of 'Upgrade' header: " +
                                                                   headerOrUnknown(request, "upgrade")));
        if (!request.hasToken("upgrade", "connection"))
            return HttpResponse::badRequest(HttpResponseBody::text("Invalid value of 'Connection' header: " +
                                                                   headerOrUnknown(request, "connection")));
        const std::string* key = request.header("sec-websocket-key");
        if (!key) return HttpResponse::badRequest(HttpResponseBody::text("Invalid value of 'Sec-Websocket-Key' header: unknown"));
        HeaderFields fields{{"Upgrade", "WebSocket"}, {"Connection", "Upgrade"}, {"Sec-WebSocket-Accept", webSocketAcceptValue(*key)}};
        return HttpResponse::switchProtocols(std::move(fields), [callbacks](Socket& socket) { runSession(socket, *callbacks); });
    };
}

}  // namespace qv::server
