#include "platform/desktop_open.h"

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
  return openWithDesktop(path);
}

}  // namespace platform
