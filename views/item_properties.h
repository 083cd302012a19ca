#pragma once
// The properties window of one item: a form of the facts it is given.
#include <QDialog>
#include <QString>
#include <utility>
#include <vector>

class TItemProperties : public QDialog {
  Q_OBJECT
 public:
  // rows: (caption, value) in the order shown.
  TItemProperties(const QString& name, const std::vector<std::pair<QString, QString>>& rows, QWidget* parent = nullptr);
};
