#pragma once
// The Content-Security-Policy header on the pages the server sends of its own (the root page, the
// lessons): what a page may run and where it may load from and connect to.
//
//   server.router.addRoute(std::nullopt, "/", withContentSecurityPolicy(html::rootPageHandler, policy));
#include <string>

#include "server/HttpResponse.h"

namespace qv::server {

// The handler's answers with a body carry "Content-Security-Policy: <policy>"; a policy the
// answer sets itself stays. A QuickHandler stays one, so its answers at once still come at once.
HttpHandler withContentSecurityPolicy(HttpHandler handler, std::string policy);
HttpResponse withContentSecurityPolicy(const HttpResponse& response, const std::string& policy);

}  // namespace qv::server
