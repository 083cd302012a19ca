#pragma once
// The help viewer: a window of our own that shows the help file (one HTML
// page) at a topic. Topics are the page's anchors: "contents" for the start,
// "context-N" for help context N. A missing or unreadable file shows nothing.
// Contents and Back buttons lead to the start and back along the topics seen;
// Escape closes it. It opens as large as its screen has room for, at most
// 760 x 620.
#include <QTextBrowser>
#include <cstdint>
#include <string>

class THelpWindow : public QWidget {
  Q_OBJECT
 public:
  // Carries out one translated help command (see THtmlHelpHook).
  static void Show(const std::string& helpFile, uint32_t command, uintptr_t data);
  static THelpWindow* instance();  // the open help window, or null
  static void CloseAll();

  QTextBrowser* browser() const { return m_browser; }
  QString topic() const { return m_topic; }

 private:
  THelpWindow();
  void open(const QString& file, const QString& anchor);
  void goTo(const QString& anchor);  // a topic of the page on show, as a step of the history
  QTextBrowser* m_browser;
  QString m_topic;
};
