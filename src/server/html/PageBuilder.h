#pragma once
// The page builder: a page is written as nested element calls. Each call runs a content closure
// that sets the element's attributes and inner text through slots and makes the element's
// children by further calls; the markup goes into the calling thread's page buffer.
//
// Slots and page buffer are per thread, so any number of threads may build pages at once, each
// getting exactly the text a single-threaded run would give.
#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv::html {

// A text that may be absent; the empty text is a present value.
using OptionalText = std::optional<std::string>;
// Runs once inside its element; sets slots and evaluates child elements.
using Content = std::function<void()>;
// Attributes handed to one evaluation. They win over the slots of the same name, and an absent
// value keeps that attribute out of the tag. Any name may be used.
using AttributeMap = std::map<std::string, OptionalText, std::less<>>;
// Attributes in the order in which they are written.
using AttributeList = std::vector<std::pair<std::string, OptionalText>>;

// The names of the attribute slots, in slot order, which is also the order in which an element's
// attributes are written. Names are case-sensitive: "Name" and "name" are two slots.
inline constexpr std::size_t attributeSlotCount = 124;
extern const std::array<std::string_view, attributeSlotCount> attributeSlotNames;

// The attribute slots of the calling thread. A slot that holds a value when an element's content
// closure ends becomes an attribute of that element, and of no other.
class AttributeSlots {
public:
    // The slot of that exact name; throws std::invalid_argument for a name outside the set.
    OptionalText& operator[](std::string_view name);
    // The slot's position in slot order, or none for a name outside the set.
    static std::optional<std::size_t> indexOf(std::string_view name);

private:
    friend void evaluateElement(std::string_view, const AttributeMap&, const Content&);
    std::array<OptionalText, attributeSlotCount> values_;
};

AttributeSlots& htmlAttributeSlots();

// The calling thread's content slot: when it holds a text at the end of an element's content
// closure, that text is the element's inner text and the children's markup is dropped. It is
// never written as an attribute (the "content" attribute slot is a different one).
OptionalText& htmlContentSlot();

// The calling thread's page text built so far.
std::string& htmlPageBuffer();

// Appends one element to the calling thread's page buffer: "<" tag, the attributes, ">", the
// content slot's text or the children's markup, "</" tag ">". Every element gets its end tag.
// Every slot holds on return the value it held on entry. Nothing is escaped.
// If the content closure throws, the element is dropped, slots and buffer are restored and the
// exception passes on.
void evaluateElement(std::string_view tag, const AttributeMap& attributes, const Content& content);
void evaluateElement(std::string_view tag, const Content& content);

// The attribute text of an opening tag: for every entry with a present value, in list order,
// a blank, the name, "=", and the value in double quotes, written verbatim.
std::string renderAttributes(const AttributeList& attributes);

}  // namespace qv::html
