#include "platform/message_box.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <algorithm>

namespace platform {
namespace {

int g_openBoxes = 0;

// Counts a box for the length of a scope.
struct OpenBox {
  OpenBox() { ++g_openBoxes; }
  ~OpenBox() { --g_openBoxes; }
};

MessageObserver& observer() {
  static MessageObserver instance;
  return instance;
}

constexpr QChar kEllipsis(0x2026);

// How much text a box may show on its screen: lines of at most `width`
// pixels, at most `lines` of them. The box's own sizing word-wraps a text
// wider than half the screen but lets a word longer than that (a 254-byte
// name) run off the screen, and grows with every line: 300 names made a box
// 4,300 pixels high with its buttons off screen. Half the screen's width,
// and its height less room for the caption, the buttons and the frame, fit
// any screen.
struct Room {
  QFontMetrics metrics;
  int width;
  int lines;
};

// A name elided in the middle to at most width pixels, in one piece: line
// breaking may break after an ellipsis, and the box broke the elided name
// there rather than at the space before it; a word joiner forbids that.
QString elideName(const QString& name, const Room& room) {
  if (room.metrics.horizontalAdvance(name) <= room.width) return name;
  QString elided = room.metrics.elidedText(name, Qt::ElideMiddle, room.width);
  const qsizetype at = elided.indexOf(kEllipsis);
  if (at >= 0) elided.insert(at + 1, QChar(0x2060));
  return elided;
}

// A word wider than the room (a long name or path) elided in the middle,
// where a name has its least telling part; the box wraps at the spaces.
QString fitWords(const QString& line, const Room& room) {
  QStringList words = line.split(QLatin1Char(' '));
  for (QString& w : words)
    w = elideName(w, room);
  return words.join(QLatin1Char(' '));
}

QString fitProse(const QString& text, const Room& room, int lines) {
  QStringList out = text.split(QLatin1Char('\n'));
  if (out.size() > lines) {
    out = out.mid(0, std::max(lines - 1, 0));
    out << QString(kEllipsis);
  }
  for (QString& line : out) line = fitWords(line, room);
  return out.join(QLatin1Char('\n'));
}

QString moreLine(size_t count) {
  return QStringLiteral("and ") + QString::number(count - kListedNames) + QStringLiteral(" more");
}

bool show(QWidget* parent, MessageKind kind, const QString& caption, const BoxText& text) {
  const OpenBox open;
  if (observer()) return observer()(kind, caption, text.listed());
  QMessageBox box(parent);
  setUpBox(box, kind, caption, text);
  return box.exec() == QMessageBox::Yes;
}

bool show(QWidget* parent, MessageKind kind, const QString& caption, const QString& text) {
  return show(parent, kind, caption, BoxText{text, {}, {}});
}

}  // namespace

QString BoxText::listed() const {
  QString out = text;
  for (size_t i = 0; i < names.size() && i < static_cast<size_t>(kListedNames); ++i) out += QLatin1Char('\n') + names[i];
  if (names.size() > static_cast<size_t>(kListedNames)) out += QLatin1Char('\n') + moreLine(names.size());
  return out + after;
}

void setUpBox(QMessageBox& box, MessageKind kind, const QString& caption, const BoxText& text) {
  box.setWindowTitle(caption);
  // Names are data: "<b>x</b>" is a file's name, not bold text.
  box.setTextFormat(Qt::PlainText);
  const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
  const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
  const QFontMetrics metrics(box.font());
  // The box is at most half the screen (500 pixels) wide, and its icon and
  // margins take about 140 of that (at 120 dpi too): an elided name then
  // fits a line of its own.
  const Room room{metrics, std::max(std::min(avail.width() / 2, 500) - 140, 120),
                  std::clamp((avail.height() - 200) / std::max(1, metrics.lineSpacing()), 3, 40)};
  // The names take one line each; the texts before and after share the rest.
  const int listed = static_cast<int>(std::min(text.names.size(), size_t(kListedNames))) +
                     (text.names.size() > size_t(kListedNames) ? 1 : 0);
  const int proseLines = std::max(room.lines - listed, 2);
  const int afterLines = std::min(static_cast<int>(text.after.count(QLatin1Char('\n'))) + 1, proseLines / 2);
  QString shown = fitProse(text.text, room, proseLines - afterLines);
  bool nameCut = text.names.size() > size_t(kListedNames);
  for (size_t i = 0; i < text.names.size() && i < size_t(kListedNames); ++i) {
    const QString& name = text.names[i];
    const bool wide = metrics.horizontalAdvance(name) > room.width;
    nameCut = nameCut || wide;
    shown += QLatin1Char('\n') + elideName(name, room);
  }
  if (text.names.size() > size_t(kListedNames)) shown += QLatin1Char('\n') + moreLine(text.names.size());
  shown += fitProse(text.after, room, afterLines);
  box.setText(shown);
  // The whole of what the box shortened, in its details area (which scrolls).
  QString details;
  if (nameCut)
    for (const QString& name : text.names) details += (details.isEmpty() ? QString() : QStringLiteral("\n")) + name;
  else if (shown != text.listed())
    details = text.listed();
  if (!details.isEmpty()) box.setDetailedText(details);
  switch (kind) {
    case MessageKind::Error:
      box.setIcon(QMessageBox::Critical);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageKind::Warning:
      box.setIcon(QMessageBox::Warning);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageKind::Confirm:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
      break;
  }
}

void setMessageObserver(MessageObserver o) { observer() = std::move(o); }

bool messageBoxOpen() { return g_openBoxes > 0; }

void showError(QWidget* parent, const QString& text) { show(parent, MessageKind::Error, QStringLiteral("Error"), text); }

void showWarning(QWidget* parent, const QString& text) {
  show(parent, MessageKind::Warning, QStringLiteral("Warning"), text);
}

bool askConfirm(QWidget* parent, const QString& text) {
  return show(parent, MessageKind::Confirm, QStringLiteral("Confirm"), text);
}

void showWarning(QWidget* parent, const BoxText& text) {
  show(parent, MessageKind::Warning, QStringLiteral("Warning"), text);
}

void showError(QWidget* parent, const BoxText& text) {
  show(parent, MessageKind::Error, QStringLiteral("Error"), text);
}

bool askConfirm(QWidget* parent, const BoxText& text) {
  return show(parent, MessageKind::Confirm, QStringLiteral("Confirm"), text);
}

namespace {
TextObserver& textObserver() {
  static TextObserver instance;
  return instance;
}
}  // namespace

void setTextObserver(TextObserver observer) { textObserver() = std::move(observer); }

std::optional<QString> askText(QWidget* parent, const QString& caption, const QString& label, const QString& initial) {
  const OpenBox open;
  if (textObserver()) return textObserver()(caption, label, initial);
  bool ok = false;
  const QString text = QInputDialog::getText(parent, caption, label, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}

}  // namespace platform
