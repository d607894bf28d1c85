#pragma once
// A live demonstration server on a free loopback port, raw HTTP exchanges with it, and the golden
// pages.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "../ServerTestSupport.h"
#include "server/demo/DemoServer.h"

namespace qv::serverdemo::test {

using qv::server::test::Client;

inline const std::string publicFolder = QV_RESOURCES_SOURCE_DIR "/demo-public";

struct LiveDemo {
    std::shared_ptr<server::HttpServer> server;
    std::uint16_t port = 0;
    LiveDemo() {
        testing::internal::CaptureStdout();
        server = buildDemoServer(publicFolder);
        printed = testing::internal::GetCapturedStdout();
        server->start(0, true);
        port = server->localPort();
    }
    ~LiveDemo() { server->stop(); }
    std::string host() const { return "127.0.0.1:" + std::to_string(port); }
    std::string printed;  // what the builder wrote
};

struct Answer {
    std::string statusLine;
    std::map<std::string, std::string> headers;  // as sent, without the engine's "Connection"
    std::string body;
};

inline Answer parseAnswer(const std::string& raw) {
    Answer answer;
    std::size_t end = raw.find("\r\n\r\n");
    std::string head = raw.substr(0, end);
    answer.body = end == std::string::npos ? std::string() : raw.substr(end + 4);
    std::istringstream lines(head);
    std::string line;
    std::getline(lines, answer.statusLine);
    if (!answer.statusLine.empty() && answer.statusLine.back() == '\r') answer.statusLine.pop_back();
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t colon = line.find(": ");
        if (colon == std::string::npos) continue;
        const std::string name = line.substr(0, colon);
        if (name == "Connection") continue;  // the engine's business, not the route's
        answer.headers[name] = line.substr(colon + 2);
    }
    return answer;
}

inline std::string goldenPath(const std::string& name) { return std::string(QV_TEST_SOURCE_DIR) + "/golden/" + name; }

// The golden page; with QV_WRITE_GOLDEN set, the page is written there instead.
inline std::string golden(const std::string& name, const std::string& actual = {}) {
    if (std::getenv("QV_WRITE_GOLDEN") && !actual.empty()) std::ofstream(goldenPath(name), std::ios::binary) << actual;
    std::ifstream in(goldenPath(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace qv::serverdemo::test
