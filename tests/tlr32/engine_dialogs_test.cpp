// The engine's dialogs through its C interface, in a host with a
// QApplication: each changes the options only when confirmed and says so.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <memory>
#include <vector>

#include "scoped_mount.h"
#include "temp_tree.h"
#include "window_fit.h"

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

namespace {

// HOME and the documents folder in a temporary folder for one test.
struct TempHome {
  TempHome() {
    for (const char* v : {"HOME", "XDG_CONFIG_HOME"}) saved.push_back(getenv(v) ? getenv(v) : "");
    setenv("HOME", home.root().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.path(".config").c_str(), 1);
  }
  ~TempHome() {
    setenv("HOME", saved[0].c_str(), 1);
    setenv("XDG_CONFIG_HOME", saved[1].c_str(), 1);
  }
  testsupport::TempTree home;
  std::vector<std::string> saved;
};

// Runs the report dialog with the file name typed; each later box (a
// question, the dialog again) is answered by the next step in turn.
using Step = std::function<void(QWidget&)>;
void runSteps(std::vector<Step> steps) {
  auto shared = std::make_shared<std::vector<Step>>(std::move(steps));
  auto next = std::make_shared<std::function<void()>>();
  *next = [shared, next] {
    QTimer::singleShot(0, [shared, next] {
      QWidget* w = QApplication::activeModalWidget();
      if (!w || shared->empty()) return;
      const Step step = shared->front();
      shared->erase(shared->begin());
      (*next)();  // armed before the step opens the next box
      step(*w);
    });
  };
  (*next)();
}

Step typeAndAccept(const QString& name, QString* shownPath = nullptr) {
  return [name, shownPath](QWidget& w) {
    auto* d = qobject_cast<QDialog*>(&w);
    ASSERT_TRUE(d && d->objectName() == "ReportDialog");
    d->findChild<QLineEdit*>("ReportFile")->setText(name);
    if (shownPath) *shownPath = d->findChild<QLineEdit*>("ReportPath")->text();
    d->accept();
  };
}

Step answer(QMessageBox::StandardButton button, QString* text) {
  return [button, text](QWidget& w) {
    auto* box = qobject_cast<QMessageBox*>(&w);
    ASSERT_NE(box, nullptr);
    *text = box->text();
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No)) << "No is the default";
    box->button(button)->click();
  };
}

Step cancel() {
  return [](QWidget& w) { qobject_cast<QDialog*>(&w)->reject(); };
}

}  // namespace

TEST(EngineDialogs, AReportNameWithoutAFolderGoesToTheDocumentsFolder) {
  reset();
  TempHome h;
  // No documents folder: the home folder; then the documents folder.
  for (bool docs : {false, true}) {
    SCOPED_TRACE(docs ? "documents" : "home");
    if (docs) h.home.dir("Documents");
    const std::string folder = docs ? h.home.path("Documents") : h.home.root();
    QString shown, browseOpened;
    runSteps({typeAndAccept("rel.csv", &shown)});
    ASSERT_EQ(TlrDlgReportUsage(0, 0) & 0xFF, 1);
    EXPECT_EQ(std::string(TlrGetReportFileName()), folder + "/rel.csv");
    EXPECT_EQ(shown.toStdString(), folder + "/rel.csv") << "the full path shows before writing";
    // Browse opens there.
    runSteps({[](QWidget& w) { w.findChild<QPushButton*>("ReportBrowse")->click(); },
              [&](QWidget& w) {
                auto* fd = qobject_cast<QFileDialog*>(&w);
                ASSERT_NE(fd, nullptr);
                browseOpened = fd->directory().absolutePath();
                fd->reject();
              },
              cancel()});
    EXPECT_EQ(TlrDlgReportUsage(0, 0) & 0xFF, 0);
    EXPECT_EQ(browseOpened.toStdString(), folder);
  }
  reset();
}

TEST(EngineDialogs, ReplacingAnExistingFileIsAskedFirstAndNoKeepsTheDialogOpen) {
  reset();
  TempHome h;
  h.home.file("old.csv", 5);
  h.home.file("real.txt", 5);
  h.home.symlink(h.home.path("real.txt"), "link.txt");
  struct Case {
    std::string typed;
    QString mentions;  // in the question
  } cases[] = {{h.home.path("old.csv"), QString::fromStdString(h.home.path("old.csv"))},
               {"link.txt", QString::fromStdString(h.home.path("real.txt"))}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    QString question, again;
    // No: the dialog comes back; cancelled, no report.
    runSteps({typeAndAccept(QString::fromStdString(c.typed)), answer(QMessageBox::No, &question), cancel()});
    EXPECT_EQ(TlrDlgReportUsage(0, 0) & 0xFF, 0);
    EXPECT_TRUE(question.contains(c.mentions)) << question.toStdString();
    EXPECT_EQ(testsupport::readFile(h.home.path("old.csv")).size(), 5u);
    // Yes: the report goes there.
    runSteps({typeAndAccept(QString::fromStdString(c.typed)), answer(QMessageBox::Yes, &again)});
    EXPECT_EQ(TlrDlgReportUsage(0, 0) & 0xFF, 1);
    EXPECT_EQ(again, question);
  }
  // A new name asks nothing.
  runSteps({typeAndAccept("new.csv"), cancel()});
  EXPECT_EQ(TlrDlgReportUsage(0, 0) & 0xFF, 1);
  reset();
}

