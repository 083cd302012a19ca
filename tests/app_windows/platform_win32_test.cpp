// The Win32 platform layers on their own, under wine: path rules with drive
// roots, the registry store, file facts of links, the Recycle Bin and
// deleting for good, and the shell menu. Table-driven where the cases are values.
#include <windows.h>

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "model/folder_path.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/registry_store.h"
#include "platform/shell_menu.h"
#include "platform/trash.h"

namespace {

// A symbolic link made by the W call, when the system makes one (wine takes
// the call and makes none).
bool makeLink(const QString& link, const QString& target) {
  const std::wstring l = QDir::toNativeSeparators(link).toStdWString();
  CreateSymbolicLinkW(l.c_str(), QDir::toNativeSeparators(target).toStdWString().c_str(),
                      SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  const DWORD attrs = GetFileAttributesW(l.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string native(const QString& path) { return QDir::toNativeSeparators(path).toStdString(); }

void writeFile(const QString& path, qint64 bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  QCOMPARE(f.write(QByteArray(bytes, 'x')), bytes);
}

}  // namespace

class PlatformWin32Test : public QObject {
  Q_OBJECT

 private slots:
  void pathRules_data();
  void pathRules();
  void normalPaths_data();
  void normalPaths();
  void registryValuesKeepTheirTypes();
  void aSaveChangesOnlyWhatItWrote();
  void linksAreLookedAtNotFollowed();
  void recycleBinOutcomes();
  void deletingForGoodTakesLinksAsLinks();
  void theShellMenuShowsAndLeavesTheWindowAsItWas();
  void aLinkWineShowsAsItsFileIsLeftAlone();
};

void PlatformWin32Test::pathRules_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<int>("root");
  QTest::addColumn<bool>("isRoot");
  QTest::addColumn<QString>("stripped");
  QTest::newRow("a drive's root") << "C:\\" << 3 << true << "C:\\";
  QTest::newRow("a folder on a drive") << "C:\\a\\b\\" << 3 << false << "C:\\a\\b";
  QTest::newRow("a share") << "\\\\server\\share" << 14 << true << "\\\\server\\share";
  QTest::newRow("a folder on a share") << "\\\\server\\share\\a" << 15 << false << "\\\\server\\share\\a";
  QTest::newRow("a drive without its separator") << "C:" << 0 << false << "C:";
  QTest::newRow("relative") << "a\\b" << 0 << false << "a\\b";
  QTest::newRow("from the drive's root") << "\\a" << 0 << false << "\\a";
}

void PlatformWin32Test::pathRules() {
  QFETCH(QString, path);
  QFETCH(int, root);
  QFETCH(bool, isRoot);
  QFETCH(QString, stripped);
  const std::string p = path.toStdString();
  QCOMPARE(int(platform::rootLength(p)), root);
  QCOMPARE(platform::isAbsolutePath(p), root > 0);
  QCOMPARE(platform::isRootFolder(p), isRoot);
  QCOMPARE(QString::fromStdString(platform::withoutTrailingDelim(p)), stripped);
}

void PlatformWin32Test::normalPaths_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("normal");
  QTest::newRow("absolute stays") << "D:\\x\\y" << "D:\\x\\y";
  QTest::newRow("slashes separate too") << "D:/x/y/" << "D:\\x\\y";
  QTest::newRow("relative to the current folder") << "y\\..\\z" << "C:\\cwd\\z";
  QTest::newRow("from the current drive's root") << "\\top" << "C:\\top";
  QTest::newRow("no higher than the root") << "D:\\..\\..\\x" << "D:\\x";
  QTest::newRow("the root itself") << "D:\\" << "D:\\";
}

void PlatformWin32Test::normalPaths() {
  QFETCH(QString, path);
  QFETCH(QString, normal);
  QCOMPARE(QString::fromStdString(AbsoluteNormalPath(path.toStdString(), "C:\\cwd")), normal);
}

void PlatformWin32Test::registryValuesKeepTheirTypes() {
  const std::string key = "\\SOFTWARE\\Quorlan\\TallorinTest\\Types";
  RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Quorlan\\TallorinTest");  // from an earlier run
  {
    platform::RegistryKey k(key);
    QVERIFY(!k.exists());
    QCOMPARE(k.fileState(), platform::RegistryKey::FileState::Missing);
    k.writeInteger("Number", -5);
    k.writeString("Text", "\xce\xa9 and \xe6\x97\xa5");
    k.writeInteger("Gone", 1);
    k.remove("gone");  // names fold as the registry folds them
    QVERIFY(k.save());
  }
  platform::RegistryKey k(key);
  QVERIFY(k.exists());
  QCOMPARE(k.fileState(), platform::RegistryKey::FileState::Sound);
  QCOMPARE(k.readInteger("number"), std::optional<int32_t>(-5));
  QCOMPARE(k.readString("Text"), std::optional<std::string>("\xce\xa9 and \xe6\x97\xa5"));
  // A number never passes for a string, nor a string for a number.
  QVERIFY(!k.readString("Number"));
  QVERIFY(!k.readInteger("Text"));
  QCOMPARE(k.readInteger("Gone"), std::optional<int32_t>());
  DWORD type = 0;
  QCOMPARE(RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Quorlan\\TallorinTest\\Types", L"Number", RRF_RT_ANY, &type, nullptr,
                        nullptr),
           LONG(ERROR_SUCCESS));
  QCOMPARE(type, DWORD(REG_DWORD));
}

