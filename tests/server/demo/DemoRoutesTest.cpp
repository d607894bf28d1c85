// Every route of the demonstration site against a live server: status, header fields and the
// exact body; the upload echo through curl; the WebSocket echo; the loopback-only checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "DemoTestSupport.h"
#include "server/WebSocket.h"
#include "server/demo/DemoHosts.h"
#include "server/html/Escaping.h"

namespace qv::serverdemo::test {
namespace {

namespace fs = std::filesystem;
using Fields = std::map<std::string, std::string>;

const std::string serverName = "QVHttp " + server::HttpServer::version();

std::string textBody(const std::string& text) { return "<html><meta charset=\"UTF-8\"><body>" + text + "</body></html>"; }

Fields textFields(const std::string& text) {
    return {{"Content-Length", std::to_string(textBody(text).size())}, {"Server", serverName}};
}
const Fields pageFields{{"Content-Type", "text/html"}, {"Server", serverName}};
// What the disk browser sends: never sniffed, and no script of it runs as a page of the server.
const Fields diskPageFields{{"Content-Security-Policy", "sandbox"},
                            {"Content-Type", "text/html"},
                            {"Server", serverName},
                            {"X-Content-Type-Options", "nosniff"}};
const Fields diskFileFields{{"Content-Security-Policy", "sandbox"}, {"Server", serverName}, {"X-Content-Type-Options", "nosniff"}};

std::string longText() {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "(" + std::to_string(i) + "),->";
    return text;
}

std::string streamText() {
    std::string text;
    for (int i = 0; i <= 100; ++i) text += "[chunk " + std::to_string(i) + "]";
    return text;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// An absolute path as the directory browser's one route segment.
std::string encodedPath(const std::string& path) {
    std::string encoded;
    for (char c : path) encoded += c == '/' ? std::string("%2F") : std::string(1, c);
    return encoded;
}

struct Exchange {
    const char* what;
    std::string request;  // method and target, then header lines (Host is added), then the body
    std::string statusLine;
    Fields fields;
    std::string body;
};

class DemoRoutes : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-demo-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        for (const char* name : {"b & c.txt", "<a>.txt", ".dot"}) std::ofstream(folder_ / name) << name;
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Sends "METHOD TARGET HTTP/1.1", Host, the extra lines, a blank line and the body.
    std::string exchange(const std::string& methodAndTarget, const std::string& extra = {}, const std::string& body = {},
                         const std::string& host = {}) {
        std::string request = methodAndTarget + " HTTP/1.1\r\nHost: " + (host.empty() ? demo.host() : host) + "\r\n" + extra;
        if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        return server::test::roundTrip(demo.port, request + "\r\n" + body);
    }

    LiveDemo demo;
    fs::path folder_;
};

TEST_F(DemoRoutes, BuilderPrintsItsFolderAndRegistersSeventeenRoutes) {
    EXPECT_EQ(demo.printed, publicFolder + "\n");
    EXPECT_EQ(demo.server->routePatterns().size(), 17u);
}

TEST_F(DemoRoutes, EveryRouteStatusFieldsAndBody) {
    const std::string multipart =
        "--Qv7\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nplain text field\r\n"
        "--Qv7\r\nContent-Disposition: form-data; name=\"my_file1\"; filename=\"<pic>.png\"\r\n"
        "Content-Type: image/png\r\n\r\n" + std::string("\x89PNG\r\n\x1a\n\0\0", 10) + "\r\n"
        "--Qv7\r\nContent-Disposition: form-data; name=\"my_file2\"; filename=\"\"\r\n\r\n\r\n--Qv7--\r\n";
    const std::string folderValue = folder_.string().substr(1);  // one segment once "/" is encoded
    std::string encodedFolder = folderValue;
    for (std::size_t at = encodedFolder.find('/'); at != std::string::npos; at = encodedFolder.find('/', at))
        encodedFolder.replace(at, 1, "%2F");
    const std::string listingPath = "/files/" + encodedFolder;
    auto row = [&](const std::string& encoded, const std::string& text) {
        return "<tr><td><a href=\"" + listingPath + "%2F" + encoded + "\">" + text + "</a></td></tr>";
    };
    const std::string listing = "<!DOCTYPE html><html><body><table>" + row(".", ".") + row("..", "..") +
                                row(".dot", ".dot") + row("%3Ca%3E.txt", "&lt;a&gt;.txt") +
                                row("b%20%26%20c.txt", "b &amp; c.txt") + "</table></body></html>";
    const std::string dumpHost = demo.host();
    const std::string dump =
        "<!DOCTYPE html><html><body><h3>Address: 127.0.0.1</h3><h3>Url: /test/one/two</h3><h3>Method: GET</h3>"
        "<h3>Query:</h3><table><tr><td>x</td><td>1</td></tr><tr><td>x</td><td>&lt;b&gt;</td></tr>"
        "<tr><td>&quot;</td><td></td></tr></table>"
        "<h3>Headers:</h3><table><tr><td>host</td><td>" + dumpHost + "</td></tr><tr><td>x-note</td>"
        "<td>&lt;i&gt; &#39;q&#39; &amp; more</td></tr></table>"
        "<h3>Route params:</h3><table><tr><td>:param1</td><td>one</td></tr><tr><td>:param2</td><td>two</td></tr>"
        "</table></body></html>";
    const std::string hello = fileText(publicFolder + "/hello.txt");
    const std::string index = fileText(publicFolder + "/index.html");
    const std::string notFound(notFoundTargetPage), redirect(redirectTargetSite);
    const std::vector<Exchange> table = {
        {"route list", "GET /", "HTTP/1.1 200 OK", pageFields, golden("route-list.html")},
        {"route list for any method", "POST /", "HTTP/1.1 200 OK", pageFields, golden("route-list.html")},
        {"magic without its query", "GET /magic?x=1", "HTTP/1.1 200 OK", textFields("You asked for /magic"),
         textBody("You asked for /magic")},
        {"request dump, values escaped", "GET /test/one/two?x=1&x=<b>&\"\r\nX-Note: <i> 'q' & more", "HTTP/1.1 200 OK",
         pageFields, dump},
        {"request dump for another method", "DELETE /test/a/b", "HTTP/1.1 200 OK", pageFields, ""},
        {"upload form", "GET /upload", "HTTP/1.1 200 OK", pageFields, golden("upload.html")},
        {"upload summary, names escaped, text field left out",
         "POST /upload\r\nContent-Type: multipart/form-data; boundary=Qv7\r\n\r\n" + multipart, "HTTP/1.1 200 OK",
         textFields("Name: my_file1 File name: &lt;pic&gt;.png Size: 10<br>Name: my_file2 File name:  Size: 0<br>"),
         textBody("Name: my_file1 File name: &lt;pic&gt;.png Size: 10<br>Name: my_file2 File name:  Size: 0<br>")},
        {"upload with another method", "PUT /upload", "HTTP/1.1 301 Moved Permanently",
         {{"Location", notFound}, {"Server", serverName}}, ""},
        {"sign-in page", "GET /login", "HTTP/1.1 200 OK", pageFields, golden("sign-in.html")},
        {"form echo, values escaped",
         "POST /login\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\nemail=a%40b.c&password=p%3Cw+d%2B",
         "HTTP/1.1 200 OK", textFields("email = a@b.c<br>password = p&lt;w d+"), textBody("email = a@b.c<br>password = p&lt;w d+")},
        {"picture page", "GET /demo", "HTTP/1.1 200 OK", pageFields, golden("picture.html")},
        {"picture page, any method and body", "POST /demo?q=1\r\n\r\nignored", "HTTP/1.1 200 OK", pageFields,
         golden("picture.html")},
        {"raw answer", "GET /raw", "HTTP/1.1 200 OK", {{"Server", serverName}, {"XXX-Custom-Header", "value"}}, "test"},
        {"permanent redirect", "GET /redirect/permanently", "HTTP/1.1 301 Moved Permanently",
         {{"Location", redirect}, {"Server", serverName}}, ""},
        {"temporary redirect", "POST /redirect/temporarily", "HTTP/1.1 307 Moved Temporarily",
         {{"Location", redirect}, {"Server", serverName}}, ""},
        {"long text", "GET /long", "HTTP/1.1 200 OK", textFields(longText()), textBody(longText())},
        {"wildcards, path escaped", "GET /wildcard/a/test/b/<x>&\"", "HTTP/1.1 200 OK",
         textFields("/wildcard/a/test/b/&lt;x&gt;&amp;&quot;"), textBody("/wildcard/a/test/b/&lt;x&gt;&amp;&quot;")},
        {"wildcards need five segments", "GET /wildcard/a/test/b", "HTTP/1.1 301 Moved Permanently",
         {{"Location", notFound}, {"Server", serverName}}, ""},
        {"streamed body", "GET /stream", "HTTP/1.1 200 OK", {{"Server", serverName}}, streamText()},
        {"public file", "GET /public/hello.txt", "HTTP/1.1 200 OK",
         {{"Access-Control-Allow-Origin", "*"}, {"Content-Length", std::to_string(hello.size())},
          {"Content-Type", "text/plain"}, {"Server", serverName}}, hello},
        {"public page", "GET /public/index.html", "HTTP/1.1 200 OK",
         {{"Access-Control-Allow-Origin", "*"}, {"Content-Length", std::to_string(index.size())},
          {"Content-Type", "text/html"}, {"Server", serverName}}, index},
        {"no way out of the public folder", "GET /public/..%2F..%2Fetc%2Fpasswd", "HTTP/1.1 404 Not Found",
         {{"Server", serverName}}, ""},
        {"directory listing", "GET " + listingPath, "HTTP/1.1 200 OK", diskPageFields, listing},
        {"file through the directory browser", "GET " + listingPath + "%2F.dot", "HTTP/1.1 200 OK", diskFileFields,
         ".dot"},
        {"missing path in the directory browser", "GET " + listingPath + "%2Fnone", "HTTP/1.1 404 Not Found",
         {{"Server", serverName}}, ""},
        {"no route", "GET /nowhere", "HTTP/1.1 301 Moved Permanently", {{"Location", notFound}, {"Server", serverName}}, ""},
        {"websocket route without an upgrade", "GET /websocket-echo", "HTTP/1.1 400 Bad Request",
         {{"Content-Length", "42"}, {"Server", serverName}},
         "Invalid value of 'Upgrade' header: unknown"},
        {"a page of our own origin", "GET /demo\r\nOrigin: http://" + dumpHost, "HTTP/1.1 200 OK", pageFields,
         golden("picture.html")},
        {"another origin", "GET /demo\r\nOrigin: http://attacker.example", "HTTP/1.1 403 Forbidden",
         {{"Server", serverName}}, ""},
    };
    for (const Exchange& e : table) {
        // The request text: first line, header lines, then the body after an empty line.
        std::string firstAndHeaders = e.request, body;
        if (std::size_t blank = e.request.find("\r\n\r\n"); blank != std::string::npos) {
            firstAndHeaders = e.request.substr(0, blank);
            body = e.request.substr(blank + 4);
        }
        std::string first = firstAndHeaders, extra;
        if (std::size_t eol = firstAndHeaders.find("\r\n"); eol != std::string::npos) {
            first = firstAndHeaders.substr(0, eol);
            extra = firstAndHeaders.substr(eol + 2) + "\r\n";
        }
        Answer answer = parseAnswer(exchange(first, extra, body));
        EXPECT_EQ(answer.statusLine, e.statusLine) << e.what;
        EXPECT_EQ(answer.headers, e.fields) << e.what;
        if (std::string(e.what) == "request dump for another method")
            EXPECT_NE(answer.body.find("<h3>Method: DELETE</h3>"), std::string::npos) << answer.body;
        else
            EXPECT_EQ(answer.body, e.body) << e.what;
    }
}

// The disk browser answers no page of another site, with the same bytes whether its path is a
// folder, a file or nothing, also when the request names an Origin the engine accepts (the
// demonstration hands no page a file of its own); its own pages (same-origin), loads the browser
// makes itself and clients that are no browser are answered.
TEST_F(DemoRoutes, DiskBrowserRefusesOtherSitesAlikeForAnyPath) {
    const std::string folder = "/files/" + encodedPath(folder_.string());
    const std::vector<std::string> targets = {folder, folder + "%2F.dot", folder + "%2Fnone", "/files/%2Fetc%2Fhostname",
                                              "/files/%2Fno%2Fsuch%2Fplace"};
    const std::string refusal = "HTTP/1.1 403 Forbidden\r\nConnection: close\r\nServer: " + serverName + "\r\n\r\n";
    const std::vector<std::string> refused = {"Sec-Fetch-Site: cross-site\r\n", "Sec-Fetch-Site: same-site\r\n",
                                              "Sec-Fetch-Site: something-new\r\n",
                                              "Sec-Fetch-Site: cross-site\r\nOrigin: http://" + demo.host() + "\r\n"};
    for (const std::string& extra : refused) {
        for (const std::string& target : targets) {
            SCOPED_TRACE(extra + target);
            EXPECT_EQ(exchange("GET " + target, extra), refusal);
        }
    }
    const std::vector<std::string> answered = {"Sec-Fetch-Site: same-origin\r\n", "Sec-Fetch-Site: none\r\n", ""};
    for (const std::string& extra : answered) {
        SCOPED_TRACE(extra);
        EXPECT_EQ(parseAnswer(exchange("GET " + folder, extra)).statusLine, "HTTP/1.1 200 OK");
        EXPECT_EQ(parseAnswer(exchange("GET " + folder + "%2F.dot", extra)).body, ".dot");
    }
}

// Every link of a listing opens its entry: a file gives its bytes, a folder its own listing, also
// for names that need escaping in a link and in the page.
TEST_F(DemoRoutes, EveryLinkOfAListingAnswers) {
    fs::create_directory(folder_ / "sub dir #2");
    std::ofstream(folder_ / "sub dir #2" / "inner.txt") << "inner.txt";  // each file holds its name
    for (const char* name : {"50% off?.txt", "it's \"q\".txt", "caf\xc3\xa9 \xe2\x82\xac.txt"})
        std::ofstream(folder_ / name) << name;
    std::vector<std::string> pages = {"/files/" + encodedPath(folder_.string())};
    std::size_t files = 0, folders = 0;
    for (std::size_t page = 0; page < pages.size() && page < 3; ++page) {
        Answer listing = parseAnswer(exchange("GET " + pages[page]));
        ASSERT_EQ(listing.statusLine, "HTTP/1.1 200 OK") << pages[page];
        for (std::size_t at = 0; (at = listing.body.find("<a href=\"", at)) != std::string::npos;) {
            at += 9;
            const std::string href = listing.body.substr(at, listing.body.find('"', at) - at);
            const std::size_t textAt = listing.body.find('>', at) + 1;
            const std::string text = listing.body.substr(textAt, listing.body.find("</a>", textAt) - textAt);
            if (text == "." || text == "..") continue;
            SCOPED_TRACE(href);
            ASSERT_EQ(href.find_first_of("&<>\"' "), std::string::npos) << "a link needs no escaping";
            Answer entry = parseAnswer(exchange("GET " + href));
            EXPECT_EQ(entry.statusLine, "HTTP/1.1 200 OK");
            if (entry.headers.count("Content-Type")) {
                ++folders;
                pages.push_back(href);
            } else {
                ++files;
                EXPECT_EQ(html::escapeHtml(entry.body), text);
            }
        }
    }
    EXPECT_EQ(files, 7u);  // ".dot", "<a>.txt", "b & c.txt", the three above and "inner.txt"
    EXPECT_EQ(folders, 1u);
}

// Readers that ask for a large file and take nothing of it fill the connection cap: a normal
// client is still answered at once.
TEST_F(DemoRoutes, ReadersThatTakeNothingDoNotShutOutANormalClient) {
    const fs::path large = folder_ / "large.bin";
    std::ofstream(large).close();
    fs::resize_file(large, 64 * 1024 * 1024);
    std::vector<std::unique_ptr<Client>> readers =
        server::test::stalledReaders(demo.port, 256, "/files/" + encodedPath(large.string()));
    for (int i = 0; i < 3; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(parseAnswer(exchange("GET /magic")).statusLine, "HTTP/1.1 200 OK") << i;
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5)) << i;
    }
}

