// Reports written on the worker pool: the same text whatever the number of
// threads, files with several names counted where the report says, and the
// text helpers the readable formats rest on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "temp_tree.h"
#include "tlr32/report.h"
#include "tlr32/report_file.h"
#include "tlr32/report_formats.h"
#include "tlr32/report_text.h"

using testsupport::TempTree;

namespace {

// A tree with enough folders for the workers to race, one folder that takes
// several reads of its listing (its files are shared out between workers),
// and files with several names in different folders.
void buildTree(TempTree& t) {
  t.dir("tree");
  for (int d = 0; d < 40; ++d) {
    const std::string dir = "tree/d" + std::to_string(d);
    t.dir(dir);
    t.dir(dir + "/inner");
    for (int f = 0; f < 25; ++f) t.file(dir + "/f" + std::to_string(f), static_cast<uint64_t>((d * 7 + f * 13) % 50) * 997);
    t.file(dir + "/inner/x", static_cast<uint64_t>(d) * 4096);
  }
  t.dir("tree/big");
  for (int f = 0; f < 2000; ++f)
    t.file("tree/big/a-rather-long-file-name-to-fill-the-listing-" + std::to_string(f), static_cast<uint64_t>(f % 9) * 100);
  t.file("tree/d3/shared", 40000);
  t.hardlink("tree/d3/shared", "tree/d1/also-shared");
  t.hardlink("tree/d3/shared", "tree/d30/inner/shared-too");
}

std::string stripTimes(std::string text) {
  static const std::regex volatileParts(
      R"("timestamp":[0-9]+|\r\nWritten,[^\r]*|\nWritten: [^\n]*|<th>Written</th><td>.*?</td>)");
  return std::regex_replace(text, volatileParts, "");
}

// walkers: how many walk at once; io: how many while the walk waits on the
// device, which every read then counts as.
std::string report(unsigned walkers, const std::string& folder, const std::string& file, int depth,
                   tlr::Figures* total = nullptr, unsigned io = 0) {
  tlr::WorkerPool pool(walkers, std::max(walkers, io));
  if (io) pool.setDeviceWaitNs(0);
  tlr::WalkSettings settings;
  settings.clusterSize = 4096;
  tlr::ReportOptions options;
  options.depth = depth;
  options.clusterSize = 4096;
  options.targetDrive = "none";
  options.fileSpec = "off";
  tlr::Figures figures;
  std::string error;
  EXPECT_TRUE(tlr::writeReport(pool, folder, file, settings, options, figures, error)) << error;
  if (total) *total = figures;
  return testsupport::readFile(file);
}

// One tree for the suite: it takes a while to make.
class ReportOnThePool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tree = new TempTree;
    buildTree(*tree);
  }
  static void TearDownTestSuite() {
    delete tree;
    tree = nullptr;
  }
  static TempTree* tree;
  TempTree& t = *tree;
};
TempTree* ReportOnThePool::tree = nullptr;

}  // namespace

TEST_F(ReportOnThePool, EveryFormatIsTheSameWhateverTheNumberOfThreads) {
  // The figures of a walk without a report.
  tlr::WorkerPool pool(2, 2);
  tlr::WalkSettings settings;
  settings.clusterSize = 4096;
  tlr::Figures plain;
  struct stat st;
  ASSERT_TRUE(platform::statPath(t.path("tree"), st, false));
  plain.seeTime(st.st_mtim);
  pool.walk(platform::openDirectory(t.path("tree")), st.st_dev, settings, plain);

  for (const char* name : {"r.json", "r.csv", "r.txt", "r.html"}) {
    SCOPED_TRACE(name);
    tlr::Figures total;
    const std::string first = stripTimes(report(1, t.path("tree"), t.path(name), -1, &total));
    ASSERT_GT(first.size(), 2000u * 40);
    EXPECT_EQ(total.files, plain.files);
    EXPECT_EQ(total.dirs, plain.dirs);
    EXPECT_EQ(total.diskBytes, plain.diskBytes);
    EXPECT_EQ(total.fileBytes, plain.fileBytes);
    for (const auto& [walkers, io] : {std::pair{2u, 0u}, {4u, 0u}, {8u, 0u}, {2u, 16u}}) {
      const std::string again = stripTimes(report(walkers, t.path("tree"), t.path(name), -1, nullptr, io));
      ASSERT_EQ(again, first) << walkers << " walkers, " << io << " while waiting on the device";
    }
  }
}

