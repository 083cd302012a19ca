#pragma once
// A ring in the highlight colour over whichever of its controls has the
// keyboard focus. The folder tree, the list and the chart have no frame of
// their own, and the style marks a focused item view faintly or not at all:
// the ring shows where the keys go. Hidden while none of them has the focus
// or the window is not the active one.
//
// It lies over the control, as a sibling raised above it, and lets the mouse
// through; only the ring is painted and takes room (a mask), so the control
// under it scrolls and paints as before. Owned by its parent (the window); it
// moves to the focused control's parent.
#include <QPointer>
#include <QWidget>
#include <vector>

class TFocusMark : public QWidget {
  Q_OBJECT
 public:
  explicit TFocusMark(QWidget* window);
  // Marks w while w, or a control inside it, has the focus.
  void watch(QWidget* w);
  QWidget* marked() const { return m_marked; }  // null while hidden
  static constexpr int kWidth = 2;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void follow(QWidget* focus);
  void place();
  std::vector<QPointer<QWidget>> m_watched;
  QPointer<QWidget> m_marked;
};
