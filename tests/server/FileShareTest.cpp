#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <set>

#include "ServerTestSupport.h"
#include "server/FileServing.h"
#include "server/FileStream.h"

namespace qv::server {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// The writer form of an absolute path in "/files/:path": "/" as "@@", " " as "%20".
std::string filesTarget(const fs::path& path) {
    std::string out = "/files/";
    for (char c : path.string()) {
        if (c == '/')
            out += "@@";
        else if (c == ' ')
            out += "%20";
        else
            out += c;
    }
    return out;
}

class FileShareTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = temp.path();
        lessons = root / "lessons";
        fs::create_directories(lessons / "sub");
        fs::create_directories(root / "dir");
        writeFile(root / "a b.pdf", "PDF-DATA");
        writeFile(root / "x.PNG", "png");
        writeFile(root / "empty.txt", "");
        writeFile(root / "secret.txt", "secret");
        writeFile(root / "handed.pdf", "handed");
        writeFile(lessons / "index.html", "<h1>lessons</h1>");
        writeFile(lessons / "sub" / "page.html", "page");
        ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);
        fs::create_symlink(root / "nowhere", root / "dangling");
        const std::vector<std::string> defaults{"index.html", "default.html"};
        // The program's pages were handed the one file "handed.pdf" (and a name that is gone).
        handed = {(root / "handed.pdf").string(), (root / "gone.pdf").string()};
        running.server->router.addRoute(std::nullopt, "/files/:path",
                                        fileShareHandler("/", defaults, [this](const std::string& path) {
                                            return handed.count(path) > 0;
                                        }));
        running.server->router.addRoute(std::nullopt, "/:path", fileShareHandler(lessons.string(), defaults));
        running.server->router.addRoute(std::nullopt, "/sub/:path", fileShareHandler((lessons / "sub").string(), defaults));
        running.server->router.addRoute(std::nullopt, "/single/file", singleFileHandler((root / "secret.txt").string()));
        running.server->trustedOrigins = {"quorvane://app"};  // as the program's server does
        running.start();
    }
    test::TempDir temp;
    fs::path root, lessons;
    std::set<std::string> handed;  // read by the server's threads, never changed while it runs
    test::RunningServer running;
};

TEST_F(FileShareTest, ServesAbsolutePathWithTypeLengthAndOrigin) {
    const std::string response = test::get(running.port, filesTarget(root / "a b.pdf"));
    EXPECT_EQ(response, "HTTP/1.1 200 OK\r\nConnection: close\r\nAccess-Control-Allow-Origin: *\r\n"
                        "Access-Control-Expose-Headers: Content-Disposition\r\n"
                        "Content-Disposition: inline; filename*=UTF-8''a%20b.pdf\r\nContent-Length: 8\r\n"
                        "Content-Security-Policy: sandbox\r\nContent-Type: application/pdf\r\nServer: QVHttp " +
                            HttpServer::version() + "\r\nX-Content-Type-Options: nosniff\r\n\r\nPDF-DATA");
}

// The name a page gets for a file of the disk is the file's own, not the address's "@@" path, in
// the escaped form every browser reads.
TEST_F(FileShareTest, WholeDiskFilesAreNamedByTheirOwnName) {
    const std::pair<std::string, std::string> names[] = {
        {"Lesson plan.pdf", "Lesson%20plan.pdf"},
        {"Übung \"1\"; a=b.pdf", "%C3%9Cbung%20%221%22%3B%20a%3Db.pdf"},
        {"x,y\\z'.pdf", "x%2Cy%5Cz%27.pdf"},
        {"plain-name_1.2~!.pdf", "plain-name_1.2~!.pdf"},
    };
    for (const auto& [name, escaped] : names) {
        SCOPED_TRACE(name);
        writeFile(root / name, "x");
        // The whole path escaped, "/" written "@@", as the program's viewer asks.
        std::string target = "/files/";
        for (unsigned char c : (root / name).string()) {
            if (c == '/') {
                target += "@@";
            } else if (std::isalnum(c) || std::string_view("-._~").find(char(c)) != std::string_view::npos) {
                target += char(c);
            } else {
                static const char* hex = "0123456789ABCDEF";
                target += {'%', hex[c >> 4], hex[c & 15]};
            }
        }
        const std::string response = test::get(running.port, target);
        EXPECT_NE(response.find("\r\nContent-Disposition: inline; filename*=UTF-8''" + escaped + "\r\n"), std::string::npos)
            << response;
    }
    // The lessons are pages, served without a name.
    EXPECT_EQ(test::get(running.port, "/index.html").find("Content-Disposition"), std::string::npos);
}