TEST_F(ReportOnThePool, AFileWithSeveralNamesCountsAtTheFirstPathWhateverTheThreads) {
  for (unsigned workers : {1u, 4u}) {
    const std::string csv = report(workers, t.path("tree"), t.path("r.csv"), -1);
    // "d1/also-shared" comes before "d3/shared" and "d30/inner/shared-too",
    // which are files all the same, without bytes.
    EXPECT_NE(csv.find("\r\nd1/also-shared,File,40960,40000,0,1,"), std::string::npos) << workers;
    EXPECT_NE(csv.find("\r\nd3/shared,File,0,0,0,1,"), std::string::npos) << workers;
    EXPECT_NE(csv.find("\r\nd30/inner/shared-too,File,0,0,0,1,"), std::string::npos) << workers;
  }
}

TEST_F(ReportOnThePool, ADescriptorGetsTheSameReportAndStaysOpen) {
  for (const auto& [format, name] : {std::pair{tlr::ReportFormat::Json, "r.json"}, {tlr::ReportFormat::Html, "r.html"}}) {
    const std::string byName = stripTimes(report(2, t.path("tree"), t.path(name), 1));
    const int fd = ::open(t.path("fd-report").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "before\n", 7), 7);
    tlr::WorkerPool pool(2, 2);
    tlr::WalkSettings settings;
    settings.clusterSize = 4096;
    tlr::ReportOptions options;
    options.depth = 1;
    options.clusterSize = 4096;
    options.targetDrive = "none";
    options.fileSpec = "off";
    tlr::Figures total;
    std::string error;
    ASSERT_TRUE(tlr::writeReportTo(pool, fd, format, t.path("tree"), settings, options, total, error)) << error;
    EXPECT_EQ(::write(fd, "after\n", 6), 6) << "the descriptor is left open";
    ::close(fd);
    EXPECT_EQ(stripTimes(testsupport::readFile(t.path("fd-report"))), "before\n" + byName + "after\n");
    EXPECT_FALSE(tlr::writeReportTo(pool, fd, format, t.path("missing"), settings, options, total, error));
    EXPECT_EQ(error.rfind("cannot read " + t.path("missing") + ": ", 0), 0u) << error;
  }
}

TEST(ReportText, SizesAPersonReads) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0 B"},
      {1023, "1023 B"},
      {1024, "1.0 KiB"},
      {1536, "1.5 KiB"},
      {1048524, "1023.9 KiB"},
      {1048575, "1.0 MiB"},  // 1023.999 KiB would read "1024.0 KiB"
      {138047488, "131.7 MiB"},
      {3ULL << 30, "3.0 GiB"},
      {5ULL << 40, "5.0 TiB"},
      {UINT64_MAX, "16.0 EiB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(tlr::humanSize(bytes), text) << bytes;
}

TEST(ReportText, DigitsInGroupsOfThree) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0"}, {999, "999"}, {1000, "1,000"}, {138047488, "138,047,488"}, {UINT64_MAX, "18,446,744,073,709,551,615"}};
  for (const auto& [v, text] : cases) EXPECT_EQ(tlr::groupDigits(v), text) << v;
}

TEST(ReportText, CsvCellsAreOneLineOfValidUtf8AndNeverAFormula) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"bad\xff\xfe", "bad\\xFF\\xFE"},
      {"bad\xef\xbf\xbd", "bad\xef\xbf\xbd"},  // a replacement character of its own
      {"caf\xc3\xa9", "caf\xc3\xa9"},
      {"with,comma", "\"with,comma\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"new\nline", "new\\nline"},
      {"back\\slash", "back\\slash"},
      {"=SUM(A1)", "'=SUM(A1)"},
      {"+1", "'+1"},
      {"-x", "'-x"},
      {"@cmd", "'@cmd"},
      {"\tx", "\\tx"},
      {"\rx", "\\rx"},
  };
  for (const auto& [raw, cell] : cases) EXPECT_EQ(tlr::csvCell(raw), cell) << cell;
}

