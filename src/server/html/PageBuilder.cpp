#include "server/html/PageBuilder.h"

#include <stdexcept>
#include <unordered_map>

namespace qv::html {

const std::array<std::string_view, attributeSlotCount> attributeSlotNames = {
    "id", "dir", "rel", "rev", "alt", "for", "src", "type", "href", "text", "abbr", "size",
    "face", "char", "cite", "span", "data", "axis", "Name", "name", "code", "link", "lang",
    "cols", "rows", "ismap", "shape", "style", "alink", "width", "rules", "align", "frame",
    "vlink", "defer", "color", "media", "title", "scope", "class", "manifest", "value", "clear",
    "start", "label", "action", "height", "method", "accept", "object", "scheme", "coords",
    "usemap", "onblur", "nohref", "nowrap", "hspace", "border", "valign", "vspace", "onload",
    "target", "prompt", "onfocus", "enctype", "onclick", "ontouchstart", "onkeyup", "profile",
    "version", "onreset", "charset", "standby", "colspan", "charoff", "classid", "compact",
    "declare", "rowspan", "checked", "archive", "bgcolor", "content", "noshade", "summary",
    "headers", "onselect", "readonly", "tabindex", "onchange", "noresize", "disabled",
    "longdesc", "codebase", "language", "datetime", "selected", "hreflang", "onsubmit",
    "multiple", "onunload", "codetype", "scrolling", "onkeydown", "maxlength", "valuetype",
    "accesskey", "onmouseup", "onkeypress", "ondblclick", "onmouseout", "http-equiv",
    "data-text", "background", "onmousemove", "onmouseover", "cellpadding", "onmousedown",
    "frameborder", "marginwidth", "cellspacing", "placeholder", "marginheight",
    "accept-charset",
};

namespace {

struct PageState {
    AttributeSlots attributes;
    OptionalText content;
    std::string buffer;
};

PageState& pageState() {
    thread_local PageState state;
    return state;
}

const std::unordered_map<std::string_view, std::size_t>& slotIndex() {
    static const auto index = [] {
        std::unordered_map<std::string_view, std::size_t> map;
        for (std::size_t i = 0; i < attributeSlotNames.size(); ++i) map.emplace(attributeSlotNames[i], i);
        return map;
    }();
    return index;
}

}  // namespace

std::optional<std::size_t> AttributeSlots::indexOf(std::string_view name) {
    const auto& index = slotIndex();
    if (auto it = index.find(name); it != index.end()) return it->second;
    return std::nullopt;
}

OptionalText& AttributeSlots::operator[](std::string_view name) {
    if (auto i = indexOf(name)) return values_[*i];
    throw std::invalid_argument("no attribute slot named \"" + std::string(name) + "\"");
}

AttributeSlots& htmlAttributeSlots() { return pageState().attributes; }
OptionalText& htmlContentSlot() { return pageState().content; }
std::string& htmlPageBuffer() { return pageState().buffer; }

std::string renderAttributes(const AttributeList& attributes) {
    std::string text;
    for (const auto& [name, value] : attributes) {
        if (!value) continue;
        text += ' ';
        text += name;
        text += "=\"";
        text += *value;
        text += '"';
    }
    return text;
}

void evaluateElement(std::string_view tag, const AttributeMap& attributes, const Content& content) {
    PageState& state = pageState();

    // Save and clear every slot, and start an empty buffer for the children; whatever happens,
    // the slots get their values back, and on an exception the buffer too.
    struct Saved {
        PageState& state;
        decltype(AttributeSlots::values_) attributes;
        OptionalText content;
        std::string before;
        bool written = false;
        ~Saved() {
            state.attributes.values_ = std::move(attributes);
            state.content = std::move(content);
            if (!written) state.buffer = std::move(before);
        }
    } saved{state, std::exchange(state.attributes.values_, {}), std::exchange(state.content, std::nullopt),
            std::exchange(state.buffer, std::string())};

    if (content) content();

    // Slots in slot order; explicit attributes replace (or suppress) their slot, and names
    // outside the slots follow in name order.
    AttributeList merged;
    auto values = std::move(state.attributes.values_);
    AttributeList extra;
    for (const auto& [name, value] : attributes) {
        if (auto i = AttributeSlots::indexOf(name)) values[*i] = value;
        else extra.emplace_back(name, value);
    }
    for (std::size_t i = 0; i < attributeSlotCount; ++i)
        if (values[i]) merged.emplace_back(std::string(attributeSlotNames[i]), std::move(values[i]));
    for (auto& entry : extra) merged.push_back(std::move(entry));

    std::string markup = std::move(saved.before);
    markup += '<';
    markup += tag;
    markup += renderAttributes(merged);
    markup += '>';
    markup += state.content ? *state.content : state.buffer;
    markup += "</";
    markup += tag;
    markup += '>';
    state.buffer = std::move(markup);
    saved.written = true;
}

void evaluateElement(std::string_view tag, const Content& content) {
    evaluateElement(tag, AttributeMap{}, content);
}

}  // namespace qv::html