// The engine refuses a foreign host before any route or middleware sees the request: the
// middleware's line is written for every request that is routed, and for none that is refused.
TEST_F(DemoRoutes, ForeignHostRefusedUnloggedAndEveryRoutedRequestLogged) {
    testing::internal::CaptureStdout();
    Answer refused = parseAnswer(exchange("GET /demo", "", "", "demo.example:80"));
    Answer missing = parseAnswer(exchange("GET /nowhere/at?all=1"));
    Answer page = parseAnswer(exchange("POST /magic"));
    // The middleware line is written before the answer goes out.
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(refused.statusLine, "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(missing.statusLine, "HTTP/1.1 301 Moved Permanently");
    EXPECT_EQ(page.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(printed, "Middleware: 127.0.0.1 -> GET -> /nowhere/at\nMiddleware: 127.0.0.1 -> POST -> /magic\n");
}

// Uploads through curl, also of files past the program's own 1 MiB body limit.
TEST_F(DemoRoutes, UploadEchoThroughCurl) {
    for (std::size_t size : {std::size_t{3000}, std::size_t{5} * 1024 * 1024}) {
        SCOPED_TRACE(size);
        fs::path file = folder_ / "photo.bin";
        std::string bytes;
        for (std::size_t i = 0; i < size; ++i) bytes += static_cast<char>((i * 7) % 256);
        std::ofstream(file, std::ios::binary) << bytes;
        const std::string command = "curl -s -S --max-time 20 -F 'note=just text' -F 'my_file1=@" + file.string() +
                                    "' http://" + demo.host() + "/upload 2>&1";
        std::FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        EXPECT_EQ(::pclose(pipe), 0) << output;
        EXPECT_EQ(output, textBody("Name: my_file1 File name: photo.bin Size: " + std::to_string(size) + "<br>"));
    }
}

// Bodies the engine does not read are refused, never taken as empty; past the demonstration's own
// body limit a request is refused too.
TEST_F(DemoRoutes, ChunkedAndOverlongBodiesRefused) {
    Answer chunked = parseAnswer(exchange("POST /login",
                                          "Content-Type: application/x-www-form-urlencoded\r\nTransfer-Encoding: chunked\r\n"
                                          "\r\n3\r\na=1\r\n0\r\n"));
    EXPECT_EQ(chunked.statusLine, "HTTP/1.1 501 Not Implemented");
    EXPECT_EQ(chunked.body, "");
    Answer overlong = parseAnswer(exchange("POST /upload", "Content-Length: " + std::to_string(demoMaxBodyLength + 1) + "\r\n"));
    EXPECT_EQ(overlong.statusLine, "HTTP/1.1 413 Content Too Large");
}

TEST_F(DemoRoutes, WebSocketEchoAnswersTextFragmentsAndPings) {
    Client client(demo.port);
    client.send("GET /websocket-echo HTTP/1.1\r\nHost: " + demo.host() +
                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n");
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
        std::string byte = client.readExactly(1);
        ASSERT_EQ(byte.size(), 1u) << head;
        head += byte;
    }
    ASSERT_EQ(head.substr(0, head.find("\r\n")), "HTTP/1.1 101 Switching Protocols");
    auto masked = [](std::uint8_t first, const std::string& payload) {
        std::string out{static_cast<char>(first), static_cast<char>(0x80 | payload.size()), 1, 2, 3, 4};
        for (std::size_t i = 0; i < payload.size(); ++i) out += static_cast<char>(payload[i] ^ (1 + i % 4));
        return out;
    };
    client.send(masked(0x81, "hi"));
    EXPECT_EQ(client.readExactly(4), std::string("\x81\x02hi", 4));
    client.send(masked(0x02, "ab") + masked(0x89, "p") + masked(0x80, "cd"));
    EXPECT_EQ(client.readExactly(3), std::string("\x8a\x01p", 3));
    EXPECT_EQ(client.readExactly(6), std::string("\x82\x04" "abcd", 6));
    client.send(masked(0x8A, "unasked"));  // a pong is not echoed
    client.send(masked(0x88, ""));
    EXPECT_EQ(client.readAll(), std::string("\x88\x00", 2));
}

}  // namespace
}  // namespace qv::serverdemo::test
