#include "support/report_wait_form.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

TReportWaitForm::TReportWaitForm(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("ReportWaitForm"));
  setWindowTitle(QStringLiteral("Report Disk Usage"));
  setFixedSize(292, 45);
  setCursor(Qt::WaitCursor);
  QFont f(QFontDatabase::families().contains(QStringLiteral("MS Sans Serif")) ? QStringLiteral("MS Sans Serif")
                                                                               : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
  f.setPointSize(8);
  setFont(f);
  ReportWaitLabel = new QLabel(QStringLiteral("Generating disk usage report. Please wait..."), this);
  ReportWaitLabel->setObjectName(QStringLiteral("ReportWaitLabel"));
  ReportWaitLabel->setGeometry(8, 7, 277, 30);
  ReportWaitLabel->setFixedSize(277, 30);
  ReportWaitLabel->setAlignment(Qt::AlignCenter);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
}
