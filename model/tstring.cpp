#include "model/tstring.h"

namespace {

template <typename T>
T readDigits(const QString& text, const QLocale& locale) {
  const QString sep = locale.groupSeparator();
  T value = 0;
  for (qsizetype i = 0; i < text.size();) {
    if (!sep.isEmpty() && text.mid(i, sep.size()) == sep) {
      i += sep.size();
      continue;
    }
    value = value * 10 + (text[i].unicode() - 48);
    ++i;
  }
  return value;
}

}  // namespace

long double TString::DigitsToFloat(const QString& text, const QLocale& locale) {
  return readDigits<long double>(text, locale);
}

int32_t TString::DigitsToInt(const QString& text, const QLocale& locale) {
  // Wraps like the 32-bit arithmetic the counts were made with.
  return static_cast<int32_t>(readDigits<uint32_t>(text, locale));
}
