#pragma once
// Names that look alike wherever their bytes are shown as they are: one for
// every control byte, DEL and byte that is no UTF-8 alone, the C1 controls
// and the marks that turn text around or hide, and names spelling out with a
// backslash what those show as.
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::string> awkwardNames() {
  std::vector<std::string> names;
  auto add = [&](const std::string& middle) { names.push_back("n" + middle + "x"); };
  for (int b = 0x01; b <= 0xFF; ++b)
    if (b < 0x20 || b >= 0x7F) add(std::string(1, static_cast<char>(b)));
  for (const char* mark : {"\xE2\x80\xAE", "\xE2\x81\xA6", "\xE2\x81\xA7", "\xE2\x81\xA8", "\xE2\x81\xA9",
                           "\xE2\x80\x8E", "\xE2\x80\x8F", "\xE2\x80\xA8", "\xE2\x80\x8B", "\xC2\x85", "\xC2\x9B"})
    add(mark);
  for (const char* spelt : {"\\x01", "\\x0A", "\\n", "\\t", "\\x7F", "\\xFE", "\\xFF", "\\u202E", "\\u0085",
                            "\\", "\\\\", "\\\\n", "\\\n", "\xEF\xBF\xBD", "?", " "})
    add(spelt);
  add("");
  return names;
}

}  // namespace testsupport
