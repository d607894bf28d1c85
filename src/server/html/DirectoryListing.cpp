#include "server/html/DirectoryListing.h"

#include <algorithm>
#include <memory>

#include "server/FileServing.h"
#include "server/FileStream.h"
#include "server/HttpRouter.h"
#include "server/Utf8.h"
#include "server/html/Escaping.h"
#include "server/html/PageResponse.h"
#include "util/Strings.h"

namespace qv::html {

namespace {

// What the browser serves of the disk is read as what its type says, never guessed into a script
// or a page; a page of the disk, opened all the same, runs in an origin of its own without scripts.
server::HeaderFields isolatedFields(server::HeaderFields fields = {}) {
    fields.emplace("X-Content-Type-Options", "nosniff");
    fields.emplace("Content-Security-Policy", "sandbox");
    return fields;
}

server::HttpResponse plainFileResponse(const std::string& path) {
    try {
        auto file = std::make_shared<server::File>(server::File::openRegularFile(path));
        return server::HttpResponse::raw(200, "OK", isolatedFields(), [file](server::HttpResponseBodyWriter& writer) {
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
    // Before any name is looked at: a page of another site learns nothing of what exists.
    if (server::isRequestFromAnotherSite(request)) return server::HttpResponse::forbidden();
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
    htmlPageBuffer().clear();
    directoryListingPage("html", AttributeMap{}, names, request);
    return server::HttpResponse::raw(200, "OK", isolatedFields({{"Content-Type", "text/html"}}), &writeHtmlPageBody);
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

std::string directoryListingTarget(const server::HttpRequest& request, const std::string& entryName) {
    // The route's own segments, each as it reads decoded, so that the link goes to the same route
    // whatever escapes or doubled slashes the request was written with.
    std::vector<std::string> segments = util::splitNonEmpty(request.path, '/');
    if (!segments.empty()) segments.pop_back();
    std::string target;
    for (const std::string& segment : segments)
        target += "/" + percentEncodePathSegment(server::percentDecoded(segment).value_or(segment));
    // The entry's whole path is the route's one last segment: every "/" in it written %2F.
    std::string path = request.params.empty() ? std::string() : request.params.begin()->second;
    if (!path.empty() && !path.ends_with('/')) path += '/';
    return target + "/" + percentEncodePathSegment(path + entryName);
}

void directoryListingLink(const server::HttpRequest& request, const std::string& entryName) {
    htmlAttributeSlots()["href"] = escapeHtml(directoryListingTarget(request, entryName));
    htmlContentSlot() = escapeHtml(entryName);
}

void evaluateEntryElement(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request,
                          const std::string& entryName, std::string_view childTag, EntryElementChild child) {
    evaluateElement(tag, attributes, [&] { child(childTag, AttributeMap{}, request, entryName); });
}

}  // namespace qv::html
