#pragma once
// The version information of the running executable, read from its own file
// at display time: the build embeds a version block in the executable (see
// app/version_block.cpp.in; on Windows the version resource of app/tallorin.rc.in,
// read with GetFileVersionInfoW), and this reads it back, so what is shown always
// matches the file that runs. A value that cannot be read is " ".
#include <QString>
#include <map>
#include <optional>
#include <string>

class TAppInformation {
 public:
  // The executable that runs (the application's file path).
  TAppInformation();
  // Any file, for tests and tools.
  explicit TAppInformation(std::string executablePath);

  // A string value of the block "\StringFileInfo\040904E4\".
  QString GetVersionValue(const QString& name) const;
  // "FileVersion" cut to its first three dot-separated parts.
  QString GetShortVersion() const;
  QString GetLegalNotice() const { return GetVersionValue(QStringLiteral("LegalCopyright")); }
  QString GetProductName() const { return GetVersionValue(QStringLiteral("ProductName")); }

  // The marker that opens the block in the file (app/version_block.cpp.in).
  static std::string marker();

 private:
  // The block's values by key, read from the file at its first use: one
  // read of the executable however many values are asked for.
  const std::map<std::string, std::string>& values() const;

  std::string m_path;
  mutable std::optional<std::map<std::string, std::string>> m_values;
};
