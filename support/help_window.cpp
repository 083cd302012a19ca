#include "support/help_window.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>

#include "support/artwork.h"
#include "support/help_hook.h"

namespace {
QPointer<THelpWindow> g_window;  // the one help window; deletes itself on close
}

THelpWindow::THelpWindow() : QWidget(nullptr, Qt::Window) {
  setObjectName(QStringLiteral("HelpWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Tallorin Help"));
  setWindowIcon(QIcon(ProgramIcon(48)));
  resize(760, 620);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_browser = new QTextBrowser(this);
  m_browser->setOpenExternalLinks(true);
  layout->addWidget(m_browser);
}

THelpWindow* THelpWindow::instance() { return g_window; }

void THelpWindow::CloseAll() {
  if (g_window) g_window->close();
}

void THelpWindow::open(const QString& file, const QString& anchor) {
  m_topic = anchor;
  const QUrl url = QUrl::fromLocalFile(file);
  if (m_browser->source().adjusted(QUrl::RemoveFragment) != url) m_browser->setSource(url);
  m_browser->scrollToAnchor(anchor);
  show();
  raise();
  activateWindow();
}

void THelpWindow::Show(const std::string& helpFile, uint32_t command, uintptr_t data) {
  if (command == THtmlHelpHook::HH_CLOSE_ALL) {
    CloseAll();
    return;
  }
  const QString file = QFile::decodeName(QByteArray::fromStdString(helpFile));
  if (!QFileInfo(file).isReadable()) return;  // no help file: nothing to show
  QString anchor = QStringLiteral("contents");
  if (command == THtmlHelpHook::HH_HELP_CONTEXT || command == THtmlHelpHook::HH_DISPLAY_TEXT_POPUP)
    anchor = QStringLiteral("context-%1").arg(static_cast<qulonglong>(data));
  else if (command != THtmlHelpHook::HH_DISPLAY_TOPIC)
    return;  // other commands have nothing to show here
  if (!g_window) g_window = new THelpWindow;
  g_window->open(file, anchor);
}
