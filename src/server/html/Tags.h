#pragma once
// The element vocabulary: one function per tag, named after the tag's text, each evaluating one
// element with that tag and the given content closure. Page code reads like the page:
//
//     using namespace qv::html::tags;
//     html([] { body([] { center([] { img([] { htmlAttributeSlots()["src"] = url; }); }); }); });
//
// "template" is a keyword, so its function is `template_`; the tag it writes is "template".
#include <ranges>
#include <utility>

#include "server/html/PageBuilder.h"

// X(function name, tag text) for every tag of the vocabulary.
#define QV_HTML_TAGS(X) \
    X(a, "a") X(b, "b") X(i, "i") X(p, "p") X(q, "q") X(s, "s") X(u, "u") \
    X(br, "br") X(dd, "dd") X(dl, "dl") X(dt, "dt") X(em, "em") X(h1, "h1") X(h2, "h2") \
    X(h3, "h3") X(h4, "h4") X(h5, "h5") X(h6, "h6") X(hr, "hr") X(li, "li") X(ol, "ol") \
    X(rp, "rp") X(rt, "rt") X(td, "td") X(th, "th") X(tr, "tr") X(tt, "tt") X(ul, "ul") \
    X(bdi, "bdi") X(bdo, "bdo") X(big, "big") X(col, "col") X(del, "del") X(dfn, "dfn") \
    X(dir, "dir") X(div, "div") X(img, "img") X(ins, "ins") X(kbd, "kbd") X(map, "map") \
    X(nav, "nav") X(pre, "pre") X(rtc, "rtc") X(sub, "sub") X(sup, "sup") X(var, "var") \
    X(wbr, "wbr") X(xmp, "xmp") \
    X(abbr, "abbr") X(area, "area") X(base, "base") X(body, "body") X(cite, "cite") \
    X(code, "code") X(data, "data") X(font, "font") X(form, "form") X(head, "head") \
    X(html, "html") X(link, "link") X(main, "main") X(mark, "mark") X(menu, "menu") \
    X(meta, "meta") X(nobr, "nobr") X(ruby, "ruby") X(samp, "samp") X(span, "span") \
    X(time, "time") \
    X(aside, "aside") X(audio, "audio") X(blink, "blink") X(embed, "embed") X(frame, "frame") \
    X(image, "image") X(input, "input") X(label, "label") X(meter, "meter") X(param, "param") \
    X(small, "small") X(style, "style") X(table, "table") X(tbody, "tbody") X(tfoot, "tfoot") \
    X(thead, "thead") X(title, "title") X(track, "track") X(video, "video") \
    X(applet, "applet") X(button, "button") X(canvas, "canvas") X(center, "center") \
    X(dialog, "dialog") X(figure, "figure") X(footer, "footer") X(header, "header") \
    X(hgroup, "hgroup") X(iframe, "iframe") X(keygen, "keygen") X(legend, "legend") \
    X(object, "object") X(option, "option") X(output, "output") X(script, "script") \
    X(select, "select") X(shadow, "shadow") X(source, "source") X(spacer, "spacer") \
    X(strike, "strike") X(strong, "strong") \
    X(acronym, "acronym") X(address, "address") X(article, "article") X(bgsound, "bgsound") \
    X(caption, "caption") X(command, "command") X(content, "content") X(details, "details") \
    X(element, "element") X(isindex, "isindex") X(listing, "listing") X(marquee, "marquee") \
    X(noembed, "noembed") X(picture, "picture") X(section, "section") X(summary, "summary") \
    X(basefont, "basefont") X(colgroup, "colgroup") X(datalist, "datalist") \
    X(fieldset, "fieldset") X(frameset, "frameset") X(menuitem, "menuitem") \
    X(multicol, "multicol") X(noframes, "noframes") X(noscript, "noscript") \
    X(optgroup, "optgroup") X(progress, "progress") X(template_, "template") \
    X(textarea, "textarea") \
    X(plaintext, "plaintext") \
    X(blockquote, "blockquote") X(figcaption, "figcaption")

namespace qv::html::tags {

#define QV_HTML_DECLARE_TAG(function, tag) void function(const Content& content);
QV_HTML_TAGS(QV_HTML_DECLARE_TAG)
#undef QV_HTML_DECLARE_TAG

namespace detail {
// One element whose content calls `perItem` once for every item of a copy of `items`, in order,
// and does nothing else.
template <std::ranges::input_range Items, typename PerItem>
void evaluateForEach(std::string_view tag, Items items, PerItem perItem) {
    evaluateElement(tag, AttributeMap{}, [&] {
        for (auto&& item : items) perItem(std::forward<decltype(item)>(item));
    });
}
}  // namespace detail

// Sequence forms: the container's whole content is one call of `perItem` per item.
template <std::ranges::input_range Items, typename PerItem>
void ul(Items items, PerItem perItem) {
    detail::evaluateForEach("ul", std::move(items), std::move(perItem));
}
template <std::ranges::input_range Items, typename PerItem>
void table(Items items, PerItem perItem) {
    detail::evaluateForEach("table", std::move(items), std::move(perItem));
}
template <std::ranges::input_range Items, typename PerItem>
void tbody(Items items, PerItem perItem) {
    detail::evaluateForEach("tbody", std::move(items), std::move(perItem));
}

// A "link" element with rel="stylesheet" and type="text/css", whatever the closure sets for them.
void cssLink(const Content& content);
// A "script" element with type="text/javascript", whatever the closure sets for it.
void jsScript(const Content& content);

}  // namespace qv::html::tags
