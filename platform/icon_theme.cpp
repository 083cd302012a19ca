#include "platform/icon_theme.h"

#include <QDir>
#include <QIcon>

namespace platform {

void ensureIconTheme() {
  const QString current = QIcon::themeName();
  if (!current.isEmpty() && current != QLatin1String("hicolor")) return;
  QStringList paths = QIcon::themeSearchPaths();
  if (!paths.contains(QStringLiteral("/usr/share/icons"))) paths << QStringLiteral("/usr/share/icons");
  QIcon::setThemeSearchPaths(paths);
  for (const char* theme : {"Adwaita", "breeze", "gnome"}) {
    if (QDir(QStringLiteral("/usr/share/icons/") + QLatin1String(theme)).exists()) {
      QIcon::setThemeName(QLatin1String(theme));
      return;
    }
  }
}

}  // namespace platform
