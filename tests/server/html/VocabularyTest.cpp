#include <gtest/gtest.h>

#include <list>
#include <set>
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

struct TagCase {
    void (*function)(const Content&);
    const char* tag;
};

// Written out by hand, apart from the vocabulary's own list, so that a function writing the
// wrong tag text shows here.
const TagCase allTags[] = {
        {&a, "a"}, {&b, "b"}, {&i, "i"}, {&p, "p"}, {&q, "q"}, {&s, "s"}, {&u, "u"}, {&br, "br"},
        {&dd, "dd"}, {&dl, "dl"}, {&dt, "dt"}, {&em, "em"}, {&h1, "h1"}, {&h2, "h2"}, {&h3, "h3"},
        {&h4, "h4"}, {&h5, "h5"}, {&h6, "h6"}, {&hr, "hr"}, {&li, "li"}, {&ol, "ol"}, {&rp, "rp"},
        {&rt, "rt"}, {&td, "td"}, {&th, "th"}, {&tr, "tr"}, {&tt, "tt"}, {&ul, "ul"}, {&bdi, "bdi"},
        {&bdo, "bdo"}, {&big, "big"}, {&col, "col"}, {&del, "del"}, {&dfn, "dfn"}, {&dir, "dir"},
        {&div, "div"}, {&img, "img"}, {&ins, "ins"}, {&kbd, "kbd"}, {&map, "map"}, {&nav, "nav"},
        {&pre, "pre"}, {&rtc, "rtc"}, {&sub, "sub"}, {&sup, "sup"}, {&var, "var"}, {&wbr, "wbr"},
        {&xmp, "xmp"}, {&abbr, "abbr"}, {&area, "area"}, {&base, "base"}, {&body, "body"}, {&cite, "cite"},
        {&code, "code"}, {&data, "data"}, {&font, "font"}, {&form, "form"}, {&head, "head"},
        {&html, "html"}, {&link, "link"}, {&main, "main"}, {&mark, "mark"}, {&menu, "menu"},
        {&meta, "meta"}, {&nobr, "nobr"}, {&ruby, "ruby"}, {&samp, "samp"}, {&span, "span"},
        {&time, "time"}, {&aside, "aside"}, {&audio, "audio"}, {&blink, "blink"}, {&embed, "embed"},
        {&frame, "frame"}, {&image, "image"}, {&input, "input"}, {&label, "label"}, {&meter, "meter"},
        {&param, "param"}, {&small, "small"}, {&style, "style"}, {&table, "table"}, {&tbody, "tbody"},
        {&tfoot, "tfoot"}, {&thead, "thead"}, {&title, "title"}, {&track, "track"}, {&video, "video"},
        {&applet, "applet"}, {&button, "button"}, {&canvas, "canvas"}, {&center, "center"},
        {&dialog, "dialog"}, {&figure, "figure"}, {&footer, "footer"}, {&header, "header"},
        {&hgroup, "hgroup"}, {&iframe, "iframe"}, {&keygen, "keygen"}, {&legend, "legend"},
        {&object, "object"}, {&option, "option"}, {&output, "output"}, {&script, "script"},
        {&select, "select"}, {&shadow, "shadow"}, {&source, "source"}, {&spacer, "spacer"},
        {&strike, "strike"}, {&strong, "strong"}, {&acronym, "acronym"}, {&address, "address"},
        {&article, "article"}, {&bgsound, "bgsound"}, {&caption, "caption"}, {&command, "command"},
        {&content, "content"}, {&details, "details"}, {&element, "element"}, {&isindex, "isindex"},
        {&listing, "listing"}, {&marquee, "marquee"}, {&noembed, "noembed"}, {&picture, "picture"},
        {&section, "section"}, {&summary, "summary"}, {&basefont, "basefont"}, {&colgroup, "colgroup"},
        {&datalist, "datalist"}, {&fieldset, "fieldset"}, {&frameset, "frameset"}, {&menuitem, "menuitem"},
        {&multicol, "multicol"}, {&noframes, "noframes"}, {&noscript, "noscript"}, {&optgroup, "optgroup"},
        {&progress, "progress"}, {&template_, "template"}, {&textarea, "textarea"},
        {&plaintext, "plaintext"}, {&blockquote, "blockquote"}, {&figcaption, "figcaption"},
};