TEST_F(FileShareTest, FixtureTree) {
    const std::string notFound = "HTTP/1.1 404 Not Found\r\nConnection: close\r\nServer: QVHttp " + HttpServer::version() + "\r\n\r\n";
    struct Case {
        const char* name;
        std::string target;
        std::string type;  // empty: 404 expected
        std::string body;
    } cases[] = {
        {"upper-case extension", filesTarget(root / "x.PNG"), "image/png", "png"},
        {"empty file", filesTarget(root / "empty.txt"), "text/plain", ""},
        {"missing file", filesTarget(root / "missing.pdf"), "", ""},
        {"directory", filesTarget(root / "dir"), "", ""},
        {"FIFO answers at once", filesTarget(root / "fifo"), "", ""},
        {"dangling link", filesTarget(root / "dangling"), "", ""},
        {"NUL cuts nothing short", filesTarget(root / "secret.txt") + "%00.pdf", "", ""},
        {"whole-disk share may use ..", filesTarget(lessons / ".." / "secret.txt"), "text/plain", "secret"},
        {"lessons file", "/index.html", "text/html", "<h1>lessons</h1>"},
        {"lessons subfolder", "/sub/page.html", "text/html", "page"},
        {"encoded slash leaves lessons", "/..%2Fsecret.txt", "", ""},
        {"dot-dot alone", "/%2E%2E", "", ""},
        {"@@ in lessons", "/sub@@page.html", "", ""},
        {"@@ traversal from subfolder", "/sub/..@@..@@secret.txt", "", ""},
        {"encoded slash from subfolder", "/sub/..%2F..%2Fsecret.txt", "", ""},
        {"lessons folder itself", "/sub/%2E", "", ""},
        {"single file handler", "/single/file", "-", "secret"},
        {"root not registered", "/", "", ""},
        {"leading and doubled slashes", "//files//" + filesTarget(root / "x.PNG").substr(7), "image/png", "png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.target);
        const std::string response = test::get(running.port, c.target);
        if (c.type.empty()) {
            EXPECT_EQ(response, notFound);
            continue;
        }
        EXPECT_EQ(test::statusLine(response), "HTTP/1.1 200 OK");
        if (c.type != "-") {
            EXPECT_NE(response.find("\r\nContent-Type: " + c.type + "\r\n"), std::string::npos);
            EXPECT_NE(response.find("\r\nContent-Length: " + std::to_string(c.body.size()) + "\r\n"), std::string::npos);
        }
        EXPECT_EQ(test::bodyOf(response), c.body);
    }
}

// Who may read a file of the whole disk, by what a browser tells of the page a request is made
// for, and whether the program handed that file to its pages. The engine has already refused
// every Origin it does not trust; an Origin here is a trusted one (the program's own pages).
TEST(FileSharePolicy, RequestsForPagesOfOtherSitesAndOfTheProgram) {
    const std::string handedPath = "/home/t/Lesson plan.pdf";
    const HandedDocuments handed = [&](const std::string& path) { return path == handedPath; };
    struct Case {
        const char* site;    // Sec-Fetch-Site; nullptr: not sent
        const char* origin;  // nullptr: not sent
        bool anotherSite;
        bool answersHanded;  // the whole-disk share answers for the handed file
        bool answersOther;   // and for any other file
    } cases[] = {
        {nullptr, nullptr, false, true, true},                  // curl, the tests, old browsers
        {"none", nullptr, false, true, true},                   // an address the browser loads itself
        {"same-origin", nullptr, false, true, true},            // the server's own pages
        {"cross-site", nullptr, true, false, false},            // a tag or frame of a web site or of quorvane://app
        {"same-site", nullptr, true, false, false},             // a page on another port of this machine
        {"cross-site", "quorvane://app", true, true, false},    // the PDF viewer's fetch
        {"same-site", "http://127.0.0.1:9080", true, true, false},
        {"some-future-value", nullptr, true, false, false},     // unknown: not trusted
        {"Same-Origin", nullptr, true, false, false},
        {"", nullptr, true, false, false},
        {nullptr, "quorvane://app", false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.site ? c.site : "-") + " / " + (c.origin ? c.origin : "-"));
        HttpRequest request;
        if (c.site) request.headers["sec-fetch-site"] = c.site;
        if (c.origin) request.headers["origin"] = c.origin;
        EXPECT_EQ(isRequestFromAnotherSite(request), c.anotherSite);
        EXPECT_EQ(wholeDiskShareAnswers(request, handedPath, handed), c.answersHanded);
        EXPECT_EQ(wholeDiskShareAnswers(request, "/etc/hostname", handed), c.answersOther);
        // Without a check of handed files no page is answered at all.
        EXPECT_EQ(wholeDiskShareAnswers(request, handedPath, {}), !c.anotherSite);
    }
}

