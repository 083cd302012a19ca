#pragma once
// The status bar with its four panels (widths 90, 200, 115, 70). Panels 0
// and 3 are plain text; panel 1 draws the free-space text with a sky-blue bar
// of the free share anchored at its right edge and the share right-aligned;
// panel 2 draws the cluster text on sky blue while a custom cluster size is in
// force. The bar remembers the last pointer position and offers the tool tip
// "Double click to change" only over the cluster panel.
#include <QStatusBar>
#include <array>
#include <functional>

class TStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  static constexpr std::array<int, 4> kPanelWidths{90, 200, 115, 70};
  static constexpr int kHeight = 19;

  explicit TStatusBar(QWidget* parent = nullptr);

  QString panelText(int panel) const { return m_texts.at(panel); }
  void setPanelText(int panel, const QString& text);
  void clearPanels();
  // The rectangle in which a panel is drawn.
  QRect panelRect(int panel) const;
  // Asked at every paint of panel 2: is a custom cluster size in force?
  void setCustomClusterQuery(std::function<bool()> query) { m_customCluster = std::move(query); }
  QPoint lastPointer() const { return m_pointer; }
  bool clusterTipOn() const { return m_tipOn; }

  // The pointer test of the cluster panel, in bar coordinates.
  static bool InClusterPanel(QPoint p, int barHeight);
  // The share read from a free-space text "… (37%)"; -1 when it has none.
  static int SharePercent(const QString& text);

  void StatusBarMouseMove(QPoint p);
  void StatusBarDblClick();

 signals:
  void clusterPanelDoubleClicked();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  bool event(QEvent* e) override;

 private:
  void StatusBarDrawPanel(QPainter& painter, int panel, const QRect& r);

  std::array<QString, 4> m_texts;
  std::function<bool()> m_customCluster;
  QPoint m_pointer{0, 0};
  bool m_tipOn = false;
};