namespace {

// The dump format's escaping, one byte at a time, as its own writer does it.
std::string jsonStringOneByteAtATime(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string jsonString(std::string_view s) {
  std::string out(tlr::jsonStringRoom(s.size()), '\0');
  out.resize(static_cast<size_t>(tlr::putJsonString(out.data(), s) - out.data()));
  return out;
}

template <typename T>
std::string number(T v) {
  char buf[tlr::kNumberRoom];
  return std::string(buf, tlr::putNumber(buf, v));
}

}  // namespace

TEST(ReportText, JsonNamesEscapeEveryByteThatNeedsItWhereverItStands) {
  // Every byte value at every place of names up to three blocks of eight
  // long, among bytes that need no escape (plain ASCII and UTF-8).
  for (int byte = 0; byte < 256; ++byte) {
    for (size_t length = 1; length <= 24; ++length) {
      for (size_t at = 0; at < length; ++at) {
        std::string name;
        for (size_t i = 0; i < length; ++i) name += i % 3 == 2 ? '\xc3' : static_cast<char>('a' + i);
        name[at] = static_cast<char>(byte);
        ASSERT_EQ(jsonString(name), jsonStringOneByteAtATime(name)) << "byte " << byte << " at " << at << " of " << length;
      }
    }
  }
  // A long name of nothing but bytes to escape takes the most room there is.
  const std::string worst(5000, '\x01');
  EXPECT_EQ(jsonString(worst).size(), tlr::jsonStringRoom(worst.size()));
  EXPECT_EQ(jsonString(worst), jsonStringOneByteAtATime(worst));
}

TEST(ReportText, NumbersAreTheirDecimalDigits) {
  std::vector<uint64_t> values{0, UINT32_MAX, uint64_t{UINT32_MAX} + 1, UINT64_MAX, UINT64_MAX - 1};
  for (uint64_t p = 1; p <= UINT64_MAX / 10; p *= 10)
    for (uint64_t v : {p - 1, p, p + 1, p * 10 - 1}) values.push_back(v);
  for (int bit = 0; bit < 64; ++bit) values.push_back(uint64_t{1} << bit);
  uint64_t x = 0x9E3779B97F4A7C15ULL;  // fixed, so a failure repeats
  for (int i = 0; i < 100000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    values.push_back(x >> (i % 64));
  }
  for (uint64_t v : values) ASSERT_EQ(number(v), std::to_string(v));
  for (int64_t v : {int64_t{0}, int64_t{-1}, int64_t{1796661336}, int64_t{-2208988800}, INT64_MIN, INT64_MAX})
    EXPECT_EQ(number(v), std::to_string(v));
}

TEST(ReportText, TextBuffersKeepWhatTheyHoldAsTheyGrowAndMove) {
  tlr::TextBuffer buffer;
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    const std::string piece = std::to_string(i) + (i % 100 == 0 ? std::string(3000, 'x') : ",");
    if (i % 2) {
      buffer.append(piece);
    } else {
      char* p = buffer.room(piece.size() + 64);  // more room than it uses
      buffer.done(tlr::putText(p, piece));
    }
    expected += piece;
  }
  EXPECT_EQ(buffer.view(), expected);
  tlr::TextBuffer moved(std::move(buffer));
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(moved.view(), expected);
  buffer = std::move(moved);
  EXPECT_EQ(buffer.view(), expected);
  buffer.release();
  EXPECT_TRUE(buffer.empty());
}

TEST(ReportText, SizesRoundAsPrintfRoundsTheirTenths) {
  // Around every tie (a multiple of 256 bytes is x.x5 of a KiB), and across
  // every unit, the sizes read as printf's "%.1f" of the exact quotient.
  std::vector<uint64_t> values;
  for (uint64_t v = 1024; v < 200000; v += 128) values.insert(values.end(), {v - 1, v, v + 1});
  for (int shift = 10; shift < 64; ++shift)
    for (uint64_t k = 1; k < 1100; k += 37) {
      const uint64_t base = k << shift;
      if (base >> shift != k) break;  // past 2^64
      values.insert(values.end(), {base, base + (uint64_t{1} << (shift - 1)), base - 1});
    }
  uint64_t x = 0x2545F4914F6CDD1DULL;
  for (int i = 0; i < 50000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    values.push_back(x >> (i % 60));
  }
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  for (uint64_t bytes : values) {
    if (bytes < 1024) continue;
    double v = static_cast<double>(bytes);
    size_t u = 0;
    for (v /= 1024; !(v < 1023.95) && u + 1 < std::size(kUnits); v /= 1024) ++u;
    char expected[48];
    std::snprintf(expected, sizeof expected, "%.1f %s", v, kUnits[u]);
    ASSERT_EQ(tlr::humanSize(bytes), expected) << bytes;
  }
}