// Through the engine: the whole-disk share answers only the program's own pages and local tools,
// tells a refused page nothing about what exists, and marks what it serves as no page to run; the
// lessons stay open to every page of this machine that the engine lets through.
TEST_F(FileShareTest, WholeDiskShareAnswersOnlyOwnPagesAndLocalTools) {
    const std::string forbidden = "HTTP/1.1 403 Forbidden\r\nConnection: close\r\nServer: QVHttp " + HttpServer::version() + "\r\n\r\n";
    const std::string existing = filesTarget(root / "secret.txt"), missing = filesTarget(root / "missing.txt");
    struct Case {
        const char* name;
        std::string headers;
        const char* files;    // "served": the file, and 404 for the missing one; "refused": 403 for both
        bool lessonsServed;
    } cases[] = {
        {"local tool", "", "served", true},
        {"the browser's own load", "Sec-Fetch-Site: none\r\n", "served", true},
        {"a page of the server", "Sec-Fetch-Site: same-origin\r\n", "served", true},
        {"the PDF viewer, for a file it was not handed", "Sec-Fetch-Site: cross-site\r\nOrigin: quorvane://app\r\n", "refused", true},
        {"tag or frame of a web site", "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Dest: script\r\n", "refused", true},
        {"navigation from the board", "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: navigate\r\n", "refused", true},
        {"another port of this machine", "Sec-Fetch-Site: same-site\r\nSec-Fetch-Dest: image\r\n", "refused", true},
        {"unknown site value", "Sec-Fetch-Site: elsewhere\r\n", "refused", true},
        {"fetch from another port", "Sec-Fetch-Site: same-site\r\nOrigin: http://127.0.0.1:8000\r\n", "refused", false},
        {"sandboxed frame", "Sec-Fetch-Site: cross-site\r\nOrigin: null\r\n", "refused", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* method : {"GET", "HEAD"}) {
            SCOPED_TRACE(method);
            auto ask = [&](const std::string& target) {
                return test::roundTrip(running.port, std::string(method) + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                                                         std::to_string(running.port) + "\r\n" + c.headers + "\r\n");
            };
            const std::string file = ask(existing), none = ask(missing), lesson = ask("/index.html");
            if (std::string(c.files) == "refused") {
                EXPECT_EQ(file, forbidden);
                EXPECT_EQ(none, forbidden);
            } else {
                EXPECT_EQ(test::statusLine(file), "HTTP/1.1 200 OK");
                EXPECT_NE(file.find("\r\nContent-Type: text/plain\r\nServer: "), std::string::npos) << file;
                EXPECT_NE(file.find("\r\nContent-Length: 6\r\n"), std::string::npos) << file;
                EXPECT_NE(file.find("\r\nAccess-Control-Allow-Origin: *\r\n"), std::string::npos) << file;
                EXPECT_NE(file.find("\r\nX-Content-Type-Options: nosniff\r\n"), std::string::npos) << file;
                EXPECT_NE(file.find("\r\nContent-Security-Policy: sandbox\r\n"), std::string::npos) << file;
                EXPECT_EQ(test::bodyOf(file), std::string(method) == "GET" ? "secret" : "");
                EXPECT_EQ(test::statusLine(none), "HTTP/1.1 404 Not Found");
            }
            if (c.lessonsServed) {
                EXPECT_EQ(test::statusLine(lesson), "HTTP/1.1 200 OK");
                // The lessons are pages of the program, run as they are.
                EXPECT_EQ(lesson.find("Content-Security-Policy"), std::string::npos) << lesson;
            } else {
                EXPECT_EQ(lesson, forbidden);
            }
        }
    }
}