void PlatformWin32Test::aSaveChangesOnlyWhatItWrote() {
  const std::string key = "\\SOFTWARE\\Quorlan\\TallorinTest\\Merge";
  platform::RegistryKey first(key), second(key);
  first.writeInteger("A", 1);
  QVERIFY(first.save());
  // Another writer's value and a value of a type the store does not read stay.
  HKEY h;
  QCOMPARE(RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Quorlan\\TallorinTest\\Merge", 0, KEY_SET_VALUE, &h),
           LONG(ERROR_SUCCESS));
  const BYTE raw[3] = {1, 2, 3};
  QCOMPARE(RegSetValueExW(h, L"Binary", 0, REG_BINARY, raw, sizeof raw), LONG(ERROR_SUCCESS));
  RegCloseKey(h);
  second.writeInteger("B", 2);
  QVERIFY(second.save());
  platform::RegistryKey after(key);
  QCOMPARE(after.readInteger("A"), std::optional<int32_t>(1));
  QCOMPARE(after.readInteger("B"), std::optional<int32_t>(2));
  DWORD size = 0;
  QCOMPARE(RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Quorlan\\TallorinTest\\Merge", L"Binary", RRF_RT_REG_BINARY, nullptr,
                        nullptr, &size),
           LONG(ERROR_SUCCESS));
  QCOMPARE(size, DWORD(3));
}

void PlatformWin32Test::linksAreLookedAtNotFollowed() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("target")));
  writeFile(dir.filePath(QStringLiteral("target/f")), 10);
  const std::string link = native(dir.filePath(QStringLiteral("link")));
  if (!makeLink(dir.filePath(QStringLiteral("link")), dir.filePath(QStringLiteral("target"))))
    QSKIP("no symbolic links here");
  struct stat st;
  QVERIFY(platform::statPath(link, st, false));
  QVERIFY(S_ISLNK(st.st_mode));
  QVERIFY(platform::statPath(link, st, true));
  QVERIFY(S_ISDIR(st.st_mode));
  QVERIFY(!platform::statPath(native(dir.filePath(QStringLiteral("none"))), st, false));
  QCOMPARE(errno, ENOENT);
  const auto names = platform::folderCandidates(native(dir.path()));
  QCOMPARE(names.size(), size_t(2));
}

void PlatformWin32Test::recycleBinOutcomes() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  writeFile(dir.filePath(QStringLiteral("doomed.txt")), 5);
  struct Case {
    const char* what;
    std::string path;
    platform::TrashOutcome::Kind kind;
  } cases[] = {
      {"a file goes to the bin", native(dir.filePath(QStringLiteral("doomed.txt"))), platform::TrashOutcome::Trashed},
      {"then it is gone", native(dir.filePath(QStringLiteral("doomed.txt"))), platform::TrashOutcome::Gone},
      {"a drive's root stays", "C:\\", platform::TrashOutcome::Failed},
  };
  for (const Case& c : cases) {
    const platform::TrashOutcome o = platform::moveToTrash(c.path);
    QVERIFY2(o.kind == c.kind, (std::string(c.what) + ": " + o.error).c_str());
  }
}

void PlatformWin32Test::deletingForGoodTakesLinksAsLinks() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("keep")));
  writeFile(dir.filePath(QStringLiteral("keep/precious")), 7);
  QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("tree/a/b")));
  writeFile(dir.filePath(QStringLiteral("tree/a/b/f")), 100);
  writeFile(dir.filePath(QStringLiteral("tree/g")), 20);
  const bool linked = makeLink(dir.filePath(QStringLiteral("tree/link")), dir.filePath(QStringLiteral("keep")));
  const std::string tree = native(dir.filePath(QStringLiteral("tree")));
  const platform::TreeSize size = platform::measureTree(tree);
  QCOMPARE(size.bytes, uint64_t(120));
  QCOMPARE(size.items, uint64_t(linked ? 6 : 5));  // tree, a, b, f, g (and the link)
  std::string error;
  platform::TreeSize removed;
  QCOMPARE(platform::deleteForGood(tree, error, removed), platform::DeleteResult::Done);
  QVERIFY2(error.empty(), error.c_str());
  QCOMPARE(removed.items, size.items);
  QCOMPARE(removed.bytes, size.bytes);
  QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("tree"))));
  QVERIFY(QFile::exists(dir.filePath(QStringLiteral("keep/precious"))));
}


