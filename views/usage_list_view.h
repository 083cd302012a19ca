#pragma once
// The usage list's view: a flat multi-column list, whole rows selected, many
// at once, rows tall enough for a 21-pixel icon with the 16-pixel icon centred.
// A table view rather than a tree view: appending a row costs the table O(1),
// while a tree view lays out every row again at the next paint, which made the
// refresh of a 100,000-file folder quadratic (its forced repaints).
#include <QElapsedTimer>
#include <QTableView>

class QHeaderView;

class TUsageListView : public QTableView {
  Q_OBJECT
 public:
  explicit TUsageListView(QWidget* parent = nullptr);
  QHeaderView* header() const;
  // The room an item view leaves around a cell's text, both sides together.
  int textMargins() const;
  static constexpr int kRowHeight = 21;

  // While rows arrive (a refresh appends them in batches), the page is painted
  // only when asked, through repaintArrivedRows: any repaint in the window
  // paints every widget marked dirty, and each batch marks the page dirty.
  void beginArrivals();
  void endArrivals();  // back to normal painting, the page once more
  // Paints the list now, after rows from firstNew on were appended. When the
  // visible page is full and every new row lies below it, only the scroll
  // bar changed: the rows on screen are not painted again, which made most of
  // the time of a 100,000-row refresh.
  void repaintArrivedRows(int firstNew);

  // Arrivals for the length of a scope, whichever way it is left.
  class Arrivals {
   public:
    explicit Arrivals(TUsageListView* view) : m_view(view) { m_view->beginArrivals(); }
    ~Arrivals() { end(); }
    void end() {
      if (m_view) m_view->endArrivals();
      m_view = nullptr;
    }

   private:
    TUsageListView* m_view;
  };

 signals:
  // The font or the locale changed: texts need other widths.
  void textMetricsChanged();

 protected:
  void changeEvent(QEvent* event) override;

 private:
  QElapsedTimer m_scrollBarPainted;
};
