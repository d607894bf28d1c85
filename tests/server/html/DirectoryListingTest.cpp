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

Answer serve(const std::string& directory, const std::string& value, const std::string& path, bool withParam = true) {
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
        for (const char* name : {"Zebra", "apple", "with blank.txt", "<tag>.txt", "a&b", ".hidden", "\"q\"", "\xff\xfe.bin"})
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
    const std::string expected = "<!DOCTYPE html><html><body><table>" + row("/files/list/%22q%22", "&quot;q&quot;") +
                                 row("/files/list/.", ".") + row("/files/list/..", "..") +
                                 row("/files/list/.hidden", ".hidden") +
                                 row("/files/list/%3Ctag%3E.txt", "&lt;tag&gt;.txt") +
                                 row("/files/list/a%26b", "a&amp;b") + row("/files/list/apple", "apple") +
                                 row("/files/list/sub", "sub") +
                                 row("/files/list/with%20blank.txt", "with blank.txt") +
                                 row("/files/list/Zebra", "Zebra") + "</table></body></html>";
    EXPECT_EQ(answer.body, expected);
}

TEST_F(DirectoryListing, PathEndingInSlashAndPathWithMarkup) {
    Answer answer = serve(root_.string(), "empty", "/files/empty/");
    EXPECT_EQ(answer.body, "<!DOCTYPE html><html><body><table>" + row("/files/empty//.", ".") +
                               row("/files/empty//..", "..") + "</table></body></html>");
    // A path as a client sent it, quotes and angle brackets unencoded, stays inside its attribute.
    answer = serve(root_.string(), "empty", "/x\"><script>");
    EXPECT_NE(answer.body.find("href=\"/x&quot;&gt;&lt;script&gt;/.\""), std::string::npos) << answer.body;
    EXPECT_EQ(answer.body.find("<script>"), std::string::npos);
}

TEST_F(DirectoryListing, FilesMissingPathsAndFailures) {
    Answer file = serve(root_.string(), "plain.txt", "/files/plain.txt");
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.fields.count("Content-Type"), 0u);
    EXPECT_EQ(file.body, "plain body");
    EXPECT_EQ(serve(root_.string(), "missing", "/files/missing").status, 404);
    EXPECT_EQ(serve(root_.string(), "", "/files", false).status, 404);
    EXPECT_EQ(serve(root_.string(), std::string("list\0x", 6), "/files/x").status, 404);
    // The status query fails with something else than "no such file": a file used as a folder.
    EXPECT_EQ(serve(root_.string(), "plain.txt/inner", "/files/x").status, 500);
}

TEST(DirectoryListingNames, LowerCasedOrderIsStableAndNonUtf8NamesAreLeftOut) {
    EXPECT_EQ(sortedListingNames({"b", "B", "a", "A", "\xc3\x28"}), (std::vector<std::string>{"a", "A", "b", "B"}));
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
