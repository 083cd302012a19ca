#include <QDesktopServices>
#include <QUrl>

#include "platform/desktop_open.h"
#include "platform/item_actions.h"

namespace platform {

bool openWithDesktop(const std::string& path) {
  // The URL from the name's bytes: a name that is not UTF-8 stays itself.
  return QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(fileUrl(path)), QUrl::StrictMode));
}

}  // namespace platform
