#include "server/html/PageResponse.h"

#include <cstdint>
#include <exception>
#include <span>
#include <string>

#include "server/html/Tags.h"

namespace qv::html {

namespace {

constexpr std::string_view documentTypeLine = "<!DOCTYPE html>";

server::HttpResponse pageResponse() {
    return server::HttpResponse::raw(200, "OK", server::HeaderFields{{"Content-Type", "text/html"}},
                                     &writeHtmlPageBody);
}

}  // namespace

server::HttpResponse htmlPageResponse(const Content& page) {
    htmlPageBuffer().clear();
    if (page) page();
    return pageResponse();
}

server::HttpResponse htmlBodyPageResponse(const Content& body) {
    htmlPageBuffer().clear();
    tags::html([&] { tags::body(body); });
    return pageResponse();
}

void writeHtmlPageBody(server::HttpResponseBodyWriter& writer) {
    std::string text(documentTypeLine);
    text += htmlPageBuffer();
    try {
        writer.write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    } catch (const std::exception&) {
        // The peer has gone; the server closes the connection after this anyway.
    }
}

server::HttpHandler htmlPageHandler(Content page) {
    return [page = std::move(page)](const server::HttpRequest&) { return htmlPageResponse(page); };
}

server::HttpResponse rootPageHandler(const server::HttpRequest&) {
    return htmlBodyPageResponse([] {
        tags::center([] {
            tags::img([] { htmlAttributeSlots()["src"] = std::string(rootPageImageUrl); });
        });
    });
}

}  // namespace qv::html
