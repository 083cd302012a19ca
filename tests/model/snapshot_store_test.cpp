// The store of earlier looks: days, bounds, damaged and foreign files, and
// the match of today's rows with a baseline.
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "model/snapshot_store.h"
#include "scan/change.h"
#include "temp_tree.h"

using testsupport::TempTree;

namespace {

scan::Baseline rowsOf(std::initializer_list<std::pair<std::string, uint64_t>> rows) {
  scan::Baseline b;
  for (const auto& [name, disk] : rows) b.rows.push_back({name, disk, disk / 2, 1, 2, 1700000000, false});
  return b;
}

QDateTime at(const char* when) { return QDateTime::fromString(QString::fromLatin1(when), Qt::ISODate); }

const std::string kFolder = "/srv/data/";

}  // namespace

TEST(SnapshotStore, KeepsOneLookADayAndFindsTheNewestBeforeToday) {
  TempTree t;
  const TSnapshotStore store(QString::fromStdString(t.path("s")));
  struct Look {
    const char* taken;
    uint64_t bytes;
  };
  // Two looks on the 5th (the later one stays), one just before midnight of
  // the 6th, one just after it.
  for (const Look& l : {Look{"2026-12-05T09:00:00", 1}, Look{"2026-12-05T18:00:00", 2}, Look{"2026-12-06T23:59:59", 3},
                        Look{"2026-12-07T00:00:00", 4}})
    ASSERT_TRUE(store.save(kFolder, at(l.taken), rowsOf({{"a", l.bytes}})));
  struct Case {
    const char* today;
    std::optional<uint64_t> found;
  } cases[] = {{"2026-12-05", std::nullopt}, {"2026-12-06", 2}, {"2026-12-07", 3}, {"2026-12-08", 4}, {"2027-01-01", 4}};
  for (const Case& c : cases) {
    const std::optional<TSnapshot> s = store.newestBefore(kFolder, QDate::fromString(QString::fromLatin1(c.today), Qt::ISODate));
    ASSERT_EQ(s.has_value(), c.found.has_value()) << c.today;
    if (s) EXPECT_EQ(s->rows.rows.at(0).diskBytes, *c.found) << c.today;
  }
  std::vector<TSnapshotDay> days = store.days(kFolder);
  ASSERT_EQ(days.size(), 3u);
  EXPECT_EQ(days[0].day, QDate(2026, 12, 7));
  EXPECT_EQ(days[2].taken, at("2026-12-05T18:00:00"));
  EXPECT_TRUE(store.days("/srv/other/").empty()) << "another folder's looks are its own";
}

TEST(SnapshotStore, DropsDaysPastTheKeptOnesAndTheOldestAboveItsBound) {
  TempTree t;
  const QString dir = QString::fromStdString(t.path("s"));
  scan::Baseline big;
  for (int i = 0; i < 1000; ++i) big.rows.push_back({"entry-" + std::to_string(i), 1, 1, 0, 1, 0, false});
  const qint64 one = TSnapshotStore::encode(kFolder, at("2026-12-01T12:00:00"), big).size();
  const TSnapshotStore store(dir, one * 3 + one / 2);  // three and a half days
  const QDate first(2026, 11, 1);
  for (int d = 0; d < 40; d += 3) ASSERT_TRUE(store.save(kFolder, QDateTime(first.addDays(d), QTime(12, 0)), big));
  // Saved: Nov 1, 4, ... Dec 10. Kept: at most three files, the newest.
  const std::vector<TSnapshotDay> days = store.days(kFolder);
  ASSERT_EQ(days.size(), 3u);
  EXPECT_EQ(days[0].day, first.addDays(39));
  EXPECT_EQ(days[2].day, first.addDays(33));
  // Past the kept days, whatever the room.
  const TSnapshotStore roomy(dir);
  ASSERT_TRUE(roomy.save("/other/", QDateTime(first.addDays(39 + TSnapshotStore::kKeptDays), QTime(1, 0)), big));
  EXPECT_TRUE(roomy.days(kFolder).empty());
  // A file that is not the store's is left alone.
  QFile foreign(dir + "/notes.txt");
  ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
  foreign.close();
  roomy.prune(first.addDays(400));
  EXPECT_TRUE(QFile::exists(dir + "/notes.txt"));
}

