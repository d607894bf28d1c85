#include "server/demo/DemoPageFragments.h"

#include "server/demo/DemoServer.h"
#include "server/html/Escaping.h"

namespace qv::serverdemo {

using html::evaluateElement;
using html::escapeHtml;
using html::htmlContentSlot;

void demoHtmlBodyPage(std::string_view tag, const AttributeMap& attributes, const DemoBodyBuilder& body) {
    evaluateElement(tag, attributes, [&] { body("body", AttributeMap{}); });
}

void demoRequestDumpPage(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request) {
    demoHtmlBodyPage(tag, attributes, [&](std::string_view bodyTag, const AttributeMap& bodyAttributes) {
        demoRequestDumpBodyElement(bodyTag, bodyAttributes, request);
    });
}

void demoRequestDumpBodyElement(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request) {
    evaluateElement(tag, attributes, [&] { demoRequestDumpBody(request); });
}

void demoAddressHeading(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request) {
    evaluateElement(tag, attributes,
                    [&] { htmlContentSlot() = "Address: " + escapeHtml(request.address.value_or("unknown")); });
}

void demoUrlHeading(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request) {
    evaluateElement(tag, attributes, [&] { htmlContentSlot() = "Url: " + escapeHtml(request.path); });
}

void demoMethodHeading(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request) {
    evaluateElement(tag, attributes, [&] { htmlContentSlot() = "Method: " + escapeHtml(request.method); });
}

void demoTableRowElement(std::string_view tag, const AttributeMap& attributes, const std::string& name,
                         const std::string& value, DemoRowCells cells) {
    evaluateElement(tag, attributes, [&] { cells(name, value); });
}

void demoTableCellElement(std::string_view tag, const AttributeMap& attributes, const std::string& text) {
    evaluateElement(tag, attributes, [&] { htmlContentSlot() = escapeHtml(text); });
}

void demoQueryRow(std::string_view tag, const AttributeMap& attributes, const std::string& name, const std::string& value) {
    demoTableRowElement(tag, attributes, name, value, &demoQueryRowCells);
}
void demoHeaderRow(std::string_view tag, const AttributeMap& attributes, const std::string& name, const std::string& value) {
    demoTableRowElement(tag, attributes, name, value, &demoHeaderRowCells);
}
void demoRouteParamRow(std::string_view tag, const AttributeMap& attributes, const std::string& name,
                       const std::string& value) {
    demoTableRowElement(tag, attributes, name, value, &demoRouteParamRowCells);
}

void demoQueryNameCell(std::string_view tag, const AttributeMap& attributes, const std::string& text) {
    demoTableCellElement(tag, attributes, text);
}
void demoQueryValueCell(std::string_view tag, const AttributeMap& attributes, const std::string& text) {
    demoTableCellElement(tag, attributes, text);
}
void demoHeaderNameCell(std::string_view tag, const AttributeMap& attributes, const std::string& text) {
    demoTableCellElement(tag, attributes, text);
}
void demoHeaderValueCell(std::string_view tag, const AttributeMap& attributes, const std::string& text) {
    demoTableCellElement(tag, attributes, text);
}
void demoRouteParamNameCell(std::string_view tag, const AttributeMap& attributes, const std::string& text) {
    demoTableCellElement(tag, attributes, text);
}
void demoRouteParamValueCell(std::string_view tag, const AttributeMap& attributes, const std::string& text) {
    demoTableCellElement(tag, attributes, text);
}

Content demoRouteListItems(const std::vector<std::string>& patterns, void (*item)(const std::string& pattern)) {
    return [&patterns, item] {
        for (const std::string& pattern : patterns) item(pattern);
    };
}

}  // namespace qv::serverdemo
