#pragma once
// Drops the presses that were made while the program's one thread was held by
// work that replaced what they were aimed at. A refresh holds the window; a
// click or key made meanwhile waits in the queue and, delivered afterwards,
// landed on whichever row had then come under it. The fence is raised when
// such work ends: presses (mouse buttons, keys) made before that moment and
// aimed at a guarded widget are dropped, with their releases; presses made
// after it pass at once.
//
// On X11 "made before" is exact: the end of the work sends a message to the
// window through the display server, which queues it behind every event it
// had for the program then; everything before that message is stale. On
// other platforms only input already posted to the program's own queue is
// known to be older, and only that is dropped.
#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>
#include <functional>
#include <set>

class QWidget;

namespace platform {

class InputFence : public QObject, public QAbstractNativeEventFilter {
 public:
  // guarded(w): true for the widgets whose contents the work replaces (and
  // those inside them). Installs itself on the application until destroyed.
  explicit InputFence(std::function<bool(const QWidget*)> guarded, QObject* parent = nullptr);
  ~InputFence() override;

  // The work has ended: presses made before now for guarded widgets are
  // dropped. window is the top-level window the work held.
  void dropEarlierInput(QWidget* window);
  // Presses are being dropped: the end of the work has not come through yet.
  bool raised() const { return m_xRaised || m_queueRaised; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
  void customEvent(QEvent* event) override;

 private:
  bool sendXSentinel(QWidget* window);
  bool guardedAt(uint32_t xWindow, int32_t x, int32_t y, bool fixedPoint) const;
  bool guardedFocus() const;

  std::function<bool(const QWidget*)> m_guarded;
  // X11: the connection (not owning), the message's type and the XInput
  // extension's opcode, read at the first use.
  void* m_xConnection = nullptr;
  uint32_t m_sentinelAtom = 0;
  int m_xinputOpcode = -1;
  uint32_t m_serial = 0;   // of the last end sent; older ones are spent
  bool m_xRaised = false;  // until that message comes back
  // Keys and buttons whose press was dropped: their release goes too, so no
  // widget sees a release without its press.
  std::set<uint32_t> m_droppedKeys, m_droppedButtons;
  bool m_queueRaised = false;  // until the posted end comes through
};

}  // namespace platform
