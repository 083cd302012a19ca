#include "support/help_window.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/window_room.h"
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
  // 760 x 620 where the screen has room, else what it has: at 144 dpi an
  // 800 x 600 screen has 533 x 400 (the buttons and the page then scroll).
  platform::fitToScreen(*this, QSize(760, 620), nullptr);
  // Escape closes the manual, as it closes a dialog.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  // A way back to the contents and to where the reader was, without
  // scrolling through the whole page.
  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(6, 4, 6, 4);
  auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
  auto* back = new QPushButton(QStringLiteral("&Back"), this);
  contents->setIcon(QIcon::fromTheme(QStringLiteral("go-home")));
  back->setIcon(QIcon::fromTheme(QStringLiteral("go-previous")));
  back->setEnabled(false);
  bar->addWidget(contents);
  bar->addWidget(back);
  bar->addStretch(1);
  layout->addLayout(bar);
  m_browser = new QTextBrowser(this);
  m_browser->setOpenExternalLinks(true);
  layout->addWidget(m_browser);
  connect(contents, &QPushButton::clicked, this, [this] { goTo(QStringLiteral("contents")); });
  connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
  connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  connect(m_browser, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) { m_topic = url.fragment(); });
}

void THelpWindow::goTo(const QString& anchor) {
  // Through the source, so that each topic is a step the Back button retraces.
  QUrl url = m_browser->source();
  url.setFragment(anchor);
  m_browser->setSource(url);
  m_browser->scrollToAnchor(anchor);
  m_topic = anchor;
}

THelpWindow* THelpWindow::instance() { return g_window; }

void THelpWindow::CloseAll() {
  if (g_window) g_window->close();
}

void THelpWindow::open(const QString& file, const QString& anchor) {
  const QUrl url = QUrl::fromLocalFile(file);
  if (m_browser->source().adjusted(QUrl::RemoveFragment) != url) {
    // Another file: it starts at the topic, with a history of its own.
    m_browser->setSource(url.resolved(QUrl(QLatin1Char('#') + anchor)));
    m_browser->clearHistory();
    m_browser->scrollToAnchor(anchor);
    m_topic = anchor;
  } else {
    goTo(anchor);
  }
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
