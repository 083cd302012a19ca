#include "model/display_name.h"

#include "platform/name_text.h"

namespace {

QString fromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

QString DisplayName(std::string_view raw) { return fromUtf8(platform::visibleName(raw)); }

TDisplayName DisplayNameMarked(std::string_view raw) {
  const platform::ShownName shown = platform::shownName(raw);
  TDisplayName out;
  if (shown.escapes.empty()) {
    out.text = fromUtf8(shown.text);
    return out;
  }
  // The text between escapes may be any UTF-8; the escapes are ASCII, one
  // UTF-16 unit a byte.
  const std::string_view text = shown.text;
  size_t at = 0;
  for (const auto& [start, length] : shown.escapes) {
    out.text += fromUtf8(text.substr(at, start - at));
    out.escapes << static_cast<int>(out.text.size()) << static_cast<int>(length);
    out.text += QLatin1String(text.data() + start, static_cast<qsizetype>(length));
    at = start + length;
  }
  out.text += fromUtf8(text.substr(at));
  return out;
}
