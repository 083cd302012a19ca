#pragma once
// The room a window has on the screen: the free area of the screen it opens
// on, less the frame a window manager puts around it. Dialogs and windows
// are sized within it so that they show whole with their buttons on a small
// screen or at a large font: an 800 x 600 screen at 144 dpi has a free area
// of 533 x 400, and a 520 x 480 dialog left its buttons below the screen.
// Header only: the engine's dialog library uses it as well.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace platform {

// The window manager frames a window only once it is shown: the frame it
// gave the owner's window stands for it until then, or the window's own
// where the platform knows it at once. owner may be null: the screen of the
// active window then, or the primary one.
inline QRect windowRoom(QWidget& window, const QWidget* owner) {
  const QWindow* beside = owner ? owner->window()->windowHandle() : QGuiApplication::focusWindow();
  const QScreen* screen = owner ? owner->screen() : beside ? beside->screen() : QGuiApplication::primaryScreen();
  QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
  window.winId();  // the native window, whose frame some platforms know at once
  QMargins frame = window.windowHandle() ? window.windowHandle()->frameMargins() : QMargins();
  if (beside && beside != window.windowHandle()) {
    const QMargins o = beside->frameMargins();
    frame = QMargins(std::max(frame.left(), o.left()), std::max(frame.top(), o.top()),
                     std::max(frame.right(), o.right()), std::max(frame.bottom(), o.bottom()));
  }
  return room.marginsRemoved(frame);
}

// Resizes window to wanted, never below what its layout needs, within its room.
inline void fitToScreen(QWidget& window, QSize wanted, const QWidget* owner) {
  window.resize(wanted.expandedTo(window.minimumSizeHint()).boundedTo(windowRoom(window, owner).size()));
}

}  // namespace platform
