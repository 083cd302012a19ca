#pragma once
// A panel that takes files and folders dropped on it from a file manager and
// hands their paths, in drop order, to one event. Only local files count: a
// drop of nothing but web addresses gives no event. Setting OnFileDrop renews
// the panel's acceptance of drops (an empty event stops it).
#include <QPoint>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QMimeData;

class TDropPanel : public QWidget {
  Q_OBJECT
 public:
  using TFileDropEvent = std::function<void(TDropPanel* sender, const std::vector<std::string>& files, QPoint at)>;

  explicit TDropPanel(QWidget* parent = nullptr);
  void setOnFileDrop(TFileDropEvent handler);
  const TFileDropEvent& onFileDrop() const { return m_onFileDrop; }

  // The local paths a drop carries, in its order; the rest left out.
  static std::vector<std::string> localPaths(const QMimeData* data);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  TFileDropEvent m_onFileDrop;
};
