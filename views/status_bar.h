#pragma once
// The status bar with its four panels. Panels 0 and 3 are plain text; panel
// 1 draws the free-space text with a sky-blue bar of the free share anchored
// at its right edge and the share right-aligned; panel 2 draws the cluster
// text on sky blue while a custom cluster size is in force. The bar remembers
// the last pointer position and offers the tool tip "Double click to change"
// only over the cluster panel.
//
// The panels are 90, 200, 115 and 70 pixels wide at the least, and wider
// where a text needs it in the font in use: "1234 selections" does not fit 90
// pixels in DejaVu Sans at 11 pixels. Each panel holds its longest expected
// text whole and widens for a longer one; the bar is as high as the font.
#include <QStatusBar>
#include <array>
#include <functional>

class TStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  static constexpr std::array<int, 4> kPanelWidths{90, 200, 115, 70};  // the least widths
  static constexpr int kHeight = 19;                                     // the least height

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

  int panelWidth(int panel) const { return m_widths.at(panel); }
  // The room a text needs in a panel: its advance, the panel's edges and the
  // margins the drawing leaves.
  int neededWidth(const QString& text) const;

  // The pointer test of the cluster panel, in bar coordinates.
  bool InClusterPanel(QPoint p) const;
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
  void changeEvent(QEvent* e) override;  // a new font or locale: measured anew

 private:
  void StatusBarDrawPanel(QPainter& painter, int panel, const QRect& r);
  void fitPanels();  // widths and height for the font, the samples and the texts

  std::array<int, 4> m_widths = kPanelWidths;

  std::array<QString, 4> m_texts;
  std::function<bool()> m_customCluster;
  QPoint m_pointer{0, 0};
  bool m_tipOn = false;
};
