#pragma once
// A flat horizontal bar: the background colour over the whole area, then the
// foreground colour over the left progress per cent. No border, no text.
#include <QColor>
#include <QWidget>

class TGauge : public QWidget {
  Q_OBJECT
 public:
  explicit TGauge(QWidget* parent = nullptr);
  int progress() const { return m_progress; }
  void setProgress(int progress);  // clamped into 0..100
  QColor backColor() const { return m_back; }
  QColor foreColor() const { return m_fore; }
  void setBackColor(const QColor& c);
  void setForeColor(const QColor& c);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  int m_progress = 0;
  QColor m_back;
  QColor m_fore;
};

inline const QColor kSkyBlue(166, 202, 240);
