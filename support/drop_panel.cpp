#include "support/drop_panel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

TDropPanel::TDropPanel(QWidget* parent) : QWidget(parent) {}

void TDropPanel::setOnFileDrop(TFileDropEvent handler) {
  m_onFileDrop = std::move(handler);
  setAcceptDrops(static_cast<bool>(m_onFileDrop));
}

std::vector<std::string> TDropPanel::localPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QByteArray path = QFile::encodeName(url.toLocalFile());
    if (!path.isEmpty()) paths.push_back(path.toStdString());
  }
  return paths;
}

void TDropPanel::dragEnterEvent(QDragEnterEvent* event) {
  if (m_onFileDrop && !localPaths(event->mimeData()).empty()) event->acceptProposedAction();
}

void TDropPanel::dragMoveEvent(QDragMoveEvent* event) {
  if (m_onFileDrop && !localPaths(event->mimeData()).empty()) event->acceptProposedAction();
}

void TDropPanel::dropEvent(QDropEvent* event) {
  const std::vector<std::string> files = localPaths(event->mimeData());
  if (files.empty() || !m_onFileDrop) return;
  event->acceptProposedAction();
  // A copy of the handler: the handler may set a new one while it runs.
  const TFileDropEvent handler = m_onFileDrop;
  handler(this, files, event->position().toPoint());
}
