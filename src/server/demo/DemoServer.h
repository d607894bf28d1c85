#pragma once
// The demonstration site of the server library: seventeen routes that each show one feature
// (files, directory listing, parameters and wildcards, pages, forms, raw and streamed answers,
// redirects, a WebSocket echo), a not-found redirect and a middleware that logs every request.
//
//   auto server = buildDemoServer("resources/demo-public");
//   server->start(9081, true);   // loopback only, like every HttpServer
#include <cstddef>
#include <memory>
#include <string>

#include "server/HttpRequest.h"
#include "server/HttpResponse.h"
#include "server/HttpServer.h"
#include "server/html/PageBuilder.h"

namespace qv::serverdemo {

using html::AttributeMap;

// The largest request body the demonstration server takes (uploads of photos and films).
inline constexpr std::size_t demoMaxBodyLength = 64 * 1024 * 1024;

// Prints the public folder on a line of its own and returns the server with its routes, not
// started.
std::shared_ptr<server::HttpServer> buildDemoServer(const std::string& publicDirectory);

// One element of `tag` whose whole content is the fixed text (written as it stands).
void textElement(std::string_view tag, const AttributeMap& attributes, const std::string& text);

// Request dump ("/test/:param1/:param2"): the page and the body's children.
server::HttpResponse demoRequestDumpRoute(const server::HttpRequest& request);
void demoRequestDumpBody(const server::HttpRequest& request);
void demoQueryRowCells(const std::string& name, const std::string& value);
void demoHeaderRowCells(const std::string& name, const std::string& value);
void demoRouteParamRowCells(const std::string& name, const std::string& value);

// Route list ("/"): the patterns of the server's router as links.
server::HttpHandler demoRouteListHandler(const server::HttpServer& server);
void demoRouteListPage(const server::HttpServer& server);
void demoRouteListBody(std::string_view tag, const AttributeMap& attributes, const server::HttpServer& server);
void demoRouteListEntry(const std::string& pattern);
void demoRouteLink(const std::string& pattern);

// Fixed pages.
server::HttpResponse demoUploadFormPageHandler(const server::HttpRequest& request);
server::HttpResponse demoSignInPageHandler(const server::HttpRequest& request);
void demoSignInHead();
void demoSignInBody();
void demoSignInField(const std::string& placeholder, const std::string& name);
server::HttpResponse demoPicturePageHandler(const server::HttpRequest& request);

// Answers of the other routes.
server::HttpResponse demoUploadSummary(const server::HttpRequest& request);
server::HttpResponse demoFormEcho(const server::HttpRequest& request);

}  // namespace qv::serverdemo
