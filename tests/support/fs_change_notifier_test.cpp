// The folder change notifier with real files and other processes: what it
// reports, what it leaves alone, bursts, a folder that goes away, and an owner
// that destroys it from inside its own report.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "support/fs_change_notifier.h"
#include "temp_tree.h"

using testsupport::TempTree;

namespace {

// Runs a shell command as another process would, and waits for it.
void other(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

// Waits until reports reached `want` or the time is up; true when reached.
bool waitFor(const int& reports, int want, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (reports < want && t.elapsed() < ms) QTest::qWait(10);
  return reports >= want;
}

}  // namespace

TEST(FSChangeNotifier, ReportsWhatChangesDirectlyInTheFolder) {
  TempTree t;
  t.dir("sub");
  t.file("old", 1);
  t.file("sub/deep", 1);
  struct Case {
    const char* what;
    std::string command;
    int32_t code;
  } cases[] = {
      {"created", "touch '" + t.path("new") + "'", TFSChangeNotifier::kCreate},
      {"written and closed", "echo more >> '" + t.path("old") + "'", TFSChangeNotifier::kUpdateItem},
      {"renamed", "mv '" + t.path("new") + "' '" + t.path("newer") + "'", TFSChangeNotifier::kRenameItem},
      {"deleted", "rm '" + t.path("newer") + "'", TFSChangeNotifier::kDelete},
      {"a folder made", "mkdir '" + t.path("made") + "'", TFSChangeNotifier::kMkDir},
      {"attributes", "chmod 600 '" + t.path("old") + "'", TFSChangeNotifier::kUpdateItem},
  };
  TFSChangeNotifier n(t.root());
  ASSERT_TRUE(n.watching());
  int reports = 0;
  int32_t last = 0;
  n.OnChange = [&](int32_t code) {
    ++reports;
    last = code;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int before = reports;
    other(c.command);
    ASSERT_TRUE(waitFor(reports, before + 1));
    EXPECT_EQ(last, c.code);
  }
  // A change one level down is not the folder's own.
  const int before = reports;
  other("touch '" + t.path("sub/deep") + "'");
  QTest::qWait(TFSChangeNotifier::kQuietMs * 3);
  EXPECT_EQ(reports, before);
}

TEST(FSChangeNotifier, WritingWithoutClosingIsNotAChange) {
  TempTree t;
  TFSChangeNotifier n(t.root());
  int fd = ::open(t.path("growing").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  int reports = 0;
  n.OnChange = [&](int32_t) { ++reports; };
  ASSERT_TRUE(waitFor(reports, 1)) << "the creation itself";
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(::write(fd, "0123456789", 10), 10);
    QTest::qWait(20);
  }
  QTest::qWait(TFSChangeNotifier::kQuietMs * 2);
  EXPECT_EQ(reports, 1) << "a download growing in the folder reports nothing until it is closed";
  ::close(fd);
  EXPECT_TRUE(waitFor(reports, 2));
}

TEST(FSChangeNotifier, ABurstGivesAFewReports) {
  TempTree t;
  TFSChangeNotifier n(t.root());
  int reports = 0;
  n.OnChange = [&](int32_t) { ++reports; };
  other("cd '" + t.root() + "' && for i in $(seq 1 3000); do : > f$i; done");
  ASSERT_TRUE(waitFor(reports, 1));
  QTest::qWait(TFSChangeNotifier::kLongestDelayMs + TFSChangeNotifier::kQuietMs);
  EXPECT_LE(reports, 4) << "3,000 files created, " << reports << " reports";
}

TEST(FSChangeNotifier, AFolderThatGoesAwayIsReportedOnceAsGone) {
  TempTree t;
  struct Case {
    const char* what;
    std::string folder;
    std::string command;
  } cases[] = {
      {"removed with its contents", t.path("w0"), "rm -rf '" + t.path("w0") + "'"},
      {"moved away", t.path("w1"), "mv '" + t.path("w1") + "' '" + t.path("elsewhere") + "'"},
      {"removed empty", t.path("w2"), "rmdir '" + t.path("w2") + "'"},
  };
  t.dir("w0");
  t.file("w0/a", 1);
  t.dir("w0/sub");
  t.dir("w1");
  t.dir("w2");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto n = std::make_unique<TFSChangeNotifier>(c.folder);
    ASSERT_TRUE(n->watching());
    int gone = 0, reports = 0;
    n->OnChange = [&](int32_t) { ++reports; };
    n->OnGone = [&] {
      ++gone;
      n.reset();  // the owner may let it go from inside
    };
    other(c.command);
    EXPECT_TRUE(waitFor(gone, 1));
    QTest::qWait(TFSChangeNotifier::kLongestDelayMs);
    EXPECT_EQ(gone, 1);
    EXPECT_EQ(reports, 0) << "the changes inside a folder that went away are not reported";
  }
  TFSChangeNotifier missing(t.path("never-there"));
  EXPECT_FALSE(missing.watching());
}

TEST(FSChangeNotifier, TheOwnerMayDestroyItFromInsideItsReport) {
  TempTree t;
  auto n = std::make_unique<TFSChangeNotifier>(t.root());
  int reports = 0;
  n->OnChange = [&](int32_t) {
    ++reports;
    n.reset();  // as a refresh replaces the notifier
  };
  other("touch '" + t.path("a") + "' '" + t.path("b") + "'");
  ASSERT_TRUE(waitFor(reports, 1));
  EXPECT_EQ(n, nullptr);
  other("touch '" + t.path("c") + "'");
  QTest::qWait(TFSChangeNotifier::kQuietMs * 2);  // nothing left to report, nothing to crash
  EXPECT_EQ(reports, 1);
}
