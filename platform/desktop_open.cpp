#include "platform/desktop_open.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>

namespace platform {
namespace {

OpenObserver& observer() {
  static OpenObserver instance;
  return instance;
}

}  // namespace

void setOpenObserver(OpenObserver o) { observer() = std::move(o); }

void openWithDefaultApplication(const std::string& path) {
  if (observer()) {
    observer()(path);
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path))));
}

}  // namespace platform
