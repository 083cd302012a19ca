#pragma once
// The program's three kinds of message box: error ("Error", OK), warning
// ("Warning", OK) and confirmation ("Confirm", Yes/No). Every box the program
// shows goes through here so tests can answer them without a modal loop.
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace platform {

enum class MessageKind { Error, Warning, Confirm };

// Receives each box instead of the screen; returns the answer for a
// confirmation (true = Yes). Tests install one; nullptr restores real boxes.
using MessageObserver = std::function<bool(MessageKind, const QString& caption, const QString& text)>;
void setMessageObserver(MessageObserver observer);

void showError(QWidget* parent, const QString& text);
void showWarning(QWidget* parent, const QString& text);
bool askConfirm(QWidget* parent, const QString& text);

// A one-line question for a text ("Rename": "New name:"), offering initial;
// nothing when cancelled. Tests answer through their own observer.
using TextObserver = std::function<std::optional<QString>(const QString& caption, const QString& label,
                                                          const QString& initial)>;
void setTextObserver(TextObserver observer);
std::optional<QString> askText(QWidget* parent, const QString& caption, const QString& label, const QString& initial);

}  // namespace platform
