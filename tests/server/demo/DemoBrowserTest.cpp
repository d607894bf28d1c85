// The sign-in, route-list and picture pages in a real browser (Debian's chromium, headless):
// the document it parsed and a screenshot of each in the test's output folder. Every host but
// loopback resolves to nothing, so addresses of public hosts in the pages fail at once and the
// result never depends on a network this machine may not have.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "DemoTestSupport.h"

namespace qv::serverdemo::test {
namespace {

namespace fs = std::filesystem;

struct BrowserPage {
    const char* name;
    const char* path;
    std::vector<std::string> parsed;  // pieces of the document as the browser serialises it
    std::size_t listItems = 0;
};

std::string runCommand(const std::string& command, int& status) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    if (!pipe) {
        status = -1;
        return output;
    }
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    status = ::pclose(pipe);
    return output;
}

std::uint32_t bigEndian(const std::string& bytes, std::size_t at) {
    return std::uint32_t(static_cast<unsigned char>(bytes[at])) << 24 | std::uint32_t(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           std::uint32_t(static_cast<unsigned char>(bytes[at + 2])) << 8 | static_cast<unsigned char>(bytes[at + 3]);
}

class DemoInBrowser : public testing::TestWithParam<BrowserPage> {};

TEST_P(DemoInBrowser, ParsedAndPhotographed) {
    const BrowserPage& page = GetParam();
    int status = 0;
    runCommand("command -v chromium >/dev/null", status);
    ASSERT_EQ(status, 0) << "chromium is missing (scripts/deps installs it)";
    LiveDemo demo;
    fs::create_directories(QV_TEST_OUTPUT_DIR);
    const fs::path shot = fs::path(QV_TEST_OUTPUT_DIR) / (std::string(page.name) + ".png");
    fs::remove(shot);
    server::test::TempDir profile;
    const std::string command =
        "timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking "
        "--disable-component-update --disable-sync --user-data-dir=" + profile.path().string() +
        " '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1' --window-size=900,700 --screenshot=" +
        shot.string() + " --dump-dom http://" + demo.host() + page.path + " 2>/dev/null";
    const std::string dom = runCommand(command, status);
    EXPECT_EQ(status, 0) << dom;
    for (const std::string& piece : page.parsed) EXPECT_NE(dom.find(piece), std::string::npos) << piece << "\n" << dom;
    std::size_t items = 0;
    for (std::size_t at = dom.find("<li>"); at != std::string::npos; at = dom.find("<li>", at + 1)) ++items;
    EXPECT_EQ(items, page.listItems) << dom;

    std::ifstream in(shot, std::ios::binary);
    const std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(png.size(), 24u) << "no screenshot at " << shot;
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(bigEndian(png, 16), 900u);
    EXPECT_EQ(bigEndian(png, 20), 700u);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, DemoInBrowser,
    testing::Values(
        BrowserPage{"sign-in", "/login",
                    {"<h3>Sign In</h3>", "<form action=\"/login\" method=\"POST\"><fieldset>",
                     "<input type=\"email\" name=\"email\" placeholder=\"E-mail\">",
                     "<input type=\"password\" name=\"password\" placeholder=\"Password\">",
                     "<a href=\"/login\"><button type=\"submit\">Login</button></a>"}},
        BrowserPage{"route-list", "/",
                    {"<ul><li><a href=\"\"></a></li>", "<li><a href=\"/wildcard/*/test/*/:param\">/wildcard/*/test/*/:param</a></li>",
                     "<li><a href=\"/websocket-echo\">/websocket-echo</a></li>"},
                    17},
        BrowserPage{"picture", "/demo",
                    {"<center><h2>Hello Swift</h2><img src=\"https://developer.apple.com/swift/images/swift-hero_2x.png\"></center>"}}),
    [](const testing::TestParamInfo<BrowserPage>& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

}  // namespace
}  // namespace qv::serverdemo::test
