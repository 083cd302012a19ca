// The window on Windows, with the real engine (TLR32.DLL beside the test) and
// the real Windows services: it opens on a folder made here and shows its
// rows and totals, a save stores the settings in the registry as REG_DWORD
// values, and Delete moves a file to the Recycle Bin. Run under wine by
// run_under_wine.sh, which reads the registry and the bin back from outside.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/disk_usage_form.h"
#include "platform/message_box.h"
#include "support/app_information.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

namespace {

std::string native(const QString& path) { return QDir::toNativeSeparators(path).toStdString(); }

std::optional<DWORD> settingValue(const wchar_t* name) {
  DWORD value = 0, size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Quorlan\\Tallorin\\Settings", name, RRF_RT_REG_DWORD, nullptr, &value,
                   &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

}  // namespace

class WindowStartTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void rowsAreTheFolders_data();
  void rowsAreTheFolders();
  void totalsAreTheFolders();
  void aSaveStoresTheSettingsInTheRegistry();
  void pressesMadeDuringARefreshLandOnNoRow_data();
  void pressesMadeDuringARefreshLandOnNoRow();
  void deleteMovesAFileToTheRecycleBin();
  void theVersionAndIconAreTheProgramsResources();
  void aRequestToCloseDuringARefreshStopsIt();  // last: the window closes

 private:
  QString cell(const QString& name, int column) const;
  bool waitForRows() const;
  void file(const QString& name, qint64 bytes);

  QTemporaryDir m_dir;
  std::unique_ptr<TDiskUsageForm> m_form;
  std::vector<QString> m_messages;
};

void WindowStartTest::file(const QString& name, qint64 bytes) {
  QFile f(m_dir.filePath(name));
  QVERIFY(f.open(QIODevice::WriteOnly));
  QVERIFY(f.write(QByteArray(bytes, 'x')) == bytes);
}

void WindowStartTest::initTestCase() {
  QVERIFY(m_dir.isValid());
  QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("Alpha/y")));
  QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("beta")));
  file(QStringLiteral("Alpha/x.bin"), 5000);
  file(QStringLiteral("Alpha/y/z"), 10);
  file(QStringLiteral("a.txt"), 100);
  file(QStringLiteral("B.txt"), 5000);
  file(QStringLiteral("zero"), 0);
  // A name no ANSI code page holds: only the UTF-8 code page passes it whole.
  file(QString::fromUtf8("\xce\xa9mega \xe6\x97\xa5.txt"), 7);
  // Every question is answered yes, and recorded.
  platform::setMessageObserver([this](platform::MessageKind, const QString& caption, const QString& text) {
    m_messages.push_back(caption + QStringLiteral(": ") + text);
    return true;
  });
  QCoreApplication::setApplicationName(QStringLiteral("Tallorin"));  // as the main block does
  TDiskUsageForm::Options o;
  o.arguments = {native(m_dir.path())};
  m_form = std::make_unique<TDiskUsageForm>(o);
  QVERIFY(m_form->created());
  m_form->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
  QVERIFY(waitForRows());
}

void WindowStartTest::cleanupTestCase() {
  m_form.reset();
  platform::setMessageObserver(nullptr);
}

bool WindowStartTest::waitForRows() const {
  return QTest::qWaitFor([this] { return m_form->UsageModel->rowCount() > 0 && !m_form->FilesValLabel->text().isEmpty(); },
                         30000);
}

QString WindowStartTest::cell(const QString& name, int column) const {
  for (int i = 0; i < m_form->UsageModel->rowCount(); ++i)
    if (m_form->UsageModel->index(i, 0).data().toString() == name) return m_form->UsageModel->index(i, column).data().toString();
  return QStringLiteral("<no row>");
}

void WindowStartTest::rowsAreTheFolders_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("fileBytes");
  QTest::addColumn<QString>("folders");
  QTest::addColumn<QString>("files");
  QTest::newRow("a folder sums what is inside it") << "Alpha" << "5,010" << "1" << "2";
  QTest::newRow("a file") << "a.txt" << "100" << "0" << "1";
  QTest::newRow("a larger file") << "B.txt" << "5,000" << "0" << "1";
  QTest::newRow("an empty file") << "zero" << "0" << "0" << "1";
  QTest::newRow("a name outside every ANSI code page") << QString::fromUtf8("\xce\xa9mega \xe6\x97\xa5.txt") << "7" << "0"
                                                       << "1";
}

void WindowStartTest::rowsAreTheFolders() {
  QFETCH(QString, name);
  QFETCH(QString, fileBytes);
  QFETCH(QString, folders);
  QFETCH(QString, files);
  QCOMPARE(cell(name, 2), fileBytes);
  QCOMPARE(cell(name, 3), folders);
  QCOMPARE(cell(name, 4), files);
}

