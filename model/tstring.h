#pragma once
// Reads a figure back from the text the usage list shows. The locale's group
// separator is skipped wherever it stands; it may be several characters long
// (a narrow no-break space, for one). Every other character counts as a digit.
#include <QLocale>
#include <QString>
#include <cstdint>

class TString {
 public:
  static long double DigitsToFloat(const QString& text, const QLocale& locale = QLocale());
  static int32_t DigitsToInt(const QString& text, const QLocale& locale = QLocale());
};
