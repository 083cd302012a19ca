#include "platform/desktop_open.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>

#include "platform/item_actions.h"

namespace platform {
namespace {

OpenObserver& observer() {
  static OpenObserver instance;
  return instance;
}

}  // namespace

void setOpenObserver(OpenObserver o) { observer() = std::move(o); }

bool openWithDefaultApplication(const std::string& path) {
  if (observer()) {
    observer()(path);
    return true;
  }
  // The URL from the name's bytes: a name that is not UTF-8 stays itself.
  return QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(fileUrl(path)), QUrl::StrictMode));
}

}  // namespace platform
