#pragma once
// The file share: route handlers that answer the one route parameter of a request with a file
// below a fixed directory, streamed to the connection, and the content-type table.
//
// Only regular files are served; the length sent is the length announced. A share of any folder
// other than "/" refuses names that would leave it ("..", "@@", "/", NUL) with 404.
//
// The share of the whole disk ("/") holds the teacher's own files: it answers only the program's
// own pages and local tools. A request that a browser makes for a page of another site is refused
// with 403 before any name is looked at, so that an existing file cannot be told from a missing
// one. What it serves carries "X-Content-Type-Options: nosniff" and "Content-Security-Policy:
// sandbox": a file on disk never runs as a page of the server's origin.
#include <optional>
#include <string>
#include <vector>

#include "server/HttpRequest.h"
#include "server/HttpResponse.h"

namespace qv::server {

// A handler serving files of the directory; an empty name tries the default names in order. It
// answers at once (a QuickHandler) when the file is named and already in the kernel's caches, and
// when the whole-disk share refuses the request.
HttpHandler fileShareHandler(std::string directory, std::vector<std::string> defaults);
HttpResponse serveFileFromDirectory(const HttpRequest& request, const std::vector<std::string>& defaults,
                                    const std::string& directory);
// The file of a named request when it can be opened and read without waiting on a disk, or the
// whole-disk share's refusal; nothing otherwise (serveFileFromDirectory then gives the answer).
std::optional<HttpResponse> serveCachedFileFromDirectory(const HttpRequest& request, const std::string& directory);
// A handler that ignores the request and serves one fixed file.
HttpHandler singleFileHandler(std::string path);

// Whether a browser made the request for a page of another site, as its Fetch Metadata tell:
// Sec-Fetch-Site is "cross-site", "same-site" (every port of this machine is the same site) or a
// value unknown here, and no Origin names the page. The engine answers a request with an Origin
// only when it trusts that origin (the program's own pages), so one that carries an Origin is
// theirs. Loads the browser makes itself say "none"; clients that are no browser send nothing.
bool isRequestFromAnotherSite(const HttpRequest& request);

// The type for a path's extension (lower-cased), else "application/octet-stream".
std::string contentTypeForPath(const std::string& path);

}  // namespace qv::server