void WindowStartTest::totalsAreTheFolders() {
  QCOMPARE(m_form->currentFolderPath(), native(m_dir.path()) + "\\");
  QCOMPARE(m_form->windowTitle(), QString::fromStdString("Tallorin - " + native(m_dir.path())));
  QCOMPARE(m_form->FilesValLabel->text(), QStringLiteral("6"));
  QCOMPARE(m_form->DirectoriesValLabel->text(), QStringLiteral("1"));
  QCOMPARE(m_form->FileBytesValLabel->text(), QStringLiteral("10,117"));
  QCOMPARE(m_form->statusPanelText(0), QStringLiteral("5 items"));
  QVERIFY2(m_form->statusPanelText(1).contains(QStringLiteral(" bytes free (")), qPrintable(m_form->statusPanelText(1)));
  QVERIFY2(m_messages.empty(), m_messages.empty() ? "" : qPrintable(m_messages.front()));
}

void WindowStartTest::aSaveStoresTheSettingsInTheRegistry() {
  // The status bar off, then stored: the value says so, and the others are there.
  m_form->StatusBarCmd->trigger();
  QVERIFY(!m_form->StatusBarCmd->isChecked());
  m_form->SaveSettingsNowCmd->trigger();
  QCOMPARE(settingValue(L"StatusBar"), std::optional<DWORD>(0));
  QCOMPARE(settingValue(L"ToolBar"), std::optional<DWORD>(1));
  QVERIFY(settingValue(L"LVNameWidth").value_or(0) > 0);
  m_form->StatusBarCmd->trigger();
}

// Input the system holds for the window while a refresh holds its thread: a
// press made before the refresh ends is dropped with its release; one made
// after it acts. The messages are queued the way the system queues a user's
// input, stamped with the time they were made.
void WindowStartTest::pressesMadeDuringARefreshLandOnNoRow_data() {
  QTest::addColumn<QString>("press");
  QTest::addColumn<bool>("duringTheRefresh");
  for (const bool during : {true, false}) {
    const char* when = during ? "during the refresh" : "after it";
    QTest::addRow("Down, %s", when) << "Down" << during;
    QTest::addRow("a click on the last row, %s", when) << "click" << during;
  }
  // After the refresh these would open the row, or a menu.
  QTest::addRow("a double click on the last row, during the refresh") << "double click" << true;
  QTest::addRow("a click on the menu bar, during the refresh") << "menu" << true;
}

void WindowStartTest::pressesMadeDuringARefreshLandOnNoRow() {
  QFETCH(QString, press);
  QFETCH(bool, duringTheRefresh);
  m_form->NumbersCmd->trigger();
  SetForegroundWindow(reinterpret_cast<HWND>(m_form->winId()));  // keys go to the active window
  m_form->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
  m_form->UsageList->setFocus();
  const QModelIndex first = m_form->UsageModel->index(0, 0);
  m_form->UsageList->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  const int last = m_form->UsageModel->rowCount() - 1;
  const auto hwnd = reinterpret_cast<HWND>(m_form->winId());
  const auto post = [&] {
    if (press == QStringLiteral("Down")) {
      const LPARAM extended = 1 | (0x50 << 16) | (1 << 24);
      PostMessageW(hwnd, WM_KEYDOWN, VK_DOWN, extended);
      PostMessageW(hwnd, WM_KEYUP, VK_DOWN, extended | (1u << 30) | (1u << 31));
      return;
    }
    const QRect cell = m_form->UsageList->visualRect(m_form->UsageModel->index(last, 0));
    QMenuBar* bar = m_form->menuBar();
    const QPoint at = (press == QStringLiteral("menu")
                           ? bar->mapTo(m_form.get(), bar->actionGeometry(bar->actions().at(2)).center())
                           : m_form->UsageList->viewport()->mapTo(m_form.get(), cell.center())) *
                      m_form->devicePixelRatioF();
    const LPARAM where = MAKELPARAM(at.x(), at.y());
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, where);
    if (press == QStringLiteral("double click")) {
      PostMessageW(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, where);
      PostMessageW(hwnd, WM_LBUTTONUP, 0, where);
    }
  };
  if (duringTheRefresh) post();
  m_form->RefreshCmd->trigger();  // holds the thread until the rows are there
  QVERIFY(waitForRows());
  Sleep(20);  // a later tick than the refresh's end
  if (!duringTheRefresh) post();
  QTest::qWait(300);
  const int current = m_form->UsageList->currentIndex().row();
  if (duringTheRefresh) {
    QVERIFY(!QApplication::activePopupWidget());
    QCOMPARE(current, 0);
    QCOMPARE(m_form->UsageList->selectionModel()->selectedRows().size(), 1);
    QVERIFY2(m_messages.empty(), m_messages.empty() ? "" : qPrintable(m_messages.front()));
  } else {
    QCOMPARE(current, press == QStringLiteral("Down") ? 1 : last);
  }
  m_messages.clear();  // a double click that acts opens the file, which may say why it cannot
}

