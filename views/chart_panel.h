#pragma once
// The chart view's panel: a lowered frame that holds the chart and, on its
// right edge, a 16-pixel scroll bar (no page-sized thumb, steps of one row,
// never a tab stop) that is shown only while the rows do not fit on a page.
// The panel owns both, as their parent.
#include <QFrame>

class QScrollBar;
class TBarChart;

class TChartPanel : public QFrame {
  Q_OBJECT
 public:
  explicit TChartPanel(QWidget* parent = nullptr);
  TBarChart* chart() const { return m_chart; }
  QScrollBar* scrollBar() const { return m_scroll; }
  // Rows moved by a click beside the thumb. Not the scroll bar's page step:
  // that would size the thumb as well, and the thumb stays small.
  void setLargeStep(int rows) { m_largeStep = rows; }
  int largeStep() const { return m_largeStep; }

 signals:
  // The chart's size changed (the window was resized), or the chart was
  // shown: a hidden chart keeps whatever height it last had.
  void chartResized();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The chart draws the focus mark of its current row while the panel has
  // the focus: painted again when the panel gains or loses it.
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  TBarChart* m_chart;
  QScrollBar* m_scroll;
  int m_largeStep = 1;
};
