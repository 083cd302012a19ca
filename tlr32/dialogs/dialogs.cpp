// The engine's four dialogs: compute options (target drive, allocated
// blocks), cluster sizes, file specification, and the report's file and depth.
// They run in the host's QApplication, parented to the window whose id the
// host passed, and change the engine's options only when confirmed.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStylePainter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <string>

#include "platform/window_room.h"
#include "tlr32/dialogs/dialog_host.h"

namespace {

constexpr const char* kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

bool haveApplication() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

QWidget* ownerWindow(uintptr_t owner) { return owner ? QWidget::find(static_cast<WId>(owner)) : nullptr; }

QString text(const TlrDialogHost* host, const QString& name) {
  char buf[4096];
  const int32_t n = host->getText(name.toUtf8().constData(), buf, sizeof buf);
  return n < 0 ? QString() : QString::fromUtf8(buf, n);
}

bool set(const TlrDialogHost* host, const QString& name, const QString& value) {
  return host->setOption(name.toUtf8().constData(), value.toUtf8().constData()) & 0xFF;
}

QDialogButtonBox* okCancel(QDialog* d) {
  auto* b = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(b, &QDialogButtonBox::accepted, d, &QDialog::accept);
  QObject::connect(b, &QDialogButtonBox::rejected, d, &QDialog::reject);
  return b;
}

// The folder a report name without one goes to: the user's documents folder,
// the home folder when there is none.
QString reportFolder() {
  const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return !docs.isEmpty() && QFileInfo(docs).isDir() ? docs : QDir::homePath();
}

// The full path of the report file a name in the dialog stands for.
QString reportPath(const QString& typed) {
  QString name = typed.trimmed();
  if (name.isEmpty()) return {};
  if (name == QLatin1String("~") || name.startsWith(QLatin1String("~/"))) return QDir::homePath() + name.mid(1);
  if (QDir::isAbsolutePath(name)) return name;
  const QString folder = reportFolder();
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// The file a path finally names, its symbolic links followed (the end of a
// dangling link, too: that is where the report would be written).
QString linkEnd(const QString& path) {
  QString p = path;
  for (int hop = 0; hop < 40 && QFileInfo(p).isSymLink(); ++hop) p = QFileInfo(p).symLinkTarget();
  return p;
}

QString quoted(const QString& path) { return QLatin1Char('\'') + path + QLatin1Char('\''); }

// Whether the report may go to path: a folder never, an existing file only
// after a yes (a link's own file is the one replaced, the link stays).
bool mayWriteReportTo(QWidget* parent, const QString& path) {
  const QString target = linkEnd(path);
  const QFileInfo info(target);
  QMessageBox box(parent);
  box.setTextFormat(Qt::PlainText);  // a name is not markup
  if (info.isDir()) {
    box.setWindowTitle(QStringLiteral("Warning"));
    box.setIcon(QMessageBox::Warning);
    box.setText(quoted(path) + QStringLiteral(" is a folder. Choose a name for the report file."));
    box.exec();
    return false;
  }
  if (!info.exists()) return true;
  box.setWindowTitle(QStringLiteral("Confirm"));
  box.setIcon(QMessageBox::Question);
  box.setText(target == path ? quoted(path) + QStringLiteral(" already exists.\n\nReplace it with the report?")
                             : quoted(path) + QStringLiteral(" is a link to ") + quoted(target) +
                                   QStringLiteral(", which already exists.\n\nReplace ") + quoted(target) +
                                   QStringLiteral(" with the report? The link stays."));
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

// A combo box of paths that does not grow to its longest entry (a volume
// mounted at a 94-character path made a dialog wider than the screen): the
// entry shown is elided in the middle, where a path has its least telling
// part, and the whole of it is the box's tool tip. The list shows each entry
// whole where the screen has room for it, else elided with its tool tip.
class TPathCombo : public QComboBox {
 public:
  explicit TPathCombo(QWidget* parent) : QComboBox(parent) {
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(16);
    setSizePolicy(QSizePolicy::Expanding, sizePolicy().verticalPolicy());
    view()->setTextElideMode(Qt::ElideMiddle);
    connect(this, &QComboBox::currentIndexChanged, this, [this] { setToolTip(currentText()); });
  }
  void addEntry(const QString& text, const QVariant& data) {
    addItem(text, data);
    setItemData(count() - 1, text, Qt::ToolTipRole);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    // As QComboBox paints itself, with the text elided to the field.
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    const int icon = opt.currentIcon.isNull() ? 0 : opt.iconSize.width() + 4;
    opt.currentText = fontMetrics().elidedText(opt.currentText, Qt::ElideMiddle, std::max(0, field.width() - icon - 2));
    painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
  }
};

// The size a dialog opens at: the one asked for, within the room the
// owner's screen has for it.
void fitToScreen(QDialog& d, QSize wanted) { platform::fitToScreen(d, wanted, d.parentWidget()); }

QString sizeName(int bytes) {
  return bytes >= 1048576 ? QStringLiteral("%1 MiB").arg(bytes / 1048576)
         : bytes >= 1024  ? QStringLiteral("%1 KiB").arg(bytes / 1024)
                          : QStringLiteral("%1 bytes").arg(bytes);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t tlrdlg_compute_options(uintptr_t owner, int32_t,
                                                                        const TlrDialogHost* host) {
  if (!haveApplication() || !host) return 0;
  QDialog d(ownerWindow(owner));
  d.setObjectName(QStringLiteral("ComputeOptionsDialog"));
  d.setWindowTitle(QStringLiteral("Compute Options"));
  auto* layout = new QVBoxLayout(&d);

  // The drive table: letters that stand for folders, editable.
  auto* drives = new QTableWidget(26, 2, &d);
  drives->setObjectName(QStringLiteral("DriveTable"));
  drives->setHorizontalHeaderLabels({QStringLiteral("Drive"), QStringLiteral("Folder")});
  drives->horizontalHeader()->setStretchLastSection(true);
  drives->verticalHeader()->hide();
  // Tab leaves the table for the next control (the arrow keys move between
  // cells): 52 cells of Tab kept a keyboard user from the buttons below.
  drives->setTabKeyNavigation(false);
  std::map<int, QString> before;
  for (int i = 0; i < 26; ++i) {
    auto* letter = new QTableWidgetItem(QStringLiteral("%1:").arg(QLatin1Char(kLetters[i])));
    letter->setFlags(Qt::ItemIsEnabled);
    drives->setItem(i, 0, letter);
    before[i] = text(host, QStringLiteral("Drive%1").arg(QLatin1Char(kLetters[i])));
    drives->setItem(i, 1, new QTableWidgetItem(before[i]));
  }
  auto* volumes = new TPathCombo(&d);
  volumes->setObjectName(QStringLiteral("Volumes"));
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes())
    if (v.isValid() && v.isReady()) volumes->addEntry(v.rootPath(), v.rootPath());
  auto* addVolume = new QPushButton(QStringLiteral("Give it the next free letter"), &d);
  QObject::connect(addVolume, &QPushButton::clicked, &d, [drives, volumes] {
    for (int i = 2; i < 26; ++i)
      if (drives->item(i, 1)->text().isEmpty()) {
        drives->item(i, 1)->setText(volumes->currentData().toString());
        return;
      }
  });
  auto* target = new QComboBox(&d);
  target->setObjectName(QStringLiteral("TargetDrive"));
  target->addItem(QStringLiteral("None: disk bytes on each folder's own volume"), 0);
  for (int i = 0; i < 26; ++i) target->addItem(QStringLiteral("%1:").arg(QLatin1Char(kLetters[i])), i + 1);
  const int mapDrive = host->getOption("MapDrive");
  target->setCurrentIndex(std::max(0, std::min(26, mapDrive)));
  auto* blocks = new QCheckBox(QStringLiteral("Count allocated blocks as du does"), &d);
  blocks->setObjectName(QStringLiteral("AllocatedBlocks"));
  const bool blocksBefore = host->getOption("AllocatedBlocks") != 0;
  blocks->setChecked(blocksBefore);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Target drive:"), target);
  layout->addLayout(form);
  auto* explain = new QLabel(QStringLiteral(
      "With a target drive, disk bytes are reckoned in that drive's allocation unit, to see whether the "
      "folder would fit there. Drive letters stand for the folders below:"));
  explain->setWordWrap(true);
  layout->addWidget(explain);
  drives->verticalHeader()->setDefaultSectionSize(drives->fontMetrics().height() + 6);
  layout->addWidget(drives, 1);
  auto* volumeRow = new QHBoxLayout;
  volumeRow->addWidget(new QLabel(QStringLiteral("Mounted volume:")));
  volumeRow->addWidget(volumes, 1);
  volumeRow->addWidget(addVolume);
  layout->addLayout(volumeRow);
  layout->addWidget(blocks);
  layout->addWidget(okCancel(&d));
  fitToScreen(d, QSize(520, 480));
  if (d.exec() != QDialog::Accepted) return 0;

  bool changed = false;
  for (int i = 0; i < 26; ++i) {
    const QString folder = drives->item(i, 1)->text().trimmed();
    if (folder != before[i] && (folder.isEmpty() || folder.startsWith(QLatin1Char('/'))))
      changed |= set(host, QStringLiteral("Drive%1").arg(QLatin1Char(kLetters[i])), folder);
  }
  if (target->currentData().toInt() != mapDrive)
    changed |= set(host, QStringLiteral("MapDrive"), QString::number(target->currentData().toInt()));
  if (blocks->isChecked() != blocksBefore)
    changed |= set(host, QStringLiteral("AllocatedBlocks"), blocks->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
  return changed;
}

__attribute__((visibility("default"))) int32_t tlrdlg_cluster_sizes(uintptr_t owner, int32_t drive,
                                                                      const TlrDialogHost* host) {
  if (!haveApplication() || !host) return 0;
  QDialog d(ownerWindow(owner));
  d.setObjectName(QStringLiteral("ClusterSizesDialog"));
  d.setWindowTitle(QStringLiteral("Cluster Sizes"));
  auto* layout = new QVBoxLayout(&d);
  auto* on = new QCheckBox(QStringLiteral("Use custom cluster sizes"), &d);
  on->setObjectName(QStringLiteral("CustomClusters"));
  const bool onBefore = host->getOption("CustomClusters") != 0;
  on->setChecked(onBefore);
  auto* letter = new TPathCombo(&d);
  letter->setObjectName(QStringLiteral("Drive"));
  auto* size = new QComboBox(&d);
  size->setObjectName(QStringLiteral("ClusterSize"));
  size->addItem(QStringLiteral("The volume's own"), 0);
  for (int s = 512; s <= 2097152; s *= 2) size->addItem(sizeName(s), s);
  std::map<int, int> sizes, before;  // by letter index
  for (int i = 0; i < 26; ++i) {
    const QString folder = text(host, QStringLiteral("Drive%1").arg(QLatin1Char(kLetters[i])));
    letter->addEntry(QStringLiteral("%1:%2").arg(QLatin1Char(kLetters[i])).arg(folder.isEmpty() ? QString() : "  " + folder), i);
    sizes[i] = before[i] = host->getOption(QStringLiteral("Cluster%1").arg(QLatin1Char(kLetters[i])).toUtf8().constData());
  }
  auto showSize = [&] { size->setCurrentIndex(std::max(0, size->findData(sizes[letter->currentData().toInt()]))); };
  QObject::connect(letter, &QComboBox::currentIndexChanged, &d, showSize);
  QObject::connect(size, &QComboBox::activated, &d, [&] { sizes[letter->currentData().toInt()] = size->currentData().toInt(); });
  // Opened on the drive of the index, when it names one.
  letter->setCurrentIndex(drive >= 0 && drive < 26 ? drive : 2);
  showSize();
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Drive:"), letter);
  form->addRow(QStringLiteral("Cluster size:"), size);
  layout->addWidget(on);
  layout->addLayout(form);
  auto* explain = new QLabel(QStringLiteral("Disk bytes are file sizes rounded up to the cluster size of the drive "
                                            "they are reckoned on."));
  explain->setWordWrap(true);
  layout->addWidget(explain);
  layout->addWidget(okCancel(&d));
  fitToScreen(d, d.sizeHint());
  if (d.exec() != QDialog::Accepted) return 0;
  bool changed = false;
  for (int i = 0; i < 26; ++i)
    if (sizes[i] != before[i])
      changed |= set(host, QStringLiteral("Cluster%1").arg(QLatin1Char(kLetters[i])), QString::number(sizes[i]));
  if (on->isChecked() != onBefore)
    changed |= set(host, QStringLiteral("CustomClusters"), on->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
  return changed;
}

__attribute__((visibility("default"))) int32_t tlrdlg_file_spec(uintptr_t owner, const TlrDialogHost* host) {
  if (!haveApplication() || !host) return 0;
  QDialog d(ownerWindow(owner));
  d.setObjectName(QStringLiteral("FileSpecDialog"));
  d.setWindowTitle(QStringLiteral("File Specification"));
  auto* layout = new QVBoxLayout(&d);
  auto* on = new QCheckBox(QStringLiteral("Count only the files whose names match"), &d);
  on->setObjectName(QStringLiteral("FileSpecOn"));
  const bool onBefore = host->getOption("FileSpecOn") != 0;
  on->setChecked(onBefore);
  auto* patterns = new QLineEdit(text(host, QStringLiteral("FileSpec")), &d);
  patterns->setObjectName(QStringLiteral("FileSpec"));
  const QString patternsBefore = patterns->text();
  layout->addWidget(on);
  layout->addWidget(patterns);
  auto* rule = new QLabel(QStringLiteral(
      "Patterns are separated by \";\", for example <b>*.jpg;*.png</b>. <b>*</b> stands for any run of "
      "characters and <b>?</b> for one; letter case does not matter; <b>*.*</b> matches every name. Folders "
      "are always counted; the files that do not match count for nothing."));
  rule->setWordWrap(true);
  layout->addWidget(rule);
  layout->addWidget(okCancel(&d));
  fitToScreen(d, QSize(440, 200));
  if (d.exec() != QDialog::Accepted) return 0;
  bool changed = false;
  if (patterns->text() != patternsBefore) changed |= set(host, QStringLiteral("FileSpec"), patterns->text());
  if (on->isChecked() != onBefore)
    changed |= set(host, QStringLiteral("FileSpecOn"), on->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
  return changed;
}

__attribute__((visibility("default"))) int32_t tlrdlg_report(uintptr_t owner, int32_t, const TlrDialogHost* host) {
  if (!haveApplication() || !host) return 0;
  QDialog d(ownerWindow(owner));
  d.setObjectName(QStringLiteral("ReportDialog"));
  d.setWindowTitle(QStringLiteral("Report Disk Usage"));
  auto* layout = new QVBoxLayout(&d);
  auto* file = new QLineEdit(&d);
  file->setObjectName(QStringLiteral("ReportFile"));
  auto* browse = new QPushButton(QStringLiteral("Browse..."), &d);
  browse->setObjectName(QStringLiteral("ReportBrowse"));
  // Where the report will go, in full: a name without a folder is not the
  // working folder's (which a user of a window never sees).
  auto* where = new QLineEdit(&d);
  where->setObjectName(QStringLiteral("ReportPath"));
  where->setReadOnly(true);
  where->setFrame(false);
  QObject::connect(file, &QLineEdit::textChanged, &d, [file, where] { where->setText(reportPath(file->text())); });
  auto* format = new QLabel(&d);
  format->setObjectName(QStringLiteral("ReportFormat"));
  auto showFormat = [file, format] {
    const QString ext = file->text().section(QLatin1Char('.'), -1).toLower();
    const bool hasExt = file->text().contains(QLatin1Char('.'));
    format->setText(!hasExt || file->text().isEmpty() ? QStringLiteral("Format: plain text")
                    : ext == QLatin1String("csv")     ? QStringLiteral("Format: CSV, for spreadsheets")
                    : ext == QLatin1String("json")    ? QStringLiteral("Format: JSON that ncdu and gdu import (the whole tree)")
                    : (ext == QLatin1String("html") || ext == QLatin1String("htm")) ? QStringLiteral("Format: web page")
                                                      : QStringLiteral("Format: plain text"));
  };
  QObject::connect(file, &QLineEdit::textChanged, &d, showFormat);
  QObject::connect(browse, &QPushButton::clicked, &d, [&d, file] {
    // The question about replacing a file is asked once, on OK, however the
    // name came; so the file dialog does not ask it too.
    QFileDialog chooser(&d, QStringLiteral("Report File"),
                        file->text().trimmed().isEmpty() ? reportFolder() : reportPath(file->text()),
                        QStringLiteral("Spreadsheet (*.csv);;Web page (*.html *.htm);;ncdu/gdu import (*.json);;Text (*.txt)"));
    chooser.setObjectName(QStringLiteral("ReportFileDialog"));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setOption(QFileDialog::DontConfirmOverwrite);
    fitToScreen(chooser, chooser.sizeHint());
    if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
      file->setText(chooser.selectedFiles().constFirst());
  });
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(new QLabel(QStringLiteral("File:")));
  fileRow->addWidget(file, 1);
  fileRow->addWidget(browse);
  layout->addLayout(fileRow);
  auto* whereRow = new QHBoxLayout;
  whereRow->addWidget(new QLabel(QStringLiteral("Written to:")));
  whereRow->addWidget(where, 1);
  layout->addLayout(whereRow);
  layout->addWidget(format);
  auto* depthBox = new QGroupBox(QStringLiteral("Rows"), &d);
  auto* depthLayout = new QVBoxLayout(depthBox);
  auto* entries = new QRadioButton(QStringLiteral("This folder's entries only"), depthBox);
  auto* levels = new QRadioButton(QStringLiteral("Sub-folders down to"), depthBox);
  auto* levelCount = new QSpinBox(depthBox);
  levelCount->setRange(1, 99);
  auto* all = new QRadioButton(QStringLiteral("Every sub-folder"), depthBox);
  entries->setObjectName(QStringLiteral("DepthEntries"));
  levels->setObjectName(QStringLiteral("DepthLevels"));
  levelCount->setObjectName(QStringLiteral("DepthCount"));
  all->setObjectName(QStringLiteral("DepthAll"));
  const int depth = host->getOption("ReportDepth");
  (depth < 0 ? all : depth == 0 ? entries : levels)->setChecked(true);
  levelCount->setValue(std::max(1, depth));
  auto* levelRow = new QHBoxLayout;
  levelRow->addWidget(levels);
  levelRow->addWidget(levelCount);
  levelRow->addWidget(new QLabel(QStringLiteral("levels")));
  levelRow->addStretch(1);
  depthLayout->addWidget(entries);
  depthLayout->addLayout(levelRow);
  depthLayout->addWidget(all);
  layout->addWidget(depthBox);
  auto* buttons = okCancel(&d);
  buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
  QObject::connect(file, &QLineEdit::textChanged, &d, [buttons, file] {
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!file->text().trimmed().isEmpty());
  });
  layout->addWidget(buttons);
  showFormat();
  fitToScreen(d, QSize(520, 240));
  QString path;
  do {
    if (d.exec() != QDialog::Accepted || file->text().trimmed().isEmpty()) return 0;
    path = reportPath(file->text());
  } while (!mayWriteReportTo(&d, path));
  set(host, QStringLiteral("ReportDepth"), QString::number(all->isChecked() ? -1 : entries->isChecked() ? 0 : levelCount->value()));
  host->setReportFileName(QFile::encodeName(path).constData());
  return 1;
}

}  // extern "C"
