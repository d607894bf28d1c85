#include "server/html/DirectoryListing.h"

#include <algorithm>
#include <memory>

#include "server/FileStream.h"
#include "server/Utf8.h"
#include "server/html/Escaping.h"
#include "server/html/PageResponse.h"
#include "util/Strings.h"

namespace qv::html {

namespace {

server::HttpResponse plainFileResponse(const std::string& path) {
    try {
        auto file = std::make_shared<server::File>(server::File::openRegularFile(path));
        return server::HttpResponse::raw(200, "OK", server::HeaderFields{}, [file](server::HttpResponseBodyWriter& writer) {
            struct Closer {
                server::File& f;
                ~Closer() { f.close(); }
            } closer{*file};
            writer.write(*file);
        });
    } catch (const server::FileError&) {
        return server::HttpResponse::notFound();
    }
}

}  // namespace

std::vector<std::string> sortedListingNames(std::vector<std::string> names) {
    std::erase_if(names, [](const std::string& name) { return !server::isValidUtf8(name); });
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(names.size());
    for (std::string& name : names) keyed.emplace_back(util::lowerCased(name), std::move(name));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> sorted;
    sorted.reserve(keyed.size());
    for (auto& [key, name] : keyed) sorted.push_back(std::move(name));
    return sorted;
}

server::HttpResponse serveDirectoryListing(const server::HttpRequest& request, const std::string& directory) {
    if (request.params.empty()) return server::HttpResponse::notFound();
    const std::string& value = request.params.begin()->second;
    if (value.find('\0') != std::string::npos) return server::HttpResponse::notFound();
    const std::string path = directory + server::fileSeparator + value;
    std::vector<std::string> names;
    try {
        if (!server::fileExists(path)) return server::HttpResponse::notFound();
        if (!server::isDirectoryPath(path)) return plainFileResponse(path);
        names = sortedListingNames(server::directoryEntries(path));
    } catch (const server::FileError&) {
        return server::HttpResponse::internalServerError();
    }
    return htmlPageResponse([&] { directoryListingPage("html", AttributeMap{}, names, request); });
}

server::HttpHandler directoryBrowserHandler(std::string directory) {
    return [directory = std::move(directory)](const server::HttpRequest& request) {
        return serveDirectoryListing(request, directory);
    };
}

void directoryListingPage(std::string_view tag, const AttributeMap& attributes, const std::vector<std::string>& names,
                          const server::HttpRequest& request) {
    evaluateElement(tag, attributes, [&] { directoryListingBody("body", AttributeMap{}, names, request); });
}

void directoryListingBody(std::string_view tag, const AttributeMap& attributes, const std::vector<std::string>& names,
                          const server::HttpRequest& request) {
    evaluateElement(tag, attributes, [&] { directoryListingTable(names, request); });
}

void directoryListingTable(const std::vector<std::string>& names, const server::HttpRequest& request) {
    evaluateElement("table", AttributeMap{}, [&] {
        for (const std::string& name : names) directoryListingRow(name, request);
    });
}

void directoryListingRow(const std::string& name, const server::HttpRequest& request) {
    directoryListingCell("tr", AttributeMap{}, request, name);
}

void directoryListingCell(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request,
                          const std::string& entryName) {
    evaluateEntryElement(tag, attributes, request, entryName, "td", &directoryListingLinkCell);
}

void directoryListingLinkCell(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request,
                              const std::string& entryName) {
    evaluateEntryElement(tag, attributes, request, entryName, "a", &directoryListingAnchor);
}

void directoryListingAnchor(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request,
                            const std::string& entryName) {
    evaluateElement(tag, attributes, [&] { directoryListingLink(request, entryName); });
}

void directoryListingLink(const server::HttpRequest& request, const std::string& entryName) {
    // The separator goes in whatever the path ends with; the name is one encoded segment.
    htmlAttributeSlots()["href"] = escapeHtml(request.path + "/" + percentEncodePathSegment(entryName));
    htmlContentSlot() = escapeHtml(entryName);
}

void evaluateEntryElement(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request,
                          const std::string& entryName, std::string_view childTag, EntryElementChild child) {
    evaluateElement(tag, attributes, [&] { child(childTag, AttributeMap{}, request, entryName); });
}

}  // namespace qv::html
