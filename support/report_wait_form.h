#pragma once
// The wait window shown while a report is written: a small tool window
// without buttons, centred on the screen, with one line of text. It has no
// behaviour of its own; the report command shows it, paints it and removes it.
#include <QDialog>

class QLabel;

class TReportWaitForm : public QDialog {
  Q_OBJECT
 public:
  explicit TReportWaitForm(QWidget* owner);
  QLabel* ReportWaitLabel = nullptr;
};
