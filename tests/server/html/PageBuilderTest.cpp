#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "server/html/PageBuilder.h"
#include "server/html/Tags.h"
#include "server/html/PageTestSupport.h"

namespace {

using namespace qv::html;
using namespace qv::html::tags;

using qv::html::test::render;
using qv::html::test::slot;

struct Golden {
    const char* name;
    Content page;
    std::string expected;
};

TEST(EvaluateElement, SlotRulesGiveTheseExactPages) {
    const Golden cases[] = {
        {"empty closure", [] { p({}); }, "<p></p>"},
        {"closure that does nothing", [] { div([] {}); }, "<div></div>"},
        {"children in call order",
         [] {
             div([] {
                 p([] { htmlContentSlot() = "one"; });
                 span([] { htmlContentSlot() = "two"; });
             });
         },
         "<div><p>one</p><span>two</span></div>"},
        {"deep nesting",
         [] { html([] { body([] { ol([] { li([] { b([] { htmlContentSlot() = "x"; }); }); }); }); }); },
         "<html><body><ol><li><b>x</b></li></ol></body></html>"},
        {"content slot drops children but keeps attributes",
         [] {
             div([] {
                 p([] { htmlContentSlot() = "lost"; });
                 slot("id") = "keep";
                 htmlContentSlot() = "text";
                 span({});
             });
         },
         "<div id=\"keep\">text</div>"},
        {"empty content slot drops children",
         [] {
             div([] {
                 p({});
                 htmlContentSlot() = "";
             });
         },
         "<div></div>"},
        {"no leak upward",
         [] {
             div([] {
                 p([] { slot("class") = "child"; });
             });
         },
         "<div><p class=\"child\"></p></div>"},
        {"no leak downward, parent keeps its slot",
         [] {
             div([] {
                 slot("class") = "parent";
                 p([] { slot("id") = "c"; });
                 span({});
             });
         },
         "<div class=\"parent\"><p id=\"c\"></p><span></span></div>"},
        {"slot set after children belongs to the parent",
         [] {
             ul([] {
                 li({});
                 slot("title") = "after";
             });
         },
         "<ul title=\"after\"><li></li></ul>"},
        {"last assignment wins", [] { a([] { slot("href") = "/first"; slot("href") = "/second"; }); },
         "<a href=\"/second\"></a>"},
        {"slot set back to absent is not written", [] { a([] { slot("href") = "/x"; slot("href").reset(); }); },
         "<a></a>"},
        {"explicit empty value", [] { img([] { slot("alt") = ""; }); }, "<img alt=\"\"></img>"},
        {"names differing in case are two attributes",
         [] { input([] { slot("name") = "lower"; slot("Name") = "upper"; }); },
         "<input Name=\"upper\" name=\"lower\"></input>"},
        {"content attribute is not the content slot",
         [] { meta([] { slot("content") = "width=device-width"; }); },
         "<meta content=\"width=device-width\"></meta>"},
        {"written verbatim, nothing escaped",
         [] {
             p([] {
                 slot("title") = "a \"quoted\" <b> & c";
                 htmlContentSlot() = "<i>&amp;</i>";
             });
         },
         "<p title=\"a \"quoted\" <b> & c\"><i>&amp;</i></p>"},
        {"non-ASCII text passes unchanged", [] { p([] { htmlContentSlot() = "Grüße ✓"; }); }, "<p>Grüße ✓</p>"},
        {"slots render in slot order whatever the assignment order",
         [] {
             a([] {
                 slot("target") = "_blank";
                 slot("href") = "/h";
                 slot("id") = "i";
                 slot("class") = "c";
             });
         },
         "<a id=\"i\" href=\"/h\" class=\"c\" target=\"_blank\"></a>"},
        {"two top-level elements follow each other",
         [] {
             br({});
             hr({});
         },
         "<br></br><hr></hr>"},
    };
    for (const auto& c : cases) EXPECT_EQ(render(c.page), c.expected) << c.name;
}

TEST(EvaluateElement, ExplicitAttributesWinOverSlots) {
    const Golden cases[] = {
        {"explicit replaces slot",
         [] { evaluateElement("a", {{"href", "/explicit"}}, [] { slot("href") = "/slot"; }); },
         "<a href=\"/explicit\"></a>"},
        {"explicit absent suppresses slot",
         [] { evaluateElement("a", {{"href", std::nullopt}, {"id", "x"}}, [] { slot("href") = "/slot"; }); },
         "<a id=\"x\"></a>"},
        {"explicit empty value", [] { evaluateElement("option", {{"selected", ""}}, {}); },
         "<option selected=\"\"></option>"},
        {"names outside the slots follow the slots in name order",
         [] {
             evaluateElement("div", {{"data-z", "2"}, {"aria-label", "1"}, {"id", "e"}},
                             [] { slot("class") = "c"; });
         },
         "<div id=\"e\" class=\"c\" aria-label=\"1\" data-z=\"2\"></div>"},
        {"empty tag and empty name are written unchanged", [] { evaluateElement("", {{"", "v"}}, {}); },
         "< =\"v\"></>"},
    };
    for (const auto& c : cases) EXPECT_EQ(render(c.page), c.expected) << c.name;
}

TEST(EvaluateElement, KeepsTextAlreadyInTheBuffer) {
    htmlPageBuffer() = "before";
    p([] { htmlContentSlot() = "x"; });
    EXPECT_EQ(htmlPageBuffer(), "before<p>x</p>");
}

TEST(EvaluateElement, LeavesEverySlotAsItFoundIt) {
    for (auto name : attributeSlotNames) htmlAttributeSlots()[name] = std::string("outer-") + std::string(name);
    htmlContentSlot() = "outer content";
    std::string seenInside;
    const std::string page = render([&] {
        div([&] {
            seenInside = slot("id").value_or("absent") + "/" + htmlContentSlot().value_or("absent");
            for (auto name : attributeSlotNames) htmlAttributeSlots()[name] = "inner";
            htmlContentSlot() = "inner content";
        });
    });
    EXPECT_EQ(seenInside, "absent/absent") << "slots must be cleared for the element's own closure";
    for (auto name : attributeSlotNames) EXPECT_EQ(slot(name), "outer-" + std::string(name)) << name;
    EXPECT_EQ(htmlContentSlot(), "outer content");
    EXPECT_EQ(page.find("outer"), std::string::npos) << "slots set outside any element are never written";
    for (auto name : attributeSlotNames) slot(name).reset();
    htmlContentSlot().reset();
}

TEST(EvaluateElement, ThrowingClosureDropsTheElementAndRestoresState) {
    htmlPageBuffer() = "<p></p>";
    slot("id") = "kept";
    EXPECT_THROW(div([] {
                     slot("id") = "inner";
                     span({});
                     throw std::runtime_error("page failed");
                 }),
                 std::runtime_error);
    EXPECT_EQ(htmlPageBuffer(), "<p></p>");
    EXPECT_EQ(slot("id"), "kept");
    slot("id").reset();
}

TEST(AttributeSlots, HoldExactlyTheCaseSensitiveNames) {
    EXPECT_EQ(attributeSlotNames.size(), 124u);
    for (std::size_t i = 0; i < attributeSlotNames.size(); ++i)
        EXPECT_EQ(AttributeSlots::indexOf(attributeSlotNames[i]), i) << "duplicate " << attributeSlotNames[i];
    for (const char* name : {"id", "Name", "name", "http-equiv", "data-text", "accept-charset", "ontouchstart"})
        EXPECT_TRUE(AttributeSlots::indexOf(name)) << name;
    for (const char* name : {"ID", "NAME", "aria-label", "onerror", ""}) {
        EXPECT_FALSE(AttributeSlots::indexOf(name)) << name;
        EXPECT_THROW(slot(name), std::invalid_argument) << name;
    }
}

TEST(RenderAttributes, WritesPresentValuesInListOrder) {
    EXPECT_EQ(renderAttributes({}), "");
    EXPECT_EQ(renderAttributes({{"a", std::nullopt}, {"b", std::nullopt}}), "");
    EXPECT_EQ(renderAttributes({{"z", "1"}, {"gone", std::nullopt}, {"a", ""}, {"q", "\"&<"}}),
              " z=\"1\" a=\"\" q=\"\"&<\"");
}

}  // namespace
