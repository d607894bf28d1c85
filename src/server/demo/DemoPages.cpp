// The fixed pages of the demonstration site and its route list.
#include <string>

#include "server/demo/DemoHosts.h"
#include "server/demo/DemoPageFragments.h"
#include "server/demo/DemoServer.h"
#include "server/html/Escaping.h"
#include "server/html/PageResponse.h"
#include "server/html/Tags.h"

namespace qv::serverdemo {

using html::evaluateElement;
using html::htmlAttributeSlots;
using html::htmlContentSlot;
namespace tags = html::tags;

void textElement(std::string_view tag, const AttributeMap& attributes, const std::string& text) {
    evaluateElement(tag, attributes, [&] { htmlContentSlot() = text; });
}

server::HttpHandler demoRouteListHandler(const server::HttpServer& server) {
    // The server owns its router and the router this handler, so the server outlives it.
    const server::HttpServer* owner = &server;
    return html::htmlPageHandler([owner] { demoRouteListPage(*owner); });
}

void demoRouteListPage(const server::HttpServer& server) {
    demoHtmlBodyPage("html", AttributeMap{}, [&](std::string_view tag, const AttributeMap& attributes) {
        demoRouteListBody(tag, attributes, server);
    });
}

void demoRouteListBody(std::string_view tag, const AttributeMap& attributes, const server::HttpServer& server) {
    evaluateElement(tag, attributes, [&] {
        const std::vector<std::string> patterns = server.router.routePatterns();
        evaluateElement("ul", AttributeMap{}, demoRouteListItems(patterns, &demoRouteListEntry));
    });
}

void demoRouteListEntry(const std::string& pattern) {
    evaluateElement("li", AttributeMap{}, [&] { demoRouteLink(pattern); });
}

void demoRouteLink(const std::string& pattern) {
    evaluateElement("a", AttributeMap{}, [&] {
        htmlAttributeSlots()["href"] = html::escapeHtml(pattern);
        htmlContentSlot() = html::escapeHtml(pattern);
    });
}

server::HttpResponse demoUploadFormPageHandler(const server::HttpRequest&) {
    return html::htmlBodyPageResponse([] {
        tags::form([] {
            htmlAttributeSlots()["method"] = "POST";
            htmlAttributeSlots()["action"] = "/upload";
            htmlAttributeSlots()["enctype"] = "multipart/form-data";
            for (const char* name : {"my_file1", "my_file2", "my_file3"}) {
                tags::input([name] {
                    htmlAttributeSlots()["name"] = name;
                    htmlAttributeSlots()["type"] = "file";
                });
            }
            tags::button([] {
                htmlAttributeSlots()["type"] = "submit";
                htmlContentSlot() = "Upload";
            });
        });
    });
}

void demoSignInField(const std::string& placeholder, const std::string& name) {
    htmlAttributeSlots()["placeholder"] = placeholder;
    htmlAttributeSlots()["name"] = name;
    htmlAttributeSlots()["type"] = name;
}

void demoSignInHead() {
    tags::script([] { htmlAttributeSlots()["src"] = std::string(contentDeliveryHost) + std::string(scriptLibraryPath); });
    tags::cssLink([] { htmlAttributeSlots()["href"] = std::string(contentDeliveryHost) + std::string(stylesheetPath); });
}

void demoSignInBody() {
    textElement("h3", AttributeMap{}, "Sign In");
    tags::form([] {
        htmlAttributeSlots()["method"] = "POST";
        htmlAttributeSlots()["action"] = "/login";
        tags::fieldset([] {
            tags::input([] { demoSignInField("E-mail", "email"); });
            tags::input([] { demoSignInField("Password", "password"); });
            tags::a([] {
                htmlAttributeSlots()["href"] = "/login";
                tags::button([] {
                    htmlAttributeSlots()["type"] = "submit";
                    htmlContentSlot() = "Login";
                });
            });
        });
    });
    tags::jsScript(
        [] { htmlAttributeSlots()["src"] = std::string(contentDeliveryHost) + std::string(stylesheetScriptPath); });
}

server::HttpResponse demoSignInPageHandler(const server::HttpRequest&) {
    return html::htmlPageResponse([] {
        tags::html([] {
            tags::head(demoSignInHead);
            tags::body(demoSignInBody);
        });
    });
}

server::HttpResponse demoPicturePageHandler(const server::HttpRequest&) {
    return html::htmlBodyPageResponse([] {
        tags::center([] {
            textElement("h2", AttributeMap{}, "Hello Swift");
            tags::img([] { htmlAttributeSlots()["src"] = std::string(pictureHost) + std::string(picturePath); });
        });
    });
}

}  // namespace qv::serverdemo
