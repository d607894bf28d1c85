// WebSocket sessions over a socket pair (frame by frame, exact bytes both ways), the upgrade
// handshake over a real connection, and a real client (Python's websockets) against an echo.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ServerTestSupport.h"
#include "server/WebSocket.h"

namespace qv::server {
namespace {

using Bytes = std::string;
using OpCode = WebSocketSession::OpCode;

// A client frame, masked with a fixed key; lengthForm 0 picks the shortest length header,
// 16 or 64 forces that form.
Bytes clientFrame(std::uint8_t opcode, bool fin, const Bytes& payload, int lengthForm = 0, bool masked = true,
                  std::uint8_t reserved = 0) {
    Bytes out;
    out += static_cast<char>((fin ? 0x80 : 0) | reserved | opcode);
    const std::uint64_t n = payload.size();
    const std::uint8_t maskBit = masked ? 0x80 : 0;
    if (lengthForm == 0 && n < 126) {
        out += static_cast<char>(maskBit | n);
    } else if (lengthForm == 16 || (lengthForm == 0 && n < 65536)) {
        out += static_cast<char>(maskBit | 126);
        out += static_cast<char>(n >> 8);
        out += static_cast<char>(n & 0xFF);
    } else {
        out += static_cast<char>(maskBit | 127);
        for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>((n >> shift) & 0xFF);
    }
    const char mask[4] = {'\x37', '\xfa', '\x21', '\x3d'};
    if (masked) out.append(mask, 4);
    for (std::size_t i = 0; i < payload.size(); ++i) out += masked ? static_cast<char>(payload[i] ^ mask[i % 4]) : payload[i];
    return out;
}

// A frame header that claims a length, without any payload behind it.
Bytes claimedLengthHeader(std::uint8_t opcode, std::uint64_t length) {
    Bytes out;
    out += static_cast<char>(0x80 | opcode);
    out += static_cast<char>(0x80 | 127);
    for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>((length >> shift) & 0xFF);
    return out;
}

Bytes serverFrame(OpCode opcode, const Bytes& payload, bool fin = true) {
    std::vector<std::uint8_t> bytes = encodeWebSocketFrame(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()), opcode, fin);
    return Bytes(bytes.begin(), bytes.end());
}

const Bytes closeFrame = serverFrame(OpCode::close, "");
const Bytes closeTooBig = serverFrame(OpCode::close, Bytes("\x03\xf1", 2));
const Bytes clientClose = clientFrame(0x8, true, "");

// What the callbacks saw, in order.
struct Record {
    std::mutex mutex;
    std::vector<std::string> events;
    void add(std::string e) {
        std::lock_guard lock(mutex);
        events.push_back(std::move(e));
    }
};

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

HttpHandler echoHandler(Record& record, bool withText = true) {
    WebSocketTextCallback text = [&record](WebSocketSession& s, const std::string& t) {
        record.add("text:" + t);
        s.writeTextFrame(t);
    };
    return webSocketHandler(withText ? text : nullptr,
                            [&record](WebSocketSession& s, const std::vector<std::uint8_t>& b) {
                                record.add("binary:" + std::to_string(b.size()));
                                s.writeBinaryFrame(b);
                            },
                            [&record](WebSocketSession&, const std::vector<std::uint8_t>& b) { record.add("pong:" + hexOf(b)); },
                            [&record](WebSocketSession&) { record.add("connected"); },
                            [&record](WebSocketSession&) { record.add("disconnected"); });
}

HttpRequest upgradeRequest() {
    HttpRequest request;
    request.method = "GET";
    request.headers = {{"upgrade", "websocket"}, {"connection", "keep-alive, Upgrade"},
                       {"sec-websocket-key", "dGhlIHNhbXBsZSBub25jZQ=="}};
    return request;
}

struct SessionRun {
    std::string written;  // everything the server wrote
    std::string printed;
};

// Runs the session of an upgrade on one end of a socket pair, sends the client bytes from the
// other end and reads until the server closes.
SessionRun runSession(const HttpHandler& handler, const Bytes& clientBytes) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) throw std::runtime_error("socketpair");
    HttpResponse response = handler(upgradeRequest());
    EXPECT_EQ(response.statusCode(), 101);
    testing::internal::CaptureStdout();
    std::thread server([&] {
        Socket socket(fds[0]);
        response.session()(socket);
    });
    timeval tv{10, 0};
    ::setsockopt(fds[1], SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::thread writer([&] {
        std::size_t sent = 0;
        while (sent < clientBytes.size()) {
            ssize_t n = ::send(fds[1], clientBytes.data() + sent, clientBytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;  // the server ended the session first
            sent += static_cast<std::size_t>(n);
        }
        ::shutdown(fds[1], SHUT_WR);  // a session still reading then sees the peer go
    });
    SessionRun run;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::recv(fds[1], buffer, sizeof buffer, 0);
        if (n <= 0) break;
        run.written.append(buffer, static_cast<std::size_t>(n));
    }
    ::shutdown(fds[1], SHUT_RDWR);
    writer.join();
    server.join();
    ::close(fds[1]);
    run.printed = testing::internal::GetCapturedStdout();
    return run;
}