TEST(Vocabulary, EveryTagFunctionWritesItsOwnTagWithAnEndTag) {
    EXPECT_EQ(std::size(allTags), 142u);
    std::set<std::string> seen;
    for (const auto& c : allTags) {
        EXPECT_TRUE(seen.insert(c.tag).second) << c.tag;
        const std::string tag = c.tag;
        EXPECT_EQ(render([&] { c.function([] { slot("id") = "x"; }); }), "<" + tag + " id=\"x\"></" + tag + ">");
    }
}

TEST(Vocabulary, VoidElementsAndImageRenderLikeAnyOther) {
    EXPECT_EQ(render([] { br({}); }), "<br></br>");
    EXPECT_EQ(render([] { img([] { slot("src") = "a.png"; }); }), "<img src=\"a.png\"></img>");
    EXPECT_EQ(render([] { image({}); }), "<image></image>");
    EXPECT_EQ(render([] { template_({}); }), "<template></template>");
}

TEST(Vocabulary, PresetsCarryTheirFixedAttributes) {
    const struct {
        const char* name;
        Content page;
        std::string expected;
    } cases[] = {
        {"css link, href beside the preset",
         [] { cssLink([] { slot("href") = "/style.css"; }); },
         "<link rel=\"stylesheet\" type=\"text/css\" href=\"/style.css\"></link>"},
        {"css link ignores rel and type slots",
         [] {
             cssLink([] {
                 slot("rel") = "icon";
                 slot("type") = "image/png";
             });
         },
         "<link rel=\"stylesheet\" type=\"text/css\"></link>"},
        {"script preset", [] { jsScript([] { slot("src") = "/app.js"; slot("type") = "module"; }); },
         "<script src=\"/app.js\" type=\"text/javascript\"></script>"},
        {"plain link writes only its slots", [] { link([] { slot("href") = "/x"; }); }, "<link href=\"/x\"></link>"},
        {"plain script writes only its slots", [] { script({}); }, "<script></script>"},
    };
    for (const auto& c : cases) EXPECT_EQ(render(c.page), c.expected) << c.name;
}

TEST(Vocabulary, SequenceFormsRunOneClosurePerItemInOrder) {
    const std::vector<std::string> three{"one", "two", "three"};
    const auto item = [](const std::string& text) { li([&] { htmlContentSlot() = text; }); };
    EXPECT_EQ(render([&] { ul(three, item); }), "<ul><li>one</li><li>two</li><li>three</li></ul>");
    EXPECT_EQ(render([&] { ul(std::vector<std::string>{}, item); }), "<ul></ul>");
    EXPECT_EQ(render([&] { table(std::list<int>{1, 2}, [](int n) { tr([&] { htmlContentSlot() = std::to_string(n); }); }); }),
              "<table><tr>1</tr><tr>2</tr></table>");
    EXPECT_EQ(render([&] { tbody(std::vector<int>{}, [](int) {}); }), "<tbody></tbody>");
    EXPECT_EQ(three, (std::vector<std::string>{"one", "two", "three"}));
}

TEST(Vocabulary, SlotsSetByItemClosuresBelongToTheContainer) {
    // The last item's value wins on the container; each child still starts with the slots cleared.
    const std::vector<std::string> items{"a", "b"};
    EXPECT_EQ(render([&] {
                  ul(items, [](const std::string& text) {
                      slot("class") = text;
                      li([&] { slot("id") = text; });
                  });
              }),
              "<ul class=\"b\"><li id=\"a\"></li><li id=\"b\"></li></ul>");
    EXPECT_EQ(render([&] {
                  table(items, [](const std::string& text) {
                      tr({});
                      htmlContentSlot() = "only " + text;
                  });
              }),
              "<table>only b</table>");
}

}  // namespace
