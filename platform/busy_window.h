#pragma once
// Long work on the window's thread (a refresh of a large folder) calls this
// now and then, at no cost worth measuring.
//
// On Windows it looks at the thread's message queue without taking anything
// from it. The system then keeps counting the window as one that answers,
// rather than greying it and drawing a stand-in over it after five seconds,
// and under wine what was painted meanwhile reaches the screen. No queued
// message is dispatched, so nothing the user does acts before the work ends.
// On X11 a repaint reaches the screen by itself, and nothing is needed.
//
// True when the user has asked to close window meanwhile (its title bar's
// close button, the window manager, another program), so that the work can
// stop rather than keep the window up until its end. A key made meanwhile
// (Alt+F4) is not such a request: keys made during the work are dropped.
// On X11 the request waits in Qt's connection, unseen: always false.
class QWidget;

namespace platform {

#ifdef _WIN32
bool stayResponsive(QWidget* window);
#else
inline bool stayResponsive(QWidget*) { return false; }
#endif

}  // namespace platform
