#pragma once
// The program's three kinds of message box: error ("Error", OK), warning
// ("Warning", OK) and confirmation ("Confirm", Yes/No, No the default). Every
// box the program shows goes through here so tests can answer them without a
// modal loop.
//
// A box shows names of files as they are: its text is plain, never markup (a
// file may be called "<s>struck.txt"). And it fits the screen whatever it
// names: a line wider than the screen allows is elided in the middle, a text
// of more lines than a screen holds is cut, and the box's details area then
// holds the whole text.
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class QWidget;
class QMessageBox;

namespace platform {

enum class MessageKind { Error, Warning, Confirm };

// Receives each box instead of the screen; returns the answer for a
// confirmation (true = Yes). Tests install one; nullptr restores real boxes.
// It is given the text as the caller wrote it, before any fitting.
using MessageObserver = std::function<bool(MessageKind, const QString& caption, const QString& text)>;
void setMessageObserver(MessageObserver observer);

// What a box says about a list of names: its text, the names one a line (at
// most kListedNames of them, then "and N more"), then the text after them
// (which brings its own line breaks). The box's details area lists every
// name whole when it shows fewer or shortens one.
inline constexpr int kListedNames = 10;
struct BoxText {
  QString text;
  std::vector<QString> names;
  QString after;
  // The text as it reads with the names listed: what an observer is given.
  QString listed() const;
};

// True while one of the boxes below (or a text question) is open, whether on
// screen or answered by an observer: work nobody asked for waits meanwhile.
bool messageBoxOpen();

void showError(QWidget* parent, const QString& text);
void showWarning(QWidget* parent, const QString& text);
bool askConfirm(QWidget* parent, const QString& text);
void showError(QWidget* parent, const BoxText& text);
void showWarning(QWidget* parent, const BoxText& text);
bool askConfirm(QWidget* parent, const BoxText& text);

// The box as it is shown: caption, text fitted to the screen the box
// appears on, buttons (No the default of a question), details.
void setUpBox(QMessageBox& box, MessageKind kind, const QString& caption, const BoxText& text);

// A one-line question for a text ("Rename": "New name:"), offering initial;
// nothing when cancelled. Tests answer through their own observer.
using TextObserver = std::function<std::optional<QString>(const QString& caption, const QString& label,
                                                          const QString& initial)>;
void setTextObserver(TextObserver observer);
std::optional<QString> askText(QWidget* parent, const QString& caption, const QString& label, const QString& initial);

}  // namespace platform
