#pragma once
// Page responses: a page built with the page builder, sent by the server as "<!DOCTYPE html>"
// followed by the page text. The page is built into the calling thread's page buffer when the
// response is made, and the body writer reads that same buffer when the response is sent, so the
// thread that runs the route handler must send its response before building another page (the
// server's connection threads do exactly that).
#include <string_view>

#include "server/HttpRequest.h"
#include "server/HttpResponse.h"
#include "server/html/PageBuilder.h"

namespace qv::html {

// Empties the calling thread's page buffer, runs the page and answers 200 "OK" with the one
// header "Content-Type: text/html", no length and `writeHtmlPageBody` as its body writer.
server::HttpResponse htmlPageResponse(const Content& page);

// The same for a page of an html element whose only child is a body element with this content.
server::HttpResponse htmlBodyPageResponse(const Content& body);

// Writes "<!DOCTYPE html>" and the calling thread's page text in one write. A failed write (the
// peer has gone) is dropped without a report.
void writeHtmlPageBody(server::HttpResponseBodyWriter& writer);

// A route handler that ignores the request and answers `htmlPageResponse(page)`, building the
// page afresh for every request. The handler keeps its own copy of the page.
server::HttpHandler htmlPageHandler(Content page);

// The image shown by the root page.
inline constexpr std::string_view rootPageImageUrl = "https://www.swift.org/assets/images/swift.svg";

// The server's answer at "/", whatever the request: a centred image.
server::HttpResponse rootPageHandler(const server::HttpRequest& request);

}  // namespace qv::html