TEST(ReportText, DatesReadAsTheCalendarHasThem) {
  // Dates before 1970, around the turn of years and months, leap days, and
  // the years that strftime writes with other widths.
  std::vector<time_t> times{0, -1, 951782400, 951868799, 1796661336, 4102444800, -62135596800, -62167219200,
                            253402300799, 253402300800, -2208988800};
  for (time_t t = -5000000000; t < 5000000000; t += 86399 * 37) times.push_back(t);
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (time_t t : times) {
    const struct timespec ts{t, 0};
    std::tm utc{}, local{};
    ASSERT_TRUE(gmtime_r(&t, &utc) && localtime_r(&t, &local));
    char iso[64], readable[64];
    std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::snprintf(readable, sizeof readable, "%d %s %lld %02d:%02d", local.tm_mday, kMonths[local.tm_mon],
                  static_cast<long long>(local.tm_year) + 1900, local.tm_hour, local.tm_min);
    ASSERT_EQ(tlr::isoTime(ts), iso) << t;
    ASSERT_EQ(tlr::localTime(ts), readable) << t;
  }
  unsetenv("TZ");
  tzset();
  EXPECT_EQ(tlr::isoTime({tlr::kNoTime, 0}), "");
  EXPECT_EQ(tlr::localTime({tlr::kNoTime, 0}), "");
}

TEST(ReportText, ChangesAreSignedAndGrowthComesFirst) {
  using C = tlr::ReportRow::Change;
  auto row = [](const char* name, uint64_t disk, C change, int64_t diskChange) {
    tlr::ReportRow r;
    r.path = name;
    r.f.diskBytes = disk;
    r.change = change;
    r.diskChange = diskChange;
    return r;
  };
  struct Case {
    tlr::ReportRow row;
    const char* grouped;
    const char* plain;
  };
  const Case cases[] = {
      {row("a", 0, C::Changed, 0), "0", "0"},
      {row("a", 0, C::Changed, 1234567), "+1,234,567", "+1234567"},
      {row("a", 0, C::Changed, -4096), "-4,096", "-4096"},
      {row("a", 0, C::Changed, INT64_MIN), "-9,223,372,036,854,775,808", "-9223372036854775808"},
      {row("a", 0, C::Changed, INT64_MAX), "+9,223,372,036,854,775,807", "+9223372036854775807"},
      {row("a", 5, C::New, 5), "new", "new"},
      {row("a", 5, C::Gone, -5), "gone", "gone"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tlr::changeText(c.row, true), c.grouped);
    EXPECT_EQ(tlr::changeText(c.row, false), c.plain);
  }
  std::vector<tlr::ReportRow> rows = {row("gone small", 10, C::Gone, -10), row("shrunk", 100, C::Changed, -50),
                                      row("gone big", 99, C::Gone, -99),   row("same b", 7, C::Changed, 0),
                                      row("new", 30, C::New, 30),          row("grown", 1, C::Changed, 500),
                                      row("same a", 7, C::Changed, 0),     row("same big", 9, C::Changed, 0)};
  tlr::orderByChange(rows);
  std::string order;
  for (const auto& r : rows) order += r.path + ";";
  EXPECT_EQ(order, "grown;new;same big;same a;same b;shrunk;gone big;gone small;");
}

TEST(ReportFileSync, OnlyAReportThatReplacesAFileWaitsForTheDisk) {
  TempTree t;
  t.file("old.txt", 10);
  t.dir("folder");
  t.symlink("/nowhere/at/all", "dangling");
  struct Case {
    std::string target;
    bool sync;
  };
  const Case cases[] = {
      {t.path("old.txt"), true},          // the old report must survive a crash
      {t.path("new.txt"), false},         // nothing there to lose
      {t.path("dangling"), true},         // something is there: kept safe
      {t.path("folder/none.txt"), false},
      {t.path("old.txt/below"), true},    // cannot tell: the safe answer
  };
  for (const Case& c : cases) EXPECT_EQ(tlr::syncBeforeRename(c.target), c.sync) << c.target;
}
