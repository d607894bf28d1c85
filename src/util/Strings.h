#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qv::util {

// The pieces between separators, in order; empty pieces (leading, trailing or repeated
// separators) are dropped, so an empty text gives none.
std::vector<std::string> splitNonEmpty(std::string_view text, char separator);

}  // namespace qv::util