void WindowStartTest::deleteMovesAFileToTheRecycleBin() {
  const QString path = m_dir.filePath(QStringLiteral("a.txt"));
  SHQUERYRBINFO before{sizeof(SHQUERYRBINFO), 0, 0};
  QCOMPARE(SHQueryRecycleBinW(nullptr, &before), S_OK);
  int row = -1;
  for (int i = 0; i < m_form->UsageModel->rowCount(); ++i)
    if (m_form->UsageModel->index(i, 0).data().toString() == QStringLiteral("a.txt")) row = i;
  QVERIFY(row >= 0);
  m_form->NumbersCmd->trigger();  // Delete is a command of the numbers view
  QVERIFY(m_form->DeleteCmd->isEnabled());
  m_form->UsageList->selectionModel()->select(m_form->UsageModel->index(row, 0),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  m_messages.clear();
  m_form->DeleteCmd->trigger();
  QVERIFY(!QFile::exists(path));
  // One question, the first; no second (the drive has a Recycle Bin).
  QCOMPARE(m_messages.size(), size_t(1));
  QVERIFY2(m_messages.front().contains(QStringLiteral("'a.txt'")), qPrintable(m_messages.front()));
  SHQUERYRBINFO after{sizeof(SHQUERYRBINFO), 0, 0};
  QCOMPARE(SHQueryRecycleBinW(nullptr, &after), S_OK);
  QCOMPARE(after.i64NumItems, before.i64NumItems + 1);
  // The folder is computed again without it.
  QVERIFY(QTest::qWaitFor([this] { return cell(QStringLiteral("a.txt"), 0) == QStringLiteral("<no row>"); }, 30000));
  QVERIFY(QTest::qWaitFor([this] { return m_form->FilesValLabel->text() == QStringLiteral("5"); }, 30000));
}

void WindowStartTest::theVersionAndIconAreTheProgramsResources() {
  // Tallorin.exe lies beside the test, as in the zip; its version resource is
  // read from the file.
  const TAppInformation info(native(QCoreApplication::applicationDirPath() + QStringLiteral("/Tallorin.exe")));
  QCOMPARE(info.GetProductName(), QStringLiteral("Tallorin"));
  QCOMPARE(info.GetShortVersion(), QStringLiteral(TALLORIN_VERSION));
  QVERIFY2(info.GetLegalNotice().startsWith(QStringLiteral("Copyright (C) ")), qPrintable(info.GetLegalNotice()));
  // The icon the shell shows for the file, in its small and large sizes.
  HICON large = nullptr, small = nullptr;
  const std::wstring exe = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/Tallorin.exe")).toStdWString();
  QCOMPARE(ExtractIconExW(exe.c_str(), -1, nullptr, nullptr, 0), 1u);
  QCOMPARE(ExtractIconExW(exe.c_str(), 0, &large, &small, 1), 2u);
  ICONINFO icon{};
  QVERIFY(large && GetIconInfo(large, &icon));
  BITMAP bitmap{};
  QVERIFY(GetObjectW(icon.hbmColor, sizeof bitmap, &bitmap) > 0);
  QCOMPARE(bitmap.bmWidth, LONG(GetSystemMetrics(SM_CXICON)));
  DeleteObject(icon.hbmColor);
  DeleteObject(icon.hbmMask);
  DestroyIcon(large);
  DestroyIcon(small);
  // A file without one reads as blanks, never as another file's.
  QCOMPARE(TAppInformation(native(QCoreApplication::applicationFilePath())).GetProductName(), QStringLiteral(" "));
}

// A request to close the window made while a refresh holds it (the title
// bar's button, the window manager's close, another program's WM_CLOSE) stops
// the refresh, which says so, and the window then closes.
void WindowStartTest::aRequestToCloseDuringARefreshStopsIt() {
  const auto hwnd = reinterpret_cast<HWND>(m_form->winId());
  Sleep(60);  // the refresh's first look at the queue is due at once
  PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  m_form->RefreshCmd->trigger();
  QCOMPARE(m_form->statusPanelText(0), QStringLiteral("Stopped: the window is closing"));
  QVERIFY(m_form->UsageModel->rowCount() < 4);  // the folder has 4 rows
  QVERIFY(QTest::qWaitFor([this] { return !m_form->isVisible(); }, 10000));
}

QTEST_MAIN(WindowStartTest)
#include "window_start_test.moc"
