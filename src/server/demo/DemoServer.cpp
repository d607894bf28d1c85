#include "server/demo/DemoServer.h"

#include <string>
#include <vector>

#include "server/FileServing.h"
#include "server/FormParsing.h"
#include "server/WebSocket.h"
#include "server/demo/DemoHosts.h"
#include "server/demo/DemoPageFragments.h"
#include "server/html/DirectoryListing.h"
#include "server/html/Escaping.h"
#include "server/html/PageResponse.h"
#include "util/Print.h"

namespace qv::serverdemo {

using html::escapeHtml;
using server::HttpRequest;
using server::HttpResponse;
using server::HttpResponseBody;

namespace {

// A text answer: the text inside the fixed html and body frame, with a length.
HttpResponse textAnswer(const std::string& text) { return HttpResponse::ok(HttpResponseBody::htmlBody(text)); }

template <typename Items, typename Row>
void demoTable(const Items& items, Row row) {
    html::evaluateElement("table", AttributeMap{}, [&] {
        for (const auto& [name, value] : items) row("tr", AttributeMap{}, name, value);
    });
}

std::string longText() {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "(" + std::to_string(i) + "),->";
    return text;
}

HttpResponse streamAnswer() {
    return HttpResponse::raw(200, "OK", std::nullopt, [](server::HttpResponseBodyWriter& writer) {
        for (int i = 0; i <= 100; ++i) writer.write(std::string_view("[chunk " + std::to_string(i) + "]"));
    });
}

server::HttpHandler webSocketEcho() {
    return server::webSocketHandler(
        [](server::WebSocketSession& session, const std::string& text) {
            session.writeFrame(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                               server::WebSocketSession::OpCode::text, true);
        },
        [](server::WebSocketSession& session, const std::vector<std::uint8_t>& bytes) {
            session.writeFrame(bytes, server::WebSocketSession::OpCode::binary, true);
        },
        [](server::WebSocketSession&, const std::vector<std::uint8_t>&) {}, [](server::WebSocketSession&) {},
        [](server::WebSocketSession&) {});
}

}  // namespace

HttpResponse demoRequestDumpRoute(const HttpRequest& request) {
    return html::htmlPageResponse([&] { demoRequestDumpPage("html", AttributeMap{}, request); });
}

void demoRequestDumpBody(const HttpRequest& request) {
    demoAddressHeading("h3", AttributeMap{}, request);
    demoUrlHeading("h3", AttributeMap{}, request);
    demoMethodHeading("h3", AttributeMap{}, request);
    textElement("h3", AttributeMap{}, "Query:");
    demoTable(request.queryParams, &demoQueryRow);
    textElement("h3", AttributeMap{}, "Headers:");
    demoTable(request.headers, &demoHeaderRow);
    textElement("h3", AttributeMap{}, "Route params:");
    demoTable(request.params, &demoRouteParamRow);
}

void demoQueryRowCells(const std::string& name, const std::string& value) {
    demoQueryNameCell("td", AttributeMap{}, name);
    demoQueryValueCell("td", AttributeMap{}, value);
}

void demoHeaderRowCells(const std::string& name, const std::string& value) {
    demoHeaderNameCell("td", AttributeMap{}, name);
    demoHeaderValueCell("td", AttributeMap{}, value);
}

void demoRouteParamRowCells(const std::string& name, const std::string& value) {
    demoRouteParamNameCell("td", AttributeMap{}, name);
    demoRouteParamValueCell("td", AttributeMap{}, value);
}

HttpResponse demoUploadSummary(const HttpRequest& request) {
    std::string text;
    for (const server::MultiPart& part : server::parseMultiPartForm(request)) {
        std::optional<std::string> name = part.name();
        if (!name) continue;
        std::optional<std::string> fileName = part.fileName();
        if (!fileName) continue;
        text += "Name: " + escapeHtml(*name) + " File name: " + escapeHtml(*fileName) +
                " Size: " + std::to_string(part.body.size()) + "<br>";
    }
    return textAnswer(text);
}

HttpResponse demoFormEcho(const HttpRequest& request) {
    std::string text;
    bool first = true;
    for (const auto& [name, value] : server::parseUrlencodedForm(request)) {
        if (!first) text += "<br>";
        first = false;
        text += escapeHtml(name) + " = " + escapeHtml(value);
    }
    return textAnswer(text);
}

std::shared_ptr<server::HttpServer> buildDemoServer(const std::string& publicDirectory) {
    util::writeLine(publicDirectory);
    auto server = std::make_shared<server::HttpServer>();
    // The upload page takes photos and films, not only the small requests of the program's pages.
    server::HttpServerLimits limits;
    limits.maxBodyLength = demoMaxBodyLength;
    limits.pendingRequestBytes = 4 * demoMaxBodyLength;
    server->setLimits(limits);
    server::HttpRouter& router = server->router;
    const std::vector<std::string> defaults{"index.html", "default.html"};
    router.addRoute(std::nullopt, "/public/:path", [defaults, publicDirectory](const HttpRequest& request) {
        return server::serveFileFromDirectory(request, defaults, publicDirectory);
    });
    router.addRoute(std::nullopt, "/files/:path", html::directoryBrowserHandler("/"));
    router.addRoute(std::nullopt, "/", demoRouteListHandler(*server));
    router.addRoute(std::nullopt, "/magic",
                    [](const HttpRequest& request) { return textAnswer("You asked for " + escapeHtml(request.path)); });
    router.addRoute(std::nullopt, "/test/:param1/:param2", &demoRequestDumpRoute);
    server->GET["/upload"] = &demoUploadFormPageHandler;
    server->POST["/upload"] = &demoUploadSummary;
    server->GET["/login"] = &demoSignInPageHandler;
    server->POST["/login"] = &demoFormEcho;
    router.addRoute(std::nullopt, "/demo", &demoPicturePageHandler);
    router.addRoute(std::nullopt, "/raw", [](const HttpRequest&) {
        return HttpResponse::raw(200, "OK", server::HeaderFields{{"XXX-Custom-Header", "value"}},
                                 [](server::HttpResponseBodyWriter& writer) { writer.write(std::string_view("test")); });
    });
    router.addRoute(std::nullopt, "/redirect/permanently",
                    [](const HttpRequest&) { return HttpResponse::movedPermanently(std::string(redirectTargetSite)); });
    router.addRoute(std::nullopt, "/redirect/temporarily",
                    [](const HttpRequest&) { return HttpResponse::movedTemporarily(std::string(redirectTargetSite)); });
    router.addRoute(std::nullopt, "/long", [](const HttpRequest&) { return textAnswer(longText()); });
    router.addRoute(std::nullopt, "/wildcard/*/test/*/:param",
                    [](const HttpRequest& request) { return textAnswer(escapeHtml(request.path)); });
    router.addRoute(std::nullopt, "/stream", [](const HttpRequest&) { return streamAnswer(); });
    router.addRoute(std::nullopt, "/websocket-echo", webSocketEcho());
    server->notFoundHandler = [](const HttpRequest&) {
        return HttpResponse::movedPermanently(std::string(notFoundTargetPage));
    };
    server->middleware.push_back([](const HttpRequest& request) -> std::optional<HttpResponse> {
        util::writeLine("Middleware: " + request.address.value_or("unknown address") + " -> " + request.method + " -> " +
                        request.path);
        return std::nullopt;
    });
    return server;
}

}  // namespace qv::serverdemo