TEST(SnapshotStore, ReadsOnlyWholeSnapshotsOfTheFolderAsked) {
  const QByteArray good = TSnapshotStore::encode(kFolder, at("2026-12-01T12:00:00"), rowsOf({{"a", 10}, {"b\n\xfe", 20}}));
  ASSERT_TRUE(TSnapshotStore::decode(good, kFolder).has_value());
  // Figures no folder has, whole and summed right: not a look.
  for (uint64_t figure : {uint64_t(1) << 62, (uint64_t(1) << 62) + 1, uint64_t(-5000000), UINT64_MAX}) {
    scan::Baseline rows = rowsOf({{"a", 10}});
    rows.rows[0].fileBytes = figure;
    EXPECT_EQ(TSnapshotStore::decode(TSnapshotStore::encode(kFolder, at("2026-12-01T12:00:00"), rows), kFolder).has_value(),
              figure <= uint64_t(1) << 62) << figure;
  }
  EXPECT_EQ(TSnapshotStore::decode(good, kFolder)->rows.rows.at(1).name, "b\n\xfe") << "the name's bytes kept";
  EXPECT_FALSE(TSnapshotStore::decode(good, "/srv/data").has_value()) << "another folder's";
  // Every byte changed, every length cut: never read as a snapshot.
  for (qsizetype i = 0; i < good.size(); ++i) {
    QByteArray bad = good;
    bad[i] = static_cast<char>(bad[i] ^ 0x41);
    EXPECT_FALSE(TSnapshotStore::decode(bad, kFolder).has_value()) << "byte " << i;
    EXPECT_FALSE(TSnapshotStore::decode(good.left(i), kFolder).has_value()) << "cut at " << i;
  }
  // Counts and lengths that the bytes cannot hold, with a right checksum.
  auto withSum = [](QByteArray body) {
    uint64_t h = 1469598103934665603ULL;
    for (char c : body) {
      h ^= static_cast<unsigned char>(c);
      h *= 1099511628211ULL;
    }
    body.append(reinterpret_cast<const char*>(&h), 8);
    return body;
  };
  QByteArray header("TLRSNAP1", 8);
  header.append("\x01\0\0\0", 4).append(8, '\0');
  const uint32_t pathSize = static_cast<uint32_t>(kFolder.size());
  header.append(reinterpret_cast<const char*>(&pathSize), 4).append(kFolder.data(), static_cast<qsizetype>(kFolder.size()));
  for (uint32_t count : {0xFFFFFFFFu, 2u, 1u}) {
    QByteArray body = header;
    body.append(reinterpret_cast<const char*>(&count), 4);
    body.append("\xff\xff", 2);  // a name of 65535 bytes that is not there
    EXPECT_FALSE(TSnapshotStore::decode(withSum(body), kFolder).has_value()) << count;
  }
}