TEST(WebSocketSession, FrameTable) {
    const Bytes text125(125, 't'), text126(126, 'u'), bin65536(65536, '\x5a'), ping125(125, 'p');
    struct Case {
        const char* what;
        Bytes client;
        Bytes server;
        std::vector<std::string> events;  // between connected and disconnected
        std::string printed;              // start of the printed line, or empty for none
        bool withText = true;
    };
    const std::vector<Case> cases = {
        {"short text, then the client closes", clientFrame(0x1, true, "hello") + clientClose,
         serverFrame(OpCode::text, "hello") + closeFrame, {"text:hello"}, ""},
        {"125 bytes: one length byte both ways", clientFrame(0x1, true, text125) + clientClose,
         Bytes("\x81\x7d", 2) + text125 + closeFrame, {"text:" + text125}, ""},
        {"126 bytes: 16-bit lengths", clientFrame(0x1, true, text126) + clientClose,
         Bytes("\x81\x7e\x00\x7e", 4) + text126 + closeFrame, {"text:" + text126}, ""},
        {"65536 bytes: 64-bit lengths", clientFrame(0x2, true, bin65536) + clientClose,
         Bytes("\x82\x7f\x00\x00\x00\x00\x00\x01\x00\x00", 10) + bin65536 + closeFrame, {"binary:65536"}, ""},
        {"a long length form for a short payload", clientFrame(0x1, true, "abc", 64) + clientFrame(0x1, true, "de", 16) + clientClose,
         serverFrame(OpCode::text, "abc") + serverFrame(OpCode::text, "de") + closeFrame, {"text:abc", "text:de"}, ""},
        {"text in three fragments arrives once",
         clientFrame(0x1, false, "Hel") + clientFrame(0x0, false, "lo") + clientFrame(0x0, true, " there") + clientClose,
         serverFrame(OpCode::text, "Hello there") + closeFrame, {"text:Hello there"}, ""},
        {"ping between fragments is answered at once",
         clientFrame(0x2, false, "ab") + clientFrame(0x9, true, "?") + clientFrame(0x0, true, "cd") + clientClose,
         serverFrame(OpCode::pong, "?") + serverFrame(OpCode::binary, "abcd") + closeFrame, {"binary:4"}, ""},
        {"ping of 125 bytes gets its pong", clientFrame(0x9, true, ping125) + clientClose,
         serverFrame(OpCode::pong, ping125) + closeFrame, {}, ""},
        {"ping of 126 bytes ends the session", clientFrame(0x9, true, Bytes(126, 'p')) + clientFrame(0x1, true, "late"),
         closeFrame, {}, "Protocol error: Payload gretter than 125 octets."},
        {"pong goes to its callback", clientFrame(0xA, true, "\x01\x02") + clientClose, closeFrame, {"pong:0102"}, ""},
        {"text with a NUL byte is not cut", clientFrame(0x1, true, Bytes("a\0b", 3)) + clientClose,
         serverFrame(OpCode::text, Bytes("a\0b", 3)) + closeFrame, {"text:" + Bytes("a\0b", 3)}, ""},
        {"unmasked frame", clientFrame(0x1, true, "x", 0, false), closeFrame, {}, "Unmasked frame: "},
        {"reserved bit", clientFrame(0x1, true, "x", 0, true, 0x40), closeFrame, {},
         "Protocol error: Reserved frame bit has not been negociated."},
        {"unknown opcode", clientFrame(0x3, true, "x"), closeFrame, {}, "Unknown Op Code: 3"},
        {"fragmented control frame", clientFrame(0x9, false, "x"), closeFrame, {},
         "Protocol error: Control frames must not be fragmented."},
        {"new message while one is open", clientFrame(0x1, false, "a") + clientFrame(0x1, true, "b"), closeFrame, {},
         "Protocol error: Continuing fragmented frame cannot have an operation code."},
        {"continuation without a message", clientFrame(0x0, true, "a"), closeFrame, {}, "Protocol error: "},
        {"text that is not UTF-8", clientFrame(0x1, true, "\xc3\x28"), closeFrame, {}, "Invalid UTF8 character: "},
        {"without a text callback the first fragment is dropped and its continuation ends the session",
         clientFrame(0x1, false, "a") + clientFrame(0x0, true, "b"), closeFrame, {}, "Protocol error: ", false},
        {"a frame above 16 MiB ends with status 1009, its payload never read",
         claimedLengthHeader(0x2, WebSocketSession::maxMessageSize + 1), closeTooBig, {}, "Message too big: "},
        {"a length of 2^63 or more", claimedLengthHeader(0x1, 0xFFFFFFFFFFFFFFFFull), closeTooBig, {}, "Message too big: "},
        {"fragments adding up to more than 16 MiB",
         clientFrame(0x2, false, Bytes(WebSocketSession::maxMessageSize / 2, 'a')) +
             clientFrame(0x0, false, Bytes(WebSocketSession::maxMessageSize / 2, 'b')) + clientFrame(0x0, true, "c"),
         closeTooBig, {}, "Message too big: "},
        {"exactly 16 MiB in one frame is accepted",
         clientFrame(0x2, true, Bytes(WebSocketSession::maxMessageSize, 'm')) + clientClose,
         serverFrame(OpCode::binary, Bytes(WebSocketSession::maxMessageSize, 'm')) + closeFrame,
         {"binary:" + std::to_string(WebSocketSession::maxMessageSize)}, ""},
        {"the peer goes away", clientFrame(0x1, true, "bye"), serverFrame(OpCode::text, "bye") + closeFrame, {"text:bye"},
         "Unkown error "},
    };
    for (const Case& c : cases) {
        Record record;
        SessionRun run = runSession(echoHandler(record, c.withText), c.client);
        // Whole frames compared by size first, so that a 16 MiB mismatch does not flood the log.
        ASSERT_EQ(run.written.size(), c.server.size()) << c.what;
        EXPECT_TRUE(run.written == c.server) << c.what;
        std::vector<std::string> expected{"connected"};
        expected.insert(expected.end(), c.events.begin(), c.events.end());
        expected.push_back("disconnected");
        EXPECT_TRUE(record.events == expected) << c.what;
        if (c.printed.empty())
            EXPECT_EQ(run.printed, "") << c.what;
        else
            EXPECT_EQ(run.printed.rfind(c.printed, 0), 0u) << c.what << ": " << run.printed;
    }
}

