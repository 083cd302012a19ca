#pragma once
// Name comparison of the program: only the letters a to z are folded (no
// locale, no other case pairs); the first difference decides, and a prefix is
// smaller than the longer text.
#include <QString>
#include <string_view>

int CompareFoldAZ(std::string_view a, std::string_view b);
int CompareFoldAZ(const QString& a, const QString& b);
