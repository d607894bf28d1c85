// The directory browser over a real folder whose names need care: ".", "..", dot files, blanks,
// "<", "&", quotes and a name that is not UTF-8.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "server/FileStream.h"
#include "server/html/DirectoryListing.h"
#include "server/html/Escaping.h"
#include "server/html/PageBuilder.h"

namespace qv::html {
namespace {

namespace fs = std::filesystem;

// Collects a body: page text or the bytes of a file.
class CollectingWriter : public server::HttpResponseBodyWriter {
public:
    std::string body;
    void write(server::File& file) override {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.size()));
        file.seek(0);
        bytes.resize(file.read(bytes));
        body.append(bytes.begin(), bytes.end());
    }
    void write(std::span<const std::uint8_t> bytes) override { body.append(bytes.begin(), bytes.end()); }
    using HttpResponseBodyWriter::write;
};

struct Answer {
    int status;
    server::HeaderFields fields;
    std::string body;
};

Answer serve(const std::string& directory, const std::string& value, const std::string& path,
             bool withParam = true) {
    server::HttpRequest request;
    request.path = path;
    if (withParam) request.params[":path"] = value;
    server::HttpResponse response = directoryBrowserHandler(directory)(request);
    Answer answer{response.statusCode(), response.headerFields(), {}};
    auto [length, writer] = response.bodyContent();
    if (writer) {
        CollectingWriter collect;
        writer(collect);
        answer.body = collect.body;
    }
    return answer;
}

class DirectoryListing : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-listing-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directory(root_ / "list");
        for (const char* name :
             {"Zebra", "apple", "with blank.txt", "<tag>.txt", "a&b", ".hidden", "\"q\"", "\xff\xfe.bin"})
            std::ofstream(root_ / "list" / name) << name;
        fs::create_directory(root_ / "list" / "sub");
        fs::create_directory(root_ / "empty");
        std::ofstream(root_ / "plain.txt") << "plain body";
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path root_;
};

std::string row(const std::string& href, const std::string& text) {
    return "<tr><td><a href=\"" + href + "\">" + text + "</a></td></tr>";
}

