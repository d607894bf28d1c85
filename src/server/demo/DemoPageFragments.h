#pragma once
// The pieces that the request-dump page and the route-list page are made of: the html-and-body
// frame, the three headings, two-column table rows and cells, and the list content. Each piece
// is one element evaluation (or forwards to one) and writes into the calling thread's page
// buffer. Every outside text (address, path, method, names, values, patterns) is escaped.
//
// They live beside the demonstration handlers rather than in html/: the dump's body and its
// row-cells functions are the handlers' own, and the pieces call them.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "server/HttpRequest.h"
#include "server/html/PageBuilder.h"

namespace qv::serverdemo {

using html::AttributeMap;
using html::Content;

// A body builder with its context bound: called with the tag "body" and an empty map.
using DemoBodyBuilder = std::function<void(std::string_view tag, const AttributeMap& attributes)>;
// Writes the two cells of one row.
using DemoRowCells = void (*)(const std::string& name, const std::string& value);

// html (tag and attributes as given) holding the one body element of `body`.
void demoHtmlBodyPage(std::string_view tag, const AttributeMap& attributes, const DemoBodyBuilder& body);

void demoRequestDumpPage(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request);
void demoRequestDumpBodyElement(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request);

// "Address: " and the peer address ("unknown" when absent), "Url: " and the path, "Method: " and
// the method.
void demoAddressHeading(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request);
void demoUrlHeading(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request);
void demoMethodHeading(std::string_view tag, const AttributeMap& attributes, const server::HttpRequest& request);

void demoTableRowElement(std::string_view tag, const AttributeMap& attributes, const std::string& name,
                         const std::string& value, DemoRowCells cells);
void demoTableCellElement(std::string_view tag, const AttributeMap& attributes, const std::string& text);

// The rows and cells of the dump's three tables.
void demoQueryRow(std::string_view tag, const AttributeMap& attributes, const std::string& name, const std::string& value);
void demoHeaderRow(std::string_view tag, const AttributeMap& attributes, const std::string& name, const std::string& value);
void demoRouteParamRow(std::string_view tag, const AttributeMap& attributes, const std::string& name,
                       const std::string& value);
void demoQueryNameCell(std::string_view tag, const AttributeMap& attributes, const std::string& text);
void demoQueryValueCell(std::string_view tag, const AttributeMap& attributes, const std::string& text);
void demoHeaderNameCell(std::string_view tag, const AttributeMap& attributes, const std::string& text);
void demoHeaderValueCell(std::string_view tag, const AttributeMap& attributes, const std::string& text);
void demoRouteParamNameCell(std::string_view tag, const AttributeMap& attributes, const std::string& text);
void demoRouteParamValueCell(std::string_view tag, const AttributeMap& attributes, const std::string& text);

// The content of the route list: `item` once per pattern, in order. The patterns are read
// through the reference when the content runs.
Content demoRouteListItems(const std::vector<std::string>& patterns, void (*item)(const std::string& pattern));

}  // namespace qv::serverdemo