TEST(EngineDialogs, EveryDialogFitsTheScreenWithItsButtonsAndTexts) {
  // Also run on an 800 x 600 screen at 144 dpi, where Qt draws everything
  // half as large again: a free area of 533 x 400.
  if (!qEnvironmentVariableIsEmpty("TALLORIN_TEST_DPR")) {
    ASSERT_EQ(qApp->primaryScreen()->devicePixelRatio(), qEnvironmentVariable("TALLORIN_TEST_DPR").toDouble());
  }
  reset();
  TempHome h;
  // An answer armed by an earlier test for a box that never came would
  // answer the first dialog here.
  QCoreApplication::processEvents();
  // A volume mounted at a path of 94 characters: the volume box must not
  // grow to it.
  testsupport::TempTree mounts;
  std::string at = mounts.root() + "/";
  at += std::string(94 - at.size(), 'v');
  ASSERT_EQ(at.size(), 94u);
  mounts.dir(at.substr(mounts.root().size() + 1));
  const testsupport::ScopedMount volume = testsupport::ScopedMount::tmpfs(at, "size=64k");
  if (!volume.mounted()) std::cerr << "without a long mount point: " << volume.why() << "\n";
  TlrSetOption("DriveQ", "/a/folder/with/a/rather/long/path/that/goes/on/and/on/for/a/while/and/then/some/more");

  struct Seen {
    std::string name;
    std::vector<std::string> cut;
  };
  std::vector<Seen> seen;
  auto look = [&seen](QWidget& w) { seen.push_back({w.objectName().toStdString(), testsupport::cutParts(w)}); };
  QString tip, added;
  answerNextDialog([&](QDialog& d) {
    look(d);
    auto* volumes = d.findChild<QComboBox*>("Volumes");
    ASSERT_NE(volumes, nullptr);
    const int i = volumes->findData(QString::fromStdString(at));
    if (!volume.mounted()) return;
    ASSERT_GE(i, 0) << "the long mount point is offered";
    volumes->setCurrentIndex(i);
    tip = volumes->toolTip();
    EXPECT_EQ(volumes->itemData(i, Qt::ToolTipRole).toString().toStdString(), at);
    for (QPushButton* b : d.findChildren<QPushButton*>())
      if (b->text().contains("next free letter")) b->click();
    added = d.findChild<QTableWidget*>("DriveTable")->item(3, 1)->text();  // C: holds "/", so D:
    // Tab leaves the drive table for the controls below it.
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    auto* drives = d.findChild<QTableWidget*>("DriveTable");
    drives->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == drives; }));
    QTest::keyClick(drives, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(volumes));
  }, false);
  TlrDlgComputeOptions(0, 2);
  if (volume.mounted()) {
    EXPECT_EQ(tip.toStdString(), at) << "the whole path in the tool tip";
    EXPECT_EQ(added.toStdString(), at) << "the whole path goes to the table, never the elided one";
  }
  answerNextDialog([&](QDialog& d) {
    look(d);
    auto* drive = d.findChild<QComboBox*>("Drive");
    drive->setCurrentIndex(16);  // Q:, with its long folder
    EXPECT_TRUE(drive->toolTip().contains("/then/some/more")) << drive->toolTip().toStdString();
    seen.push_back({"ClusterSizesDialog on Q:", testsupport::cutParts(d)});
  }, false);
  TlrDlgClusterSizes(0, 16);
  answerNextDialog(look, false);
  TlrDlgFileSpec(0);
  runSteps({[&](QWidget& w) {
              look(w);
              w.findChild<QPushButton*>("ReportBrowse")->click();
            },
            [&](QWidget& w) {
              look(w);
              qobject_cast<QDialog*>(&w)->reject();
            },
            cancel()});
  TlrDlgReportUsage(0, 0);
  std::vector<std::string> names;
  for (const Seen& s : seen) {
    names.push_back(s.name);
    EXPECT_EQ(s.cut, std::vector<std::string>{}) << s.name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"ComputeOptionsDialog", "ClusterSizesDialog", "ClusterSizesDialog on Q:",
                                             "FileSpecDialog", "ReportDialog", "ReportFileDialog"}));
  TlrSetOption("DriveQ", "");
  reset();
}
