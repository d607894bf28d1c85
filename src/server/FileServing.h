#pragma once
// The file share: route handlers that answer the one route parameter of a request with a file
// below a fixed directory, streamed to the connection, and the content-type table.
//
// Only regular files are served; the length sent is the length announced. A share of any folder
// other than "/" refuses names that would leave it ("..", "@@", "/", NUL) with 404.
//
// The share of the whole disk ("/") holds the teacher's own files: it answers local tools and
// loads the browser makes itself, and the program's own pages only for the documents the program
// handed them (a check given by the caller). Any other request that a browser makes for a page,
// of another site or of the program, is refused with 403 whether the file exists or not, so that
// an existing file cannot be told from a missing one. What it serves carries
// "X-Content-Type-Options: nosniff" and "Content-Security-Policy: sandbox" (a file on disk never
// runs as a page of the server's origin) and the file's own name in "Content-Disposition", which
// pages of other origins may read.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "server/HttpRequest.h"
#include "server/HttpResponse.h"

namespace qv::server {

// Whether the program handed the file at this absolute path ("/" written as "/", as the request
// names it) to one of its own pages. Called on the server's threads, several at a time.
using HandedDocuments = std::function<bool(const std::string& path)>;

// A handler serving files of the directory; an empty name tries the default names in order. It
// answers at once (a QuickHandler) when the file is named and already in the kernel's caches, and
// when the whole-disk share refuses the request. Without `handed`, the whole-disk share answers no
// page at all.
HttpHandler fileShareHandler(std::string directory, std::vector<std::string> defaults, HandedDocuments handed = {});
HttpResponse serveFileFromDirectory(const HttpRequest& request, const std::vector<std::string>& defaults,
                                    const std::string& directory, const HandedDocuments& handed = {});
// The file of a named request when it can be opened and read without waiting on a disk, or the
// whole-disk share's refusal; nothing otherwise (serveFileFromDirectory then gives the answer).
std::optional<HttpResponse> serveCachedFileFromDirectory(const HttpRequest& request, const std::string& directory,
                                                         const HandedDocuments& handed = {});
// A handler that ignores the request and serves one fixed file.
HttpHandler singleFileHandler(std::string path);

// Whether a browser made the request for a page of another site, as its Fetch Metadata tell:
// Sec-Fetch-Site is "cross-site", "same-site" (every port of this machine is the same site) or a
// value unknown here. The program's own pages (quorvane://app) are another site too: what they
// may read is decided per document. Loads the browser makes itself say "none", the server's own
// pages "same-origin"; clients that are no browser send nothing.
bool isRequestFromAnotherSite(const HttpRequest& request);

// Whether the whole-disk share answers this request for the file at `path`: not for another
// site, unless the request comes from the program's own pages (it names an Origin, which the
// engine only lets through when it trusts it) and the program handed them that file.
bool wholeDiskShareAnswers(const HttpRequest& request, const std::string& path, const HandedDocuments& handed);

// The type for a path's extension (lower-cased), else "application/octet-stream".
std::string contentTypeForPath(const std::string& path);

}  // namespace qv::server
