#include "support/app_information.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <fstream>
#include <iterator>

TAppInformation::TAppInformation()
    : m_path(QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString()) {}

TAppInformation::TAppInformation(std::string executablePath) : m_path(std::move(executablePath)) {}

std::string TAppInformation::marker() {
  // Made at run time from two halves, so that the reader's own code never
  // holds the whole marker for a search of its executable to find.
  return std::string("TLRVERSION") + "BLOCK1";
}

#ifndef _WIN32
// On Windows the block is the executable's version resource
// (app_information_win32.cpp).
const std::map<std::string, std::string>& TAppInformation::values() const {
  if (m_values) return *m_values;
  m_values.emplace();
  std::ifstream in(m_path, std::ios::binary);
  if (!in) return *m_values;
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The block: the marker, then NUL-terminated key and value pairs, ended by
  // an empty key.
  const std::string opening = marker() + '\0' + "\\StringFileInfo\\";
  const size_t at = file.find(opening);
  if (at == std::string::npos) return *m_values;
  size_t pos = at + marker().size() + 1;
  while (pos < file.size()) {
    const size_t keyEnd = file.find('\0', pos);
    if (keyEnd == std::string::npos || keyEnd == pos) break;  // an empty key ends the block
    const size_t valueEnd = file.find('\0', keyEnd + 1);
    if (valueEnd == std::string::npos) break;
    m_values->emplace(file.substr(pos, keyEnd - pos), file.substr(keyEnd + 1, valueEnd - keyEnd - 1));
    pos = valueEnd + 1;
  }
  return *m_values;
}
#endif

QString TAppInformation::GetVersionValue(const QString& name) const {
  const auto it = values().find("\\StringFileInfo\\040904E4\\" + name.toStdString());
  if (it == values().end() || it->second.empty()) return QStringLiteral(" ");
  return QString::fromStdString(it->second);
}

QString TAppInformation::GetShortVersion() const {
  QString version = GetVersionValue(QStringLiteral("FileVersion"));
  const QStringList lines = version.replace(QLatin1Char('.'), QLatin1Char('\n')).split(QLatin1Char('\n'));
  QString shortVersion = lines.value(0);
  for (int i = 1; i < lines.size() && i < 3; ++i) shortVersion += QLatin1Char('.') + lines[i];
  return shortVersion;
}
