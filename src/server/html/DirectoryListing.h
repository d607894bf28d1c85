#pragma once
// The directory browser: a route handler that answers its route parameter, joined to a fixed
// directory, with a page listing the folder's entries as links, or with the file itself. The
// parameter is the route's last segment, a whole path with each "/" written %2F.
//
// The page is "<!DOCTYPE html>" and html > body > table, one row per entry: tr > td > a, the link
// going to the same route with the folder's path, "/" and the entry's name as its one last
// segment (so "/files/%2Ftmp" links "/files/%2Ftmp%2Fa.txt", which the route answers). Entries
// are every name the folder holds ("." and ".." and dot files too; names that are not UTF-8 are
// left out), sorted by their lower-cased forms, names equal in that form keeping the folder's
// order. Names are escaped in the page and percent-encoded in the links.
//
// It shows the disk, so it answers no page of another site: a request a browser makes for one is
// refused with 403 before any name is looked at (an existing path cannot be told from a missing
// one). Files and pages it sends carry "X-Content-Type-Options: nosniff" and
// "Content-Security-Policy: sandbox": nothing of the disk runs as a page of the server's origin.
#include <string>
#include <string_view>
#include <vector>

#include "server/HttpRequest.h"
#include "server/HttpResponse.h"
#include "server/html/PageBuilder.h"

namespace qv::html {

// A handler that runs serveDirectoryListing with the directory.
server::HttpHandler directoryBrowserHandler(std::string directory);

// A request for a page of another site: 403; no route parameter or no such path: 404; a failing
// file-status query or a folder that cannot be read: 500; a folder: its page; anything else: the
// file, 200 with no type (404 when it does not open).
server::HttpResponse serveDirectoryListing(const server::HttpRequest& request, const std::string& directory);

// The names of a folder listing as the page shows them: UTF-8 names only, sorted by their
// lower-cased forms, stably.
std::vector<std::string> sortedListingNames(std::vector<std::string> names);

// The page's pieces; each writes into the calling thread's page buffer.
void directoryListingPage(std::string_view tag, const AttributeMap& attributes, const std::vector<std::string>& names,
                          const server::HttpRequest& request);
void directoryListingBody(std::string_view tag, const AttributeMap& attributes, const std::vector<std::string>& names,
                          const server::HttpRequest& request);
void directoryListingTable(const std::vector<std::string>& names, const server::HttpRequest& request);
void directoryListingRow(const std::string& name, const server::HttpRequest& request);
void directoryListingCell(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request,
                          const std::string& entryName);
void directoryListingLinkCell(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request,
                              const std::string& entryName);
void directoryListingAnchor(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request,
                            const std::string& entryName);
// The link of one entry of the request's folder.
std::string directoryListingTarget(const server::HttpRequest& request, const std::string& entryName);
// Sets the link's href and text slots for one entry.
void directoryListingLink(const server::HttpRequest& request, const std::string& entryName);

// An element whose only content is one child element written by `child` with `childTag`.
using EntryElementChild = void (*)(std::string_view tag, const AttributeMap& attributes,
                                   const server::HttpRequest& request, const std::string& entryName);
void evaluateEntryElement(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request,
                          const std::string& entryName, std::string_view childTag, EntryElementChild child);

}  // namespace qv::html
