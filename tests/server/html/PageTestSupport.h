#pragma once
// Renders pages into text for the page-builder tests.
#include <string>
#include <string_view>

#include "server/html/PageBuilder.h"

namespace qv::html::test {

inline std::string render(const Content& page) {
    htmlPageBuffer().clear();
    page();
    return htmlPageBuffer();
}

inline OptionalText& slot(std::string_view name) { return htmlAttributeSlots()[name]; }

}  // namespace qv::html::test
