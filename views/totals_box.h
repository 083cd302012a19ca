#pragma once
// The totals panel's group of six boxes. Each box is a lowered frame with its
// caption on the left, a right-aligned value label and, for the gauges, a bar
// drawn behind both. Every widget is a child of its frame, which is a child
// of the group.
//
// The boxes start at their design sizes (143, 218 and 108 pixels wide, 18
// high, at 96 dpi in an 8-point face) and grow to hold their caption and
// their longest value whole in the font in use: a count of 2,147,483,647, a
// byte figure of 999,999,999,999,999, "100%", any drive letter, and whatever
// longer text a value label is given. DejaVu Sans, Debian's face, is wider
// than the face the design sizes were made for: at 11 pixels "100%" needs 31
// pixels where the design gave 28.
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>

class QFrame;
class QLabel;
class TGauge;

struct TTotalsBox {
  QFrame* panel = nullptr;
  QLabel* caption = nullptr;
  QLabel* value = nullptr;
  TGauge* gauge = nullptr;  // null unless asked for
};

class TTotalsGroup : public QWidget {
  Q_OBJECT
 public:
  enum Box { Files, Directories, FileBytes, DiskBytes, MapDrive, Efficiency, kBoxes };
  explicit TTotalsGroup(QWidget* parent = nullptr);
  const TTotalsBox& box(Box b) const { return m_boxes[b]; }
  // Lays the boxes out again when a value label holds a text wider than the
  // label; cheap otherwise (one measure per label), so it may follow every
  // change of the values.
  void fitValues();
  // A line below the boxes, across the group, saying what the rows are
  // compared with and the folder's change; none when text is empty.
  void setChangeLine(const QString& text);
  QString changeLine() const;

 signals:
  // The group's size changed: the panel around it and the window's least
  // size follow.
  void sizeChanged();

 protected:
  void changeEvent(QEvent* event) override;  // a new font or locale: measured anew

 private:
  void layOut();
  std::array<TTotalsBox, kBoxes> m_boxes;
  QLabel* m_changeLine = nullptr;
};
