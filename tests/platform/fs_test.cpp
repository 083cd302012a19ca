// Paths of any length reach the file system, and a rename never replaces
// what is there, even where the file system cannot say so itself.
#include <climits>
#include <cstddef>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/fs.h"
#include "platform/item_actions.h"
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

namespace {

// Runs fn on a thread of its own whose system calls renameat2 (and, when
// asked, link and linkat) fail as on a file system without them: EINVAL for
// renameat2's flags, as NFS and many FUSE file systems answer, and EPERM for
// hard links. A seccomp filter applies to the thread that installs it only,
// so the rest of the test process is untouched. False when the kernel has no
// seccomp.
bool withoutNoReplaceRename(bool withoutHardLinks, const std::function<void()>& fn) {
  bool installed = false;
  std::thread worker([&] {
    std::vector<sock_filter> code = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINVAL),
    };
    if (withoutHardLinks)
      for (const unsigned nr : {unsigned(__NR_link), unsigned(__NR_linkat)}) {
        code.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, nr, 0, 1));
        code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM));
      }
    code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog program{static_cast<unsigned short>(code.size()), code.data()};
    installed = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
    if (installed) fn();
  });
  worker.join();
  return installed;
}

}  // namespace

TEST(RenameNoReplace, WhereTheFileSystemHasNoAtomicNoReplaceNothingIsOverwritten) {
#if !defined(__x86_64__)
  GTEST_SKIP() << "the filter is written for x86-64";
#endif
  struct Case {
    const char* what;
    bool withoutHardLinks;
  } systems[] = {{"renameat2 without flags (NFS)", false}, {"no hard links either (some FUSE)", true}};
  for (const Case& sys : systems) {
    SCOPED_TRACE(sys.what);
    testsupport::TempTree t;
    t.file("file", 3);
    t.file("taken", 5);
    t.dir("folder");
    t.file("folder/inner", 7);
    t.dir("full");
    t.file("full/x", 1);
    t.dir("empty");
    t.symlink("file", "link");
    struct Rename {
      const char* from;
      const char* to;
      int error;  // 0: renamed
    } renames[] = {
        {"file", "taken", EEXIST},     {"folder", "full", EEXIST},   {"folder", "empty", EEXIST},
        {"folder", "taken", EEXIST},   {"file", "empty", EEXIST},    {"link", "taken", EEXIST},
        {"file", "renamed", 0},        {"folder", "moved", 0},       {"link", "link2", 0},
        {"missing", "anything", ENOENT},
    };
    std::vector<std::string> errors;  // what renameItem said, in order
    ASSERT_TRUE(withoutNoReplaceRename(sys.withoutHardLinks, [&] {
      for (const Rename& r : renames) errors.push_back(platform::renameItem(t.path(r.from), r.to));
    })) << "no seccomp here";
    for (size_t i = 0; i < std::size(renames); ++i) {
      const Rename& r = renames[i];
      SCOPED_TRACE(std::string(r.from) + " -> " + r.to);
      if (r.error == 0) {
        EXPECT_EQ(errors[i], "");
      } else if (r.error == EEXIST) {
        EXPECT_EQ(errors[i], std::string("an item named \"") + r.to + "\" already exists");
      } else {
        EXPECT_EQ(errors[i], std::strerror(r.error));
      }
    }
    // Nothing was replaced, nothing is left over, links stay links.
    EXPECT_EQ(testsupport::readFile(t.path("taken")).size(), 5u);
    EXPECT_TRUE(testsupport::pathExists(t.path("full/x")));
    struct stat st;
    ASSERT_EQ(::lstat(t.path("empty").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(testsupport::readFile(t.path("renamed")).size(), 3u);
    EXPECT_EQ(testsupport::readFile(t.path("moved/inner")).size(), 7u);
    ASSERT_EQ(::lstat(t.path("link2").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    for (const char* gone : {"file", "folder", "link", "anything"}) EXPECT_FALSE(testsupport::pathExists(t.path(gone))) << gone;
    ASSERT_EQ(::lstat(t.path("renamed").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u) << "one name, not two";
  }
}

TEST(MountTable, MountPointsInsideAFolderAreReadWithTheirEscapes) {
  testsupport::TempTree t;
  t.file("mountinfo", 0);
  testsupport::writeFile(t.path("mountinfo"),
                         "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                         "30 22 0:40 / /home/u/data rw - tmpfs tmpfs rw\n"
                         "31 22 0:41 / /home/u/data/inner rw - tmpfs tmpfs rw\n"
                         "32 22 0:42 / /home/u/data\\040two/m rw - tmpfs tmpfs rw\n"
                         "33 22 0:43 / /home/u/dataset rw - tmpfs tmpfs rw\n"
                         "34 22 0:44 / /home/u/back\\134slash/m rw - tmpfs tmpfs rw\n"
                         "35 22 0:45 /sub /home/u/data/bound rw shared:1 - ext4 /dev/sda1 rw\n"
                         "broken line\n");
  const struct {
    const char* folder;
    std::vector<std::string> inside;
  } cases[] = {
      {"/home/u/data", {"/home/u/data/inner", "/home/u/data/bound"}},  // itself and /home/u/dataset are not inside
      {"/home/u/data two", {"/home/u/data two/m"}},
      {"/home/u/back\\slash", {"/home/u/back\\slash/m"}},
      {"/home/u/data/inner", {}},
      {"/", {"/home/u/data", "/home/u/data/inner", "/home/u/data two/m", "/home/u/dataset", "/home/u/back\\slash/m",
             "/home/u/data/bound"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::mountPointsInside(c.folder, t.path("mountinfo").c_str()), c.inside) << c.folder;
  EXPECT_TRUE(platform::mountPointsInside("/x", t.path("missing").c_str()).empty());
}
