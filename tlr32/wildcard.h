#pragma once
// File-name patterns as Windows reads them: "*" any run of characters, "?"
// any one character (a whole UTF-8 character), every other character itself,
// letters of either case alike (ASCII). No brackets or escapes: "[" and "\"
// are plain characters there.
#include <string_view>

namespace tlr {

bool wildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace tlr
