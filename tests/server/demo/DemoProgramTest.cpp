// The qv-server-demo program: serves its public folder on loopback and stops cleanly on SIGTERM;
// a port that is not a number is refused.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "DemoTestSupport.h"

namespace qv::serverdemo::test {
namespace {

// A port that was free a moment ago.
std::uint16_t freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

pid_t launch(const std::vector<std::string>& arguments) {
    pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(QV_DEMO_EXECUTABLE)};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(QV_DEMO_EXECUTABLE, argv.data());
        ::_exit(127);
    }
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    for (int i = 0; i < 3000; ++i) {  // 30 s
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

TEST(DemoProgram, ServesItsFolderAndStopsOnTerminate) {
    const std::uint16_t port = freePort();
    pid_t pid = launch({std::to_string(port), publicFolder});
    ASSERT_GT(pid, 0);
    std::string answer;
    for (int i = 0; i < 300 && answer.empty(); ++i) {  // until it listens, at most 30 s
        try {
            answer = server::test::get(port, "/public/hello.txt");
        } catch (const std::exception&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    EXPECT_EQ(server::test::statusLine(answer), "HTTP/1.1 200 OK");
    EXPECT_EQ(server::test::bodyOf(answer), "Hello from the Quorvane server demo.\n");
    ::kill(pid, SIGTERM);
    EXPECT_EQ(waitFor(pid), 0);
}

TEST(DemoProgram, RefusesAPortThatIsNotANumber) {
    pid_t pid = launch({"80x"});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(waitFor(pid), 2);
}

}  // namespace
}  // namespace qv::serverdemo::test