TEST_F(DirectoryListing, FolderPageSortedEscapedAndEncoded) {
    Answer answer = serve(root_.string(), "list", "/files/list");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.fields.at("Content-Type"), "text/html");
    EXPECT_EQ(answer.fields.at("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(answer.fields.at("Content-Security-Policy"), "sandbox");
    // Each link is the route with the entry's whole path as its one last segment.
    const std::string expected =
        "<!DOCTYPE html><html><body><table>" + row("/files/list%2F%22q%22", "&quot;q&quot;") +
        row("/files/list%2F.", ".") + row("/files/list%2F..", "..") +
        row("/files/list%2F.hidden", ".hidden") + row("/files/list%2F%3Ctag%3E.txt", "&lt;tag&gt;.txt") +
        row("/files/list%2Fa%26b", "a&amp;b") + row("/files/list%2Fapple", "apple") +
        row("/files/list%2Fsub", "sub") + row("/files/list%2Fwith%20blank.txt", "with blank.txt") +
        row("/files/list%2FZebra", "Zebra") + "</table></body></html>";
    EXPECT_EQ(answer.body, expected);
}

// Links go to the route the request came by, whatever it was written with, and carry the folder's
// path and the name as one segment: every "/" and every byte that could end or change the link
// (%, #, ?, quotes, blanks, non-ASCII) percent-encoded, the whole escaped for its attribute.
TEST(DirectoryListingLinks, TheRouteAndTheWholePathAsOneSegment) {
    struct Case {
        const char* path;   // as the client sent it
        const char* value;  // the route parameter, decoded
        const char* name;
        const char* target;
    } cases[] = {
        {"/files/%2Ftmp%2Fdl", "/tmp/dl", "a.txt", "/files/%2Ftmp%2Fdl%2Fa.txt"},
        {"/files/%2Ftmp%2Fdl%2F", "/tmp/dl/", "a.txt", "/files/%2Ftmp%2Fdl%2Fa.txt"},
        {"/files/%2F", "/", "etc", "/files/%2Fetc"},
        {"/files/%2Ftmp", "/tmp", "..", "/files/%2Ftmp%2F.."},
        {"/files/list/", "list", "a", "/files/list%2Fa"},
        {"//files//%2Ftmp", "/tmp", "a", "/files/%2Ftmp%2Fa"},
        {"/%66iles/%2Ftmp", "/tmp", "a", "/files/%2Ftmp%2Fa"},
        {"/a\"><script>/x", "x", "b", "/a%22%3E%3Cscript%3E/x%2Fb"},
        {"/files/%2Ftmp", "/tmp", "50% off#1?.txt", "/files/%2Ftmp%2F50%25%20off%231%3F.txt"},
        {"/files/%2Ftmp", "/tmp", "it's \"q\" & <b>", "/files/%2Ftmp%2Fit%27s%20%22q%22%20%26%20%3Cb%3E"},
        {"/files/%2Ftmp", "/tmp", "caf\xc3\xa9 \xe2\x82\xac", "/files/%2Ftmp%2Fcaf%C3%A9%20%E2%82%AC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + std::string(" ") + c.name);
        server::HttpRequest request;
        request.path = c.path;
        request.params[":path"] = c.value;
        EXPECT_EQ(directoryListingTarget(request, c.name), c.target);
        htmlPageBuffer().clear();
        directoryListingAnchor("a", AttributeMap{}, request, c.name);
        EXPECT_EQ(htmlPageBuffer(),
                  "<a href=\"" + std::string(c.target) + "\">" + escapeHtml(c.name) + "</a>");
    }
}

TEST_F(DirectoryListing, PathEndingInSlash) {
    Answer answer = serve(root_.string(), "empty", "/files/empty/");
    EXPECT_EQ(answer.body, "<!DOCTYPE html><html><body><table>" + row("/files/empty%2F.", ".") +
                               row("/files/empty%2F..", "..") + "</table></body></html>");
}

// A browser's request for a page of another site learns nothing: the same refusal whether the
// path is a folder, a file or nothing, and without a route parameter too. Its own pages, loads the
// browser makes itself and clients that are no browser are answered.
TEST_F(DirectoryListing, RequestsForOtherSitesAreRefusedAlike) {
    struct Case {
        const char* site;
        const char* origin;
        bool refused;
    } cases[] = {
        {"cross-site", nullptr, true},    {"same-site", nullptr, true},
        {"something-new", nullptr, true}, {"cross-site", "http://127.0.0.1:9081", true},
        {"same-origin", nullptr, false},  {"none", nullptr, false},
        {nullptr, nullptr, false},
    };
    for (const Case& c : cases) {
        for (const char* value : {"list", "plain.txt", "missing", ""}) {
            SCOPED_TRACE(std::string(c.site ? c.site : "-") + " " + value);
            server::HttpRequest request;
            request.path = std::string("/files/") + value;
            if (*value) request.params[":path"] = value;
            if (c.site) request.headers["sec-fetch-site"] = c.site;
            if (c.origin) request.headers["origin"] = c.origin;
            server::HttpResponse response = directoryBrowserHandler(root_.string())(request);
            if (c.refused) {
                EXPECT_EQ(response.statusCode(), 403);
                EXPECT_EQ(response.headerFields(), server::HttpResponse::forbidden().headerFields());
                EXPECT_FALSE(response.bodyContent().second);
            } else {
                EXPECT_NE(response.statusCode(), 403);
            }
        }
    }
}

TEST_F(DirectoryListing, FilesMissingPathsAndFailures) {
    Answer file = serve(root_.string(), "plain.txt", "/files/plain.txt");
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.fields.count("Content-Type"), 0u);
    EXPECT_EQ(file.fields.at("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(file.fields.at("Content-Security-Policy"), "sandbox");
    EXPECT_EQ(file.body, "plain body");
    EXPECT_EQ(serve(root_.string(), "missing", "/files/missing").status, 404);
    EXPECT_EQ(serve(root_.string(), "", "/files", false).status, 404);
    EXPECT_EQ(serve(root_.string(), std::string("list\0x", 6), "/files/x").status, 404);
    // The status query fails with something else than "no such file": a file used as a folder.
    EXPECT_EQ(serve(root_.string(), "plain.txt/inner", "/files/x").status, 500);
}

TEST(DirectoryListingNames, LowerCasedOrderIsStableAndNonUtf8NamesAreLeftOut) {
    EXPECT_EQ(sortedListingNames({"b", "B", "a", "A", "\xc3\x28"}),
              (std::vector<std::string>{"a", "A", "b", "B"}));
    EXPECT_EQ(sortedListingNames({"B", "b", "_", "a"}), (std::vector<std::string>{"_", "a", "B", "b"}));
    EXPECT_EQ(sortedListingNames({}), std::vector<std::string>{});
}

TEST(Escaping, MarkupCharactersAndPathSegments) {
    EXPECT_EQ(escapeHtml("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&#39;");
    EXPECT_EQ(escapeHtml(""), "");
    EXPECT_EQ(percentEncodePathSegment("a b/c%d\xc3\xa9-._~"), "a%20b%2Fc%25d%C3%A9-._~");
}

}  // namespace
}  // namespace qv::html
