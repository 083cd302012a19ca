// The engine's dialogs through its C interface, in a host with a
// QApplication: each changes the options only when confirmed and says so.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

#include "tlr32/tlr32.h"

namespace {

// Answers the next dialog: fill runs on it, then OK (or Cancel).
void answerNextDialog(const std::function<void(QDialog&)>& fill, bool ok) {
  QTimer::singleShot(0, [fill, ok] {
    auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!d) return;
    fill(*d);
    if (ok)
      d->accept();
    else
      d->reject();
  });
}

void reset() {
  TlrExtInit("");
  for (const char* n : {"MapDrive", "CustomClusters", "FileSpecOn", "AllocatedBlocks", "ReportDepth"})
    TlrSetOption(n, "0");
  TlrSetOption("FileSpec", "*.*");
}

}  // namespace

TEST(EngineDialogs, FileSpecificationChangesOnlyWhenConfirmed) {
  reset();
  answerNextDialog([](QDialog& d) {
    EXPECT_EQ(d.objectName(), "FileSpecDialog");
    EXPECT_TRUE(d.findChild<QLabel*>() != nullptr);
    d.findChild<QCheckBox*>("FileSpecOn")->setChecked(true);
    d.findChild<QLineEdit*>("FileSpec")->setText("*.jpg;*.png");
  }, true);
  EXPECT_EQ(TlrDlgFileSpec(0) & 0xFF, 1);
  EXPECT_EQ(TlrFileSpecOn() & 0xFF, 1);
  answerNextDialog([](QDialog& d) { d.findChild<QCheckBox*>("FileSpecOn")->setChecked(false); }, false);
  EXPECT_EQ(TlrDlgFileSpec(0) & 0xFF, 0) << "cancelled";
  EXPECT_EQ(TlrFileSpecOn() & 0xFF, 1) << "and nothing changed";
  answerNextDialog([](QDialog&) {}, true);
  EXPECT_EQ(TlrDlgFileSpec(0) & 0xFF, 0) << "confirmed without a change";
}

TEST(EngineDialogs, ComputeOptionsAndClusterSizes) {
  reset();
  answerNextDialog([](QDialog& d) {
    EXPECT_EQ(d.objectName(), "ComputeOptionsDialog");
    d.findChild<QComboBox*>("TargetDrive")->setCurrentIndex(3);  // C:, which stands for "/"
    d.findChild<QCheckBox*>("AllocatedBlocks")->setChecked(true);
  }, true);
  EXPECT_EQ(TlrDlgComputeOptions(0, 2) & 0xFF, 1);
  EXPECT_EQ(TlrGetOption("MapDrive", 0), 3);
  EXPECT_EQ(TlrGetOption("AllocatedBlocks", 0), 1);
  ASSERT_EQ(TlrSetOption("MapDrive", "0") & 0xFF, 1);

  int openedOn = -1;
  answerNextDialog([&](QDialog& d) {
    EXPECT_EQ(d.objectName(), "ClusterSizesDialog");
    auto* drive = d.findChild<QComboBox*>("Drive");
    openedOn = drive->currentIndex();
    d.findChild<QCheckBox*>("CustomClusters")->setChecked(true);
    auto* size = d.findChild<QComboBox*>("ClusterSize");
    size->setCurrentIndex(size->findData(65536));
    emit size->activated(size->currentIndex());
  }, true);
  EXPECT_EQ(TlrDlgClusterSizes(0, 3) & 0xFF, 1);
  EXPECT_EQ(openedOn, 3) << "opened on the drive of the index";
  EXPECT_EQ(TlrCustomClustersOn() & 0xFF, 1);
  EXPECT_EQ(TlrGetOption("ClusterD", 0), 65536);
  reset();
  TlrSetOption("ClusterD", "0");
}

TEST(EngineDialogs, TheReportDialogChoosesTheFileAndTheDepth) {
  reset();
  answerNextDialog([](QDialog& d) {
    EXPECT_EQ(d.objectName(), "ReportDialog");
    auto* ok = d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    EXPECT_FALSE(ok->isEnabled()) << "no file, no report";
    d.findChild<QLineEdit*>("ReportFile")->setText("/tmp/usage.JSON");
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_TRUE(d.findChild<QLabel*>("ReportFormat")->text().contains("JSON"));
    d.findChild<QRadioButton*>("DepthAll")->setChecked(true);
  }, true);
  EXPECT_EQ(TlrDlgReportUsage(0, 0) & 0xFF, 1);
  EXPECT_STREQ(TlrGetReportFileName(), "/tmp/usage.JSON");
  EXPECT_EQ(TlrGetOption("ReportDepth", 0), -1);
  answerNextDialog([](QDialog&) {}, false);
  EXPECT_EQ(TlrDlgReportUsage(0, 0) & 0xFF, 0);
  reset();
}