// The answer at once from the caches keeps the share's rules: the same refusal and, for what is
// served, the same header fields as the full handler.
TEST_F(FileShareTest, WholeDiskShareRefusesAndMarksAlikeOnBothWays) {
    const std::string name = (root / "secret.txt").string().substr(1);  // below "/", "@@" for "/"
    std::string value;
    for (char c : name) value += c == '/' ? std::string("@@") : std::string(1, c);
    for (const char* site : {"cross-site", "same-site"}) {
        SCOPED_TRACE(site);
        HttpRequest request;
        request.params[":path"] = value;
        request.headers["sec-fetch-site"] = site;
        std::optional<HttpResponse> quick = serveCachedFileFromDirectory(request, "/");
        ASSERT_TRUE(quick) << "a refusal needs no disk";
        EXPECT_EQ(quick->statusCode(), 403);
        EXPECT_EQ(serveFileFromDirectory(request, {}, "/").statusCode(), 403);
        // The program's own page: refused alike for a file it was not handed, served for one it was.
        request.headers["origin"] = "quorvane://app";
        const HandedDocuments none = [](const std::string&) { return false; };
        const HandedDocuments file = [&](const std::string& path) { return path == name; };  // as the request names it
        quick = serveCachedFileFromDirectory(request, "/", none);
        ASSERT_TRUE(quick);
        EXPECT_EQ(quick->statusCode(), 403);
        EXPECT_EQ(serveFileFromDirectory(request, {}, "/", none).statusCode(), 403);
        HttpResponse full = serveFileFromDirectory(request, {}, "/", file);
        EXPECT_EQ(full.statusCode(), 200);
        EXPECT_EQ(full.headerFields()["Content-Security-Policy"], "sandbox");
        EXPECT_EQ(full.headerFields()["X-Content-Type-Options"], "nosniff");
        if (std::optional<HttpResponse> cached = serveCachedFileFromDirectory(request, "/", file)) {
            EXPECT_EQ(cached->headerFields(), full.headerFields());
        }
    }
}