TEST(WebSocketSession, FramesWrittenFromTheServerSide) {
    // The three length forms of server frames, and fin cleared for a fragment.
    struct Case {
        std::size_t size;
        std::size_t headerBytes;
    };
    for (const Case& c : std::vector<Case>{{0, 2}, {125, 2}, {126, 4}, {65535, 4}, {65536, 10}}) {
        Bytes frame = serverFrame(OpCode::binary, Bytes(c.size, 'x'));
        EXPECT_EQ(frame.size(), c.size + c.headerBytes) << c.size;
        EXPECT_EQ(static_cast<std::uint8_t>(frame[0]), 0x82);
        EXPECT_EQ(static_cast<std::uint8_t>(frame[1]) & 0x80, 0) << "server frames are not masked";
    }
    EXPECT_EQ(serverFrame(OpCode::text, "a", false), Bytes("\x01\x01" "a", 3));
}

TEST(WebSocketHandshake, UpgradeAnswersAndRefusals) {
    Record record;
    test::RunningServer running;
    running.server->router.addRoute(std::nullopt, "/ws", echoHandler(record));
    running.start();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(running.port) + "\r\n";
    auto request = [&](const std::string& headers) {
        return test::roundTrip(running.port, "GET /ws HTTP/1.1\r\n" + host + headers + "\r\n");
    };
    struct Case {
        const char* what;
        std::string headers;
        std::string status;
        std::string body;
    };
    const std::vector<Case> refusals = {
        {"no upgrade header", "Connection: Upgrade\r\nSec-WebSocket-Key: k\r\n", "HTTP/1.1 400 Bad Request",
         "Invalid value of 'Upgrade' header: unknown"},
        {"another protocol", "Upgrade: h2c\r\nConnection: Upgrade\r\nSec-WebSocket-Key: k\r\n",
         "HTTP/1.1 400 Bad Request", "Invalid value of 'Upgrade' header: h2c"},
        {"connection without upgrade", "Upgrade: websocket\r\nConnection: close\r\nSec-WebSocket-Key: k\r\n",
         "HTTP/1.1 400 Bad Request", "Invalid value of 'Connection' header: close"},
        {"no key", "Upgrade: websocket\r\nConnection: Upgrade\r\n", "HTTP/1.1 400 Bad Request",
         "Invalid value of 'Sec-Websocket-Key' header: unknown"},
    };
    for (const Case& c : refusals) {
        std::string answer = request(c.headers);
        EXPECT_EQ(test::statusLine(answer), c.status) << c.what;
        EXPECT_EQ(test::bodyOf(answer), c.body) << c.what;
    }

    test::Client client(running.port);
    client.send("GET /ws HTTP/1.1\r\n" + host +
                "Upgrade: WebSocket\r\nConnection: keep-alive, Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n");
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
        std::string byte = client.readExactly(1);
        ASSERT_EQ(byte.size(), 1u) << head;
        head += byte;
    }
    EXPECT_EQ(test::statusLine(head), "HTTP/1.1 101 Switching Protocols");
    EXPECT_NE(head.find("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Upgrade: WebSocket\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Connection: Upgrade\r\n"), std::string::npos) << head;
    client.send(clientFrame(0x1, true, "over tcp"));
    EXPECT_EQ(client.readExactly(10), serverFrame(OpCode::text, "over tcp"));
    client.send(clientClose);
    EXPECT_EQ(client.readAll(), closeFrame);
}

// Debian's websockets package talks to an echo on a live server: text, binary, a fragmented
// message, a ping, and a message above the limit.
TEST(WebSocketClient, PythonWebsocketsRoundTrips) {
    if (std::system("/usr/bin/python3 -c 'import websockets' 2>/dev/null") != 0)
        GTEST_FAIL() << "python3-websockets is missing (scripts/deps installs it)";
    Record record;
    test::RunningServer running;
    running.server->router.addRoute(std::nullopt, "/echo", echoHandler(record));
    running.start();
    const std::string command = "/usr/bin/python3 " QV_TEST_SOURCE_DIR "/websocket_client.py " +
                                std::to_string(running.port) + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = ::pclose(pipe);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("all round trips passed"), std::string::npos) << output;
    std::lock_guard lock(record.mutex);
    EXPECT_NE(std::find(record.events.begin(), record.events.end(), "text:fragmented message"), record.events.end());
}

}  // namespace
}  // namespace qv::server