TEST(SnapshotStore, AFileInTheWayIsReplacedAndTwoProgramsSavingLeaveOneWholeLook) {
  TempTree t;
  const TSnapshotStore store(QString::fromStdString(t.path("s")));
  const QDate day(2026, 12, 1);
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(t.path("s"))));
  for (const QByteArray& junk : {QByteArray("{\"not\": \"ours\"}"), QByteArray(), QByteArray(100000, '\xff')}) {
    QFile f(store.fileName(kFolder, day));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(junk);
    f.close();
    EXPECT_FALSE(store.load(kFolder, day).has_value());
    EXPECT_TRUE(store.days(kFolder).empty());
    ASSERT_TRUE(store.save(kFolder, QDateTime(day, QTime(9, 0)), rowsOf({{"a", 1}})));
    EXPECT_TRUE(store.load(kFolder, day).has_value());
  }
  // A link planted under the name is neither read nor written through: the
  // save replaces the link, and the file it pointed to stays as it was.
  QFile::remove(store.fileName(kFolder, day));
  t.file("victim", 0);
  {
    QFile victim(QString::fromStdString(t.path("victim")));
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("keep me");
  }
  ASSERT_EQ(::symlink(t.path("victim").c_str(), store.fileName(kFolder, day).toLocal8Bit().constData()), 0);
  EXPECT_FALSE(store.load(kFolder, day).has_value());
  ASSERT_TRUE(store.save(kFolder, QDateTime(day, QTime(9, 0)), rowsOf({{"a", 1}})));
  QFile victim(QString::fromStdString(t.path("victim")));
  ASSERT_TRUE(victim.open(QIODevice::ReadOnly));
  EXPECT_EQ(victim.readAll(), "keep me");
  EXPECT_TRUE(store.load(kFolder, day).has_value());
  QFile::remove(store.fileName(kFolder, day));

  scan::Baseline many;
  for (int i = 0; i < 20000; ++i) many.rows.push_back({"n" + std::to_string(i), uint64_t(i), 0, 0, 1, 0, false});
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    const pid_t pid = fork();
    if (pid == 0) {
      bool ok = true;
      for (int i = 0; i < 20; ++i) ok = store.save(kFolder, QDateTime(day, QTime(10, p)), many) && ok;
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (int i = 0; i < 20; ++i) {
    // A reader meanwhile sees the old whole file or a new whole one.
    if (std::optional<TSnapshot> s = store.load(kFolder, day)) EXPECT_TRUE(s->rows.rows.size() == 20000u || s->rows.rows.size() == 1u);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ASSERT_TRUE(store.load(kFolder, day).has_value());
  EXPECT_EQ(store.load(kFolder, day)->rows.rows.size(), 20000u);
  EXPECT_EQ(QDir(QString::fromStdString(t.path("s"))).entryList(QDir::Files).size(), 1) << "no temporary file left";
}

TEST(ChangeMatch, MatchesNamesExactlyAndSaturates) {
  struct Case {
    uint64_t now, before;
    int64_t change;
  } changes[] = {{10, 4, 6},
                 {4, 10, -6},
                 {0, 0, 0},
                 {UINT64_MAX, 0, INT64_MAX},
                 {0, UINT64_MAX, INT64_MIN},
                 {uint64_t(INT64_MAX) + 1, 0, INT64_MAX},
                 {0, uint64_t(INT64_MAX) + 1, INT64_MIN},
                 {0, uint64_t(INT64_MAX), -INT64_MAX}};
  for (const Case& c : changes) EXPECT_EQ(scan::byteChange(c.now, c.before), c.change) << c.now << " " << c.before;

  const scan::Baseline before = rowsOf({{"Ax", 100}, {"ax", 7}, {"same", 5}, {"gone", 9}, {"twice", 1}, {"twice", 50}, {"caf\xc3\xa9", 3}});
  scan::ChangeMatch match(before);
  struct Row {
    const char* name;
    uint64_t disk;
    scan::RowChange::Kind kind;
    int64_t change;
  } rows[] = {{"ax", 17, scan::RowChange::Kind::Changed, 10},
              {"AX", 1, scan::RowChange::Kind::New, 1},
              {"same", 5, scan::RowChange::Kind::Same, 0},
              {"twice", 1, scan::RowChange::Kind::Same, 0},
              {"cafe\xcc\x81", 3, scan::RowChange::Kind::New, 3}};  // another spelling is another name
  for (const Row& r : rows) {
    const scan::RowChange c = match.match(r.name, r.disk);
    EXPECT_EQ(c.kind, r.kind) << r.name;
    EXPECT_EQ(c.diskChange, r.change) << r.name;
  }
  std::vector<std::string> gone;
  for (const scan::BaselineRow& g : match.gone()) gone.push_back(g.name);
  EXPECT_EQ(gone, (std::vector<std::string>{"Ax", "gone", "caf\xc3\xa9"}));
}
