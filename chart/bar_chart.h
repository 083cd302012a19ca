#pragma once
// A horizontal bar chart drawn with QPainter: categories run down the left
// axis (one per point index), values along the bottom axis from 0. Each series
// adds one bar per category; the bars of one category stand side by side in
// series order and share 80 % of the category's slot. The slot is sized from
// the points per page, not from the number of points, so a page of a long
// list keeps its bar thickness.
//
// The chart knows nothing of what it shows. Its owner sets the page (the
// category range), the points per page, the label pattern of the value axis,
// the pointer shape and the tool tip, and draws extras in the after-draw hook
// from the category axis geometry.
#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class TBarChart : public QWidget {
  Q_OBJECT
 public:
  // Where the category axis lies after the last layout, for the owner's
  // hit tests and drawings.
  struct CategoryAxis {
    double min = 0, max = 0;  // the range shown: min at the top
    int startPos = 0;         // first pixel row of the axis
    int endPos = 0;           // last pixel row of the axis
    int labelsRight = 0;      // the x at which the right-aligned labels end
    int textHeight = 0;       // the height of "X" in the chart's font
  };

  explicit TBarChart(QWidget* parent = nullptr);

  // --- series and points ---
  int addSeries(const QString& title, const QColor& colour);  // returns its index
  int seriesCount() const { return static_cast<int>(m_series.size()); }
  QString seriesTitle(int series) const { return m_series.at(series).title; }
  QColor seriesColour(int series) const { return m_series.at(series).colour; }
  // Adding points does not repaint: call update() once they are all in.
  void addPoint(int series, double value, const QString& label);
  void reservePoints(int series, int count);
  // A series' values in one go, labelled by the label source.
  void setValues(int series, std::vector<double> values);
  // The labels of the category axis, made only for the points laid out or
  // painted rather than stored with every point: a chart of 100,000 points
  // shows a dozen labels a page, and making them all took 30 ms of every
  // rebuild. Stands for every series' labels until clearPoints.
  using LabelSource = std::function<QString(int index)>;
  void setLabelSource(LabelSource source);
  // Runs of a label drawn apart from the rest (see marked_text.h): (start,
  // length) pairs of the label source's text for the same index.
  using LabelMarkSource = std::function<QList<int>(int index)>;
  void setLabelMarkSource(LabelMarkSource source);
  void clearPoints();  // every point of every series, and the label sources
  int pointCount(int series) const { return static_cast<int>(m_series.at(series).values.size()); }
  double pointValue(int series, int index) const { return m_series.at(series).values.at(index); }
  QString pointLabel(int series, int index) const;

  // --- axes ---
  // The category range shown, min at the top; one label per whole index.
  void setCategoryRange(double min, double max);
  void setCategoryMin(double min);
  void setCategoryMax(double max);
  double categoryMin() const { return m_min; }
  double categoryMax() const { return m_max; }
  void setPointsPerPage(int points);  // the bar thickness follows it
  int pointsPerPage() const { return m_pointsPerPage; }
  // The value labels: a whole number with the locale's group separators,
  // then the suffix (the pattern "#,##0KB" is the suffix "KB").
  void setValueLabelSuffix(const QString& suffix);
  QString valueLabelSuffix() const { return m_valueSuffix; }
  // The value axis runs from 0 to the largest value of all points.
  double valueAxisMax() const { return m_valueMax; }
  CategoryAxis categoryAxis() const;

  // --- look ---
  // Margins around everything, in per cent of the chart's width and height.
  void setMarginsPercent(int left, int top, int right, int bottom);
  // The face every text uses: Tahoma where installed, else the desktop's
  // sans-serif, at 8 points.
  static QFont chartFont();

  // --- interaction ---
  void setPointerShape(Qt::CursorShape shape);
  Qt::CursorShape pointerShape() const { return m_pointer; }
  // The tool tip, plain text; marks as a label's (setLabelMarkSource).
  void setHintText(const QString& text, const QList<int>& marks = {});
  QString hintText() const { return m_hint; }
  void setHintsEnabled(bool on);
  bool hintsEnabled() const { return m_hintsOn; }

 signals:
  // After each complete paint, with the painter still open on the chart.
  void afterDraw(QPainter& painter, const TBarChart::CategoryAxis& axis);
  void pointerMoved(const QPoint& pos);
  void clicked(const QPoint& pos);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct Series {
    QString title;
    QColor colour;
    std::vector<double> values;
    std::vector<QString> labels;
  };
  // Where everything goes for the current size, range and points.
  struct Layout {
    QRect frame;       // inside the margins
    QRect legend;      // the legend box
    QRect plot;        // the back wall: bars and grid
    CategoryAxis axis;
    double valueStep = 0;  // between grid lines
    double valueTop = 0;   // the value at the plot's right edge
    bool legendShown = true;
    bool valueLabels = true;
  };
  Layout layout() const;
  // The label of category i (of the first series), or none beyond its points.
  bool hasLabel(int i) const;
  QString label(int i) const;
  QList<int> labelMarks(int i) const;
  QString valueText(double value) const;
  int firstIndex() const;
  int lastIndex() const;

  std::vector<Series> m_series;
  LabelSource m_labelSource;
  LabelMarkSource m_labelMarkSource;
  double m_min = 0, m_max = 6;
  int m_pointsPerPage = 8;
  double m_valueMax = 0;
  QString m_valueSuffix;
  int m_margins[4] = {3, 3, 8, 3};  // left, top, right, bottom
  Qt::CursorShape m_pointer = Qt::ArrowCursor;
  QString m_hint;
  QList<int> m_hintMarks;
  bool m_hintsOn = false;
  bool m_pressed = false;
};
