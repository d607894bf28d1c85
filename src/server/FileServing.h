#pragma once
// The file share: route handlers that answer the one route parameter of a request with a file
// below a fixed directory, streamed to the connection, and the content-type table.
//
// Only regular files are served; the length sent is the length announced. A share of any folder
// other than "/" refuses names that would leave it ("..", "@@", "/", NUL) with 404.
#include <optional>
#include <string>
#include <vector>

#include "server/HttpRequest.h"
#include "server/HttpResponse.h"

namespace qv::server {

// A handler serving files of the directory; an empty name tries the default names in order. It
// answers at once (a QuickHandler) when the file is named and already in the kernel's caches.
HttpHandler fileShareHandler(std::string directory, std::vector<std::string> defaults);
HttpResponse serveFileFromDirectory(const HttpRequest& request, const std::vector<std::string>& defaults,
                                    const std::string& directory);
// The file of a named request when it can be opened and read without waiting on a disk; nothing
// otherwise (serveFileFromDirectory then gives the answer).
std::optional<HttpResponse> serveCachedFileFromDirectory(const HttpRequest& request, const std::string& directory);
// A handler that ignores the request and serves one fixed file.
HttpHandler singleFileHandler(std::string path);

// The type for a path's extension (lower-cased), else "application/octet-stream".
std::string contentTypeForPath(const std::string& path);

}  // namespace qv::server
