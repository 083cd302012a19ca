#include "platform/message_box.h"

#include <QInputDialog>
#include <QMessageBox>

namespace platform {
namespace {

MessageObserver& observer() {
  static MessageObserver instance;
  return instance;
}

bool show(QWidget* parent, MessageKind kind, const QString& caption, const QString& text) {
  if (observer()) return observer()(kind, caption, text);
  QMessageBox box(parent);
  box.setWindowTitle(caption);
  box.setText(text);
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
      break;
  }
  return box.exec() == QMessageBox::Yes;
}

}  // namespace

void setMessageObserver(MessageObserver o) { observer() = std::move(o); }

void showError(QWidget* parent, const QString& text) {
  show(parent, MessageKind::Error, QStringLiteral("Error"), text);
}

void showWarning(QWidget* parent, const QString& text) {
  show(parent, MessageKind::Warning, QStringLiteral("Warning"), text);
}

bool askConfirm(QWidget* parent, const QString& text) {
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
  if (textObserver()) return textObserver()(caption, label, initial);
  bool ok = false;
  const QString text = QInputDialog::getText(parent, caption, label, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}

}  // namespace platform