namespace {
// What the window looked like while the shell's menu showed, seen from a
// timer the menu's own loop runs, which then closes the menu.
struct WhileTheMenuShows {
  static inline HWND window = nullptr;
  static inline bool inMenu = false;
  static inline LONG_PTR procedure = 0;
  static void CALLBACK look(HWND, UINT, UINT_PTR timer, DWORD) {
    GUITHREADINFO info{sizeof info};
    inMenu = GetGUIThreadInfo(GetCurrentThreadId(), &info) && (info.flags & GUI_INMENUMODE);
    procedure = GetWindowLongPtrW(window, GWLP_WNDPROC);
    KillTimer(nullptr, timer);
    EndMenu();
  }
};
}  // namespace

void PlatformWin32Test::theShellMenuShowsAndLeavesTheWindowAsItWas() {
  QTemporaryDir dir;
  writeFile(dir.filePath(QStringLiteral("item.txt")), 10);
  QWidget owner;
  owner.resize(200, 100);
  owner.show();
  QVERIFY(QTest::qWaitForWindowExposed(&owner));
  const auto hwnd = reinterpret_cast<HWND>(owner.winId());
  const LONG_PTR before = GetWindowLongPtrW(hwnd, GWLP_WNDPROC);
  WhileTheMenuShows::window = hwnd;
  QVERIFY(SetTimer(nullptr, 0, 300, &WhileTheMenuShows::look) != 0);
  const auto failure = platform::showShellMenu(&owner, native(dir.filePath(QStringLiteral("item.txt"))), owner.mapToGlobal(QPoint(20, 20)));
  QVERIFY2(!failure, failure ? qPrintable(QStringLiteral("step %1, 0x%2").arg(failure->step).arg(failure->hresult, 0, 16)) : "");
  QVERIFY(WhileTheMenuShows::inMenu);
  // The submenus' messages went to the menu while it showed (the shell's
  // menus, and wine's, take them)...
  QVERIFY(WhileTheMenuShows::procedure != 0 && WhileTheMenuShows::procedure != before);
  // ...and the window has its own procedure again once the menu has gone.
  QCOMPARE(GetWindowLongPtrW(hwnd, GWLP_WNDPROC), before);
  QVERIFY(QFile::exists(dir.filePath(QStringLiteral("item.txt"))));  // nothing chosen, nothing done
}

// A Linux link to a file, which wine shows as that file: the Recycle Bin,
// deleting for good and the shell's menu would all act on the file it leads
// to, so none of them is given it.
void PlatformWin32Test::aLinkWineShowsAsItsFileIsLeftAlone() {
  const QString links = qEnvironmentVariable("TALLORIN_LINKS");
  QVERIFY2(!links.isEmpty(), "run by run_under_wine.sh, which makes them");
  const std::string link = native(links + QStringLiteral("\\b\\to target"));
  const QString target = links + QStringLiteral("\\a\\target");
  // The link, and a folder that holds it (should the bin not take the
  // folder, the shell would offer to delete it, following the link).
  for (const std::string& item : {link, native(links + QStringLiteral("\\b"))}) {
    const platform::TrashOutcome trashed = platform::moveToTrash(item);
    QCOMPARE(int(trashed.kind), int(platform::TrashOutcome::Failed));
    QVERIFY2(trashed.error.find("symbolic link") != std::string::npos, trashed.error.c_str());
  }
  std::string error;
  platform::TreeSize removed;
  QCOMPARE(int(platform::deleteForGood(native(links + QStringLiteral("\\b")), error, removed, {}, nullptr)),
           int(platform::DeleteResult::Failed));
  QVERIFY2(error.find("symbolic link") != std::string::npos, error.c_str());
  QWidget owner;
  owner.show();
  QVERIFY(QTest::qWaitForWindowExposed(&owner));
  const auto failure = platform::showShellMenu(&owner, link, owner.mapToGlobal(QPoint(10, 10)));
  QVERIFY(failure && !failure->reason.empty());
  // The file and the link as they were.
  QCOMPARE(QFileInfo(target).size(), 1000);
  QVERIFY(QFileInfo::exists(QString::fromStdString(link)));
}

// A window of its own for the shell menu.
QTEST_MAIN(PlatformWin32Test)
#include "platform_win32_test.moc"
