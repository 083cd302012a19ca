// Paths of any length reach the file system.
#include <climits>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs.h"
#include "platform/path.h"
#include "temp_tree.h"

TEST(LongPaths, StatAndOpenWorkOnBothSidesOfPathMax) {
  testsupport::TempTree t;
  t.dir("d");
  std::string leaf = t.deepChain("d", PATH_MAX + 100, "abcdefghij");
  t.fileAt(leaf + "/f", 42);
  t.symlink("d", "link");
  struct Case {
    std::string path;
    bool follow, ok, isDir;
    bool opens;  // openDirectory always follows links
  };
  const Case cases[] = {
      {t.path("d"), true, true, true, true},
      {t.path(leaf), true, true, true, true},
      {t.path(leaf) + "/", true, true, true, true},
      {t.path(leaf) + "/f", false, true, false, false},
      {t.path(leaf) + "/missing", false, false, false, false},
      {t.path("link"), false, true, false, true},  // stat: the link itself
      {t.path("link"), true, true, true, true},
      {"", true, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.size());
    struct stat st;
    ASSERT_EQ(platform::statPath(c.path, st, c.follow), c.ok);
    if (c.ok) EXPECT_EQ(S_ISDIR(st.st_mode), c.isDir);
    platform::FileDescriptor fd(platform::openDirectory(c.path));
    EXPECT_EQ(fd.valid(), c.opens);
  }
}

TEST(PathHelpers, FolderPartsAndSeparators) {
  EXPECT_EQ(platform::folderPart("/a/b"), "/a/");
  EXPECT_EQ(platform::folderPart("/a"), "/");
  EXPECT_EQ(platform::folderPart("a"), "");
  EXPECT_EQ(platform::withTrailingDelim("/a"), "/a/");
  EXPECT_EQ(platform::withTrailingDelim("/"), "/");
  EXPECT_EQ(platform::toFileTime({0, 0}), 116444736000000000ULL);
  EXPECT_EQ(platform::toFileTime({1, 999}), 116444736010000009ULL);
}

TEST(PathHelpers, FileTimesOfAnyYearAreKeptOrClampedNeverWrapped) {
  struct Case {
    struct timespec ts;
    unsigned long long want;
  } cases[] = {
      {{-618364800, 0}, 116444736000000000ULL - 618364800ULL * 10000000ULL},  // 1950-06-15
      {{-11644473600LL, 0}, 0},                                             // 1601-01-01, the first
      {{-11644473601LL, 0}, 0},                                             // before it
      {{std::numeric_limits<time_t>::min(), 0}, 0},
      {{std::numeric_limits<time_t>::max(), 0}, ~0ULL},
      {{1844674407370LL, 0}, ~0ULL},  // past year 60056
  };
  for (const Case& c : cases) EXPECT_EQ(platform::toFileTime(c.ts), c.want) << c.ts.tv_sec;
}

#include "platform/item_actions.h"
#include "platform/shortcut.h"

TEST(PathHelpers, UrlsCarryEveryByteOfTheName) {
  struct Case {
    std::string path, url;
  } cases[] = {
      {"/tmp/a b.txt", "file:///tmp/a%20b.txt"},
      {"/x/raw\xFF", "file:///x/raw%FF"},                      // not UTF-8: the byte itself
      {"/x/\xC3\xA9t\xC3\xA9", "file:///x/%C3%A9t%C3%A9"},  // UTF-8: its bytes
      {"/x/100%#?", "file:///x/100%25%23%3F"},
      {"/x/-._~!*'()", "file:///x/-._~%21%2A%27%28%29"},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::fileUrl(c.path), c.url) << c.path;
  // The trash records keep the RFC 2396 marks as they are.
  EXPECT_EQ(platform::percentEncoded("/x/-._~!*'() \xFF", "-_.!~*'()"), "/x/-._~!*'()%20%FF");
}

TEST(DesktopEntries, ExecLinesBecomeArgumentsWithTheFieldCodesFilledIn) {
  struct Case {
    std::string exec;
    std::vector<std::string> args;
  } cases[] = {
      {"gedit %U", {"gedit", "file:///tmp/a%20b.txt"}},
      {"vlc --started-from-file %f", {"vlc", "--started-from-file", "/tmp/a b.txt"}},
      {"\"/opt/My App/run\" %F --x=100%%", {"/opt/My App/run", "/tmp/a b.txt", "--x=100%"}},
      {"app %i %k %c", {"app", "App"}},
      {"sh -c \"echo \\\"hi\\\"\" %f", {"sh", "-c", "echo \"hi\"", "/tmp/a b.txt"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::commandFor({"app.desktop", "App", c.exec}, "/tmp/a b.txt"), c.args) << c.exec;
}

TEST(DesktopEntries, LinkFilesPointAtLocalFilesOnly) {
  struct Case {
    const char* text;
    const char* target;
  } cases[] = {
      {"[Desktop Entry]\nType=Link\nURL=file:///home/u/My%20Folder\n", "/home/u/My Folder"},
      {"[Desktop Entry]\nType=Link\nURL[$e]=file:///x\n", "/x"},
      {"[Desktop Entry]\nType=Link\nURL=https://example.org/\n", ""},
      {"[Desktop Entry]\nType=Application\nURL=file:///x\n", ""},
      {"[Other Group]\nType=Link\nURL=file:///x\n", ""},
      {"garbage", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::desktopLinkTarget(c.text), c.target) << c.text;
}
