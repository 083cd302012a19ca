#pragma once
// Drops the presses that were made while the program's one thread was held by
// work that replaced what they were aimed at. A refresh holds the window; a
// click or key made meanwhile waits in the queue and, delivered afterwards,
// landed on whichever row had then come under it. The fence is raised when
// such work ends: mouse presses made before that moment on a guarded widget,
// and every key press made before it, are dropped with their releases;
// presses made after it pass at once. Keys go whatever has the focus: a key
// may be a shortcut of the whole window (Select All, Delete) that acts on the
// rows wherever the focus is.
//
// "Made before" is exact on both platforms, each in its own part:
//  - X11 (input_fence_x11.cpp): the end of the work sends a message to the
//    window through the display server, which queues it behind every event
//    it had for the program then; everything before that message is stale.
//  - Windows (input_fence_win32.cpp): every input message carries the time
//    it was made, on the clock the end of the work is read from; a press
//    stamped at or before the end is stale.
// Input Qt itself had already taken from the system and posted to the
// program's own queue is dropped alike on both.
#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointF>
#include <QtGui/qwindowdefs.h>
#include <cstdint>
#include <functional>
#include <set>

class QWidget;

namespace platform {

class InputFence : public QObject, public QAbstractNativeEventFilter {
 public:
  // guarded(w): true for the widgets whose contents the work replaces (and
  // those inside them), and for buttons that act on those contents. Installs itself on the application until destroyed.
  explicit InputFence(std::function<bool(const QWidget*)> guarded, QObject* parent = nullptr);
  ~InputFence() override;

  // The work has ended: presses made before now for guarded widgets are
  // dropped. window is the top-level window the work held.
  void dropEarlierInput(QWidget* window);
  // Presses are being dropped: the end of the work has not come through yet.
  bool raised() const { return m_nativeRaised || m_queueRaised; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
  void customEvent(QEvent* event) override;

 private:
  // The platform's part: how input reaches the program, and how the end of
  // the work is ordered behind what was made before it.
  void startNative();
  void stopNative();
  bool markNativeEnd(QWidget* window);  // true when the platform's input is fenced
  // Whether a press at `at` (device pixels of the top-level window `window`)
  // lands on a guarded widget.
  bool guardedAt(WId window, QPointF at) const;
  // A press dropped: its release, whenever it comes, goes with it.
  static bool dropWithRelease(std::set<uint32_t>& dropped, uint32_t which) { return dropped.insert(which), true; }

  std::function<bool(const QWidget*)> m_guarded;
  // X11: the connection (not owning), the message's type and the XInput
  // extension's opcode, read at the first use.
  void* m_xConnection = nullptr;
  uint32_t m_sentinelAtom = 0;
  int m_xinputOpcode = -1;
  // Windows: the system's tick count at the last end of work.
  uint32_t m_endTick = 0;
  uint32_t m_serial = 0;        // of the last end sent; older ones are spent
  bool m_nativeRaised = false;  // until the platform's input made before the end has passed
  // Keys and buttons whose press was dropped: their release goes too, so no
  // widget sees a release without its press.
  std::set<uint32_t> m_droppedKeys, m_droppedButtons;
  bool m_queueRaised = false;  // until the posted end comes through
};

}  // namespace platform