// The program's own pages read through the whole-disk share exactly the files the program handed
// them, named as it handed them; for anything else they get the refusal every other site gets.
TEST_F(FileShareTest, OwnPagesReadOnlyTheDocumentsHandedToThem) {
    const std::string forbidden = "HTTP/1.1 403 Forbidden\r\nConnection: close\r\nServer: QVHttp " + HttpServer::version() + "\r\n\r\n";
    const std::string viewer = "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: cors\r\nOrigin: quorvane://app\r\n";
    std::string handedName = filesTarget(root / "handed.pdf");
    struct Case {
        const char* name;
        std::string target;
        std::string headers;
        const char* status;  // status line; "" for the whole refusal
        const char* body;
    } cases[] = {
        {"a handed document", handedName, viewer, "HTTP/1.1 200 OK", "handed"},
        {"a handed document that is gone", filesTarget(root / "gone.pdf"), viewer, "HTTP/1.1 404 Not Found", ""},
        {"a file it was not handed", filesTarget(root / "secret.txt"), viewer, "", ""},
        {"a missing file it was not handed", filesTarget(root / "missing.txt"), viewer, "", ""},
        {"the handed file by another way", filesTarget(root / "dir" / ".." / "handed.pdf"), viewer, "", ""},
        {"the handed file without its leading slash", "/files/" + handedName.substr(9), viewer, "", ""},
        {"the handed file for a tag of a web site", handedName, "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Dest: image\r\n", "", ""},
        {"the handed file for a page on another port", handedName,
         "Sec-Fetch-Site: same-site\r\nOrigin: http://127.0.0.1:1\r\n", "", ""},
        {"a local tool reads any file", filesTarget(root / "secret.txt"), "", "HTTP/1.1 200 OK", "secret"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.target);
        const std::string response = test::get(running.port, c.target, c.headers);
        if (std::string(c.status).empty()) {
            EXPECT_EQ(response, forbidden);
            continue;
        }
        EXPECT_EQ(test::statusLine(response), c.status);
        EXPECT_EQ(test::bodyOf(response), c.body);
    }
}

