// The request-dump pieces on their own: absent and empty addresses, escaping, builder slots
// left as they were found.
#include <gtest/gtest.h>

#include "server/demo/DemoPageFragments.h"
#include "server/demo/DemoServer.h"

namespace qv::serverdemo {
namespace {

std::string render(const html::Content& page) {
    html::htmlPageBuffer().clear();
    page();
    return html::htmlPageBuffer();
}

TEST(DemoPageFragments, AddressHeadingsAndSlotsRestored) {
    server::HttpRequest request;
    request.path = "/a<b";
    request.method = "get";
    request.address = std::nullopt;
    EXPECT_EQ(render([&] { demoAddressHeading("h3", {}, request); }), "<h3>Address: unknown</h3>");
    request.address = "";
    EXPECT_EQ(render([&] { demoAddressHeading("h3", {}, request); }), "<h3>Address: </h3>");
    EXPECT_EQ(render([&] { demoUrlHeading("h3", {}, request); }), "<h3>Url: /a&lt;b</h3>");
    EXPECT_EQ(render([&] { demoMethodHeading("h3", {}, request); }), "<h3>Method: get</h3>");

    // Slots set by the enclosing element belong to it, not to the pieces inside.
    const std::string page = render([&] {
        html::evaluateElement("div", {}, [&] {
            html::htmlAttributeSlots()["id"] = "outer";
            demoQueryRow("tr", {}, "", "v&");
            demoTableCellElement("td", {}, "");
        });
    });
    EXPECT_EQ(page, "<div id=\"outer\"><tr><td></td><td>v&amp;</td></tr><td></td></div>");
    EXPECT_FALSE(html::htmlAttributeSlots()["id"].has_value());
    EXPECT_FALSE(html::htmlContentSlot().has_value());
}

TEST(DemoPageFragments, FrameHandsTheBodyTagAndAnEmptyMap) {
    const std::string page = render([] {
        demoHtmlBodyPage("html", {{"lang", "en"}}, [](std::string_view tag, const html::AttributeMap& attributes) {
            EXPECT_EQ(tag, "body");
            EXPECT_TRUE(attributes.empty());
            textElement("p", {{"class", std::nullopt}, {"title", "t"}}, "<kept as written>");
        });
    });
    EXPECT_EQ(page, "<html lang=\"en\"><p title=\"t\"><kept as written></p></html>");
    std::vector<std::string> none;
    EXPECT_EQ(render([&] { html::evaluateElement("ul", {}, demoRouteListItems(none, &demoRouteListEntry)); }), "<ul></ul>");
}

}  // namespace
}  // namespace qv::serverdemo
