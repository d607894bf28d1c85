#pragma once
// Making outside texts safe to place in a page: request paths, headers, form values, file names.
#include <string>
#include <string_view>

namespace qv::html {

// The text with "&", "<", ">", '"' and "'" written as character references, safe both as an
// element's text and inside a double-quoted attribute value.
std::string escapeHtml(std::string_view text);

// The text as one path segment of a URL: every byte but letters, digits and "-._~" as %XX.
std::string percentEncodePathSegment(std::string_view text);

}  // namespace qv::html