TEST_F(FileShareTest, HeadAnswersTheHeadOfGetWithoutTheFile) {
    const std::string target = filesTarget(root / "a b.pdf");
    const std::string got = test::get(running.port, target);
    const std::string head = test::roundTrip(running.port, "HEAD " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
    EXPECT_EQ(head, got.substr(0, got.size() - std::string("PDF-DATA").size()));
    EXPECT_NE(head.find("\r\nContent-Length: 8\r\n"), std::string::npos);
}

TEST_F(FileShareTest, LargeFileIsSentWhole) {
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    writeFile(root / "big.bin", big);
    const std::string response = test::get(running.port, filesTarget(root / "big.bin"));
    EXPECT_NE(response.find("\r\nContent-Length: " + std::to_string(big.size()) + "\r\n"), std::string::npos);
    EXPECT_TRUE(test::bodyOf(response) == big);
}

TEST_F(FileShareTest, ClientsLeavingMidBodyDoNotDisturbTheServer) {
    writeFile(root / "big.bin", std::string(8 * 1024 * 1024, 'z'));
    for (int i = 0; i < 8; ++i) {
        test::Client client(running.port);
        client.send("GET " + filesTarget(root / "big.bin") + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
        client.readExactly(100);
    }  // each client goes away with most of the body unsent
    EXPECT_EQ(test::bodyOf(test::get(running.port, filesTarget(root / "a b.pdf"))), "PDF-DATA");
}

TEST_F(FileShareTest, DefaultNamesForAnEmptyValue) {
    HttpRequest request;
    request.params[":path"] = "";
    HttpResponse response = serveFileFromDirectory(request, {"missing.html", "index.html"}, lessons.string());
    EXPECT_EQ(response.statusCode(), 200);
    EXPECT_EQ(response.headerFields()["Content-Type"], "text/html");
    EXPECT_EQ(serveFileFromDirectory(HttpRequest(), {"index.html"}, lessons.string()).statusCode(), 404)
        << "no route parameter";
}

// The bytes the engine sends for a response: status line, header lines, the body as its writer
// writes it (a file from its start to its length, as sendfile takes it).
std::string wireBytes(const HttpResponse& response) {
    class Capture final : public HttpResponseBodyWriter {
    public:
        using HttpResponseBodyWriter::write;
        void write(File& file) override {
            std::string bytes(static_cast<std::size_t>(file.size()), '\0');
            if (::pread(file.descriptor(), bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
                throw std::runtime_error("short file");
            out += bytes;
        }
        void write(std::span<const std::uint8_t> bytes) override { out.append(bytes.begin(), bytes.end()); }
        std::string out;
    } capture;
    auto [length, writer] = response.bodyContent();
    capture.out = "HTTP/1.1 " + std::to_string(response.statusCode()) + " " + response.reasonPhrase() + "\r\n";
    if (length >= 0) capture.out += "Content-Length: " + std::to_string(length) + "\r\n";
    for (const auto& [name, value] : response.headerFields()) capture.out += name + ": " + value + "\r\n";
    capture.out += "\r\n";
    if (writer) writer(capture);
    return capture.out;
}

// Both ways to a file give the same answer: at once from the caches, or by the full handler.
TEST_F(FileShareTest, CachedFilesAnswerAsTheFullHandlerDoes) {
    if (!File::openCachedRegularFile((root / "secret.txt").string())) GTEST_SKIP() << "the kernel cannot tell what it caches";
    const std::pair<const char*, std::string> files[] = {
        {"a b.pdf", "PDF-DATA"}, {"x.PNG", "png"}, {"empty.txt", ""}, {"secret.txt", "secret"}};
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        HttpRequest request;
        request.params[":path"] = name;
        std::optional<HttpResponse> quick = serveCachedFileFromDirectory(request, root.string());
        ASSERT_TRUE(quick);
        HttpResponse full = serveFileFromDirectory(request, {}, root.string());
        const std::string bytes = wireBytes(*quick);
        EXPECT_EQ(bytes, wireBytes(full));
        EXPECT_TRUE(bytes.ends_with("\r\n\r\n" + content)) << bytes;
    }
    struct Case {
        const char* name;
        std::string value;
        std::string directory;
    } leftToTheFullHandler[] = {
        {"default names", "", lessons.string()},
        {"missing", "missing.pdf", root.string()},
        {"directory", "dir", root.string()},
        {"FIFO, without waiting for a writer", "fifo", root.string()},
        {"leaves the folder", "..@@secret.txt", lessons.string()},
        {"NUL", std::string("secret.txt\0.pdf", 15), "/"},
    };
    for (const Case& c : leftToTheFullHandler) {
        SCOPED_TRACE(c.name);
        HttpRequest request;
        request.params[":path"] = c.value;
        EXPECT_FALSE(serveCachedFileFromDirectory(request, c.directory));
    }
}

TEST(FileStreamTest, PathHelpersAndReads) {
    test::TempDir temp;
    const std::string file = (temp.path() / "f").string();
    writeFile(file, "abc");
    EXPECT_TRUE(fileExists(file));
    EXPECT_FALSE(fileExists(file + "-missing"));
    try {
        fileExists(file + "/below");
        FAIL();
    } catch (const FileError& error) {
        EXPECT_EQ(error.errorNumber(), ENOTDIR);
    }
    EXPECT_TRUE(isDirectoryPath(temp.path().string()));
    EXPECT_FALSE(isDirectoryPath(file));
    fs::create_directory(temp.path() / "empty");
    auto entries = directoryEntries((temp.path() / "empty").string());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{".", ".."}));

    File f = File::openRead(file);
    std::uint8_t buffer[8];
    EXPECT_EQ(f.read(std::span<std::uint8_t>(buffer, 0)), 0u);
    EXPECT_EQ(f.read(buffer), 3u);
    EXPECT_EQ(f.size(), 3);
    f.close();
    f.close();
    File w = File::openWrite(file);
    w.write({});
    w.close();
    EXPECT_EQ(fs::file_size(file), 0u);
    EXPECT_THROW(File::openRegularFile(temp.path().string()), FileError);
}

}  // namespace
}  // namespace qv::server
