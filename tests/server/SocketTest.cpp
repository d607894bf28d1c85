#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "ServerTestSupport.h"
#include "server/FileStream.h"
#include "server/Socket.h"

namespace qv::server {
namespace {

// A connected pair: the first end as a Socket, the second as a bare descriptor.
struct Pair {
    Pair() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) throw std::runtime_error("socketpair");
        socket = std::make_unique<Socket>(fds[0]);
        peer = fds[1];
    }
    ~Pair() {
        if (peer >= 0) ::close(peer);
    }
    std::string drain() {
        ::shutdown(socket->socketFileDescriptor(), SHUT_WR);
        std::string out;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(peer, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
        return out;
    }
    std::unique_ptr<Socket> socket;
    int peer = -1;
};

TEST(SocketTest, FileIsSentAsLongAsItWasWhenOpened) {
    test::TempDir temp;
    const std::string path = (temp.path() / "f").string();
    std::ofstream(path) << "0123456789";

    {  // grows after opening: exactly the announced ten bytes go out
        Pair pair;
        File file = File::openRegularFile(path);
        std::ofstream(path, std::ios::app) << "EXTRA";
        pair.socket->writeFile(file);
        EXPECT_EQ(pair.drain(), "0123456789");
    }
    {  // shrinks after opening: the send fails, so the connection ends instead of lying
        std::ofstream(path) << "0123456789";
        Pair pair;
        File file = File::openRegularFile(path);
        ::truncate(path.c_str(), 4);
        try {
            pair.socket->writeFile(file);
            FAIL() << "a short file must not pass as whole";
        } catch (const SocketError& error) {
            EXPECT_EQ(error.errorCase(), SocketError::Case::writeFailed);
            EXPECT_EQ(error.text().rfind("sendfile: ", 0), 0u);
        }
    }
}

TEST(SocketTest, WritesToAPeerThatLeftFailInsteadOfKillingTheProcess) {
    Pair pair;
    ::close(pair.peer);
    pair.peer = -1;
    EXPECT_THROW(pair.socket->writeUTF8(std::string(100000, 'x')), SocketError);
    pair.socket->writeBuffer("", 0);  // nothing to write: no call, no failure
}

TEST(SocketTest, CloseTwiceAndShutdownFromElsewhere) {
    Pair pair;
    pair.socket->shutdownConnection();
    EXPECT_THROW(pair.socket->readByte(), SocketError);
    pair.socket->close();
    EXPECT_TRUE(pair.socket->isShutdown());
    pair.socket->close();
}

TEST(SocketTest, ListeningErrorsCarryTheHostText) {
    Socket first = Socket::makeListening(0, true, 8, std::string("127.0.0.1"));
    try {
        Socket::makeListening(first.localPort(), true, 8, std::string("127.0.0.1"));
        FAIL();
    } catch (const SocketError& error) {
        EXPECT_EQ(error.errorCase(), SocketError::Case::bindFailed);
        EXPECT_EQ(error.text(), "Address already in use");
        EXPECT_STREQ(error.what(), "bindFailed(\"Address already in use\")");
    }
    EXPECT_THROW(Socket(-1).localPort(), SocketError);
}

}  // namespace
}  // namespace qv::server
