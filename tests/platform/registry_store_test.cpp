// The registry stand-in: typed values survive a save, a save changes only what
// it was told to (every other byte of a hand-edited file stays), writers of
// the same file keep each other's values, and a file that cannot be read or
// understood reads as missing keys and is never written over.
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/registry_store.h"
#include "temp_tree.h"

using platform::RegistryKey;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// Runs fn in a child process without the rights that let root read any file,
// so that a file of mode 0 cannot be read; its result is the child's exit status.
bool inChildWithoutFileRights(const std::function<bool()>& fn) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) == 0) {
      const uint32_t drop = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
      data[0].effective &= ~drop;
      data[0].permitted &= ~drop;
      ::syscall(SYS_capset, &header, data);
    }
    ::_exit(fn() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const std::string kKey = "[HKEY_CURRENT_USER\\K]";

}  // namespace

TEST(RegistryStore, ValuesKeepTheirTypesAcrossASave) {
  testsupport::TempTree t;
  const std::string file = t.path("sub/dir/registry.reg");  // folders made on save
  {
    RegistryKey key("\\SOFTWARE\\Quorlan\\Tallorin\\Settings", file);
    EXPECT_FALSE(key.exists());
    key.writeInteger("Width", 640);
    key.writeInteger("Negative", -2);
    key.writeString("Number", "123");
    key.writeString("Odd", "quote \" back \\ new\nline \xff");
    ASSERT_TRUE(key.save());
  }
  RegistryKey key("\\software\\quorlan\\tallorin\\settings", file);  // names fold case
  ASSERT_TRUE(key.exists());
  EXPECT_EQ(key.readInteger("width"), 640);
  EXPECT_EQ(key.readInteger("Negative"), -2);
  EXPECT_EQ(key.readInteger("Number"), std::nullopt) << "a string never passes for a number";
  EXPECT_EQ(key.readString("Width"), std::nullopt);
  EXPECT_EQ(key.readString("Odd"), "quote \" back \\ new\nline \xff");
  EXPECT_EQ(key.readInteger("Missing"), std::nullopt);
  EXPECT_EQ(readFile(file), "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Settings]\n"
                           "\"Width\"=dword:00000280\n\"Negative\"=dword:fffffffe\n\"Number\"=\"123\"\n"
                           "\"Odd\"=\"quote \\\" back \\\\ new\\nline \xff\"\n");
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "a new file is the user's alone";
}

TEST(RegistryStore, TwoWritersKeepEachOthersKeys) {
  testsupport::TempTree t;
  const std::string file = t.path("r.reg");
  RegistryKey a("\\A", file), b("\\B", file);  // both read before either saves
  a.writeInteger("x", 1);
  b.writeInteger("y", 2);
  ASSERT_TRUE(a.save());
  ASSERT_TRUE(b.save());
  EXPECT_EQ(RegistryKey("\\A", file).readInteger("x"), 1);
  EXPECT_EQ(RegistryKey("\\B", file).readInteger("y"), 2);
  a.remove("x");
  ASSERT_TRUE(a.save());
  EXPECT_EQ(RegistryKey("\\A", file).readInteger("x"), std::nullopt);
  EXPECT_EQ(RegistryKey("\\B", file).readInteger("y"), 2);
}

TEST(RegistryStore, ASaveKeepsWhatAnotherWriterStoredInTheSameKeyMeanwhile) {
  testsupport::TempTree t;
  const std::string file = t.path("r.reg");
  writeFile(file, "REGEDIT4\n\n" + kKey + "\n\"Width\"=dword:00000001\n");
  RegistryKey mine("\\K", file);
  EXPECT_EQ(mine.readInteger("Width"), 1);  // read before the others write
  RegistryKey other("\\K", file);
  other.writeInteger("Hints", 0);
  ASSERT_TRUE(other.save());
  writeFile(file, readFile(file) + "; added by hand meanwhile\n");
  mine.writeInteger("Width", 2);
  ASSERT_TRUE(mine.save());
  EXPECT_EQ(readFile(file), "REGEDIT4\n\n" + kKey +
                               "\n\"Width\"=dword:00000002\n\"Hints\"=dword:00000000\n; added by hand meanwhile\n");
}

TEST(RegistryStore, WritersOnManyThreadsLoseNothing) {
  testsupport::TempTree t;
  const std::string file = t.path("r.reg");
  constexpr int kThreads = 4, kSaves = 40;
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      // Two of them share a key, as the window's two saves do.
      const std::string keyPath = i < 2 ? "\\Settings" : "\\Engine" + std::to_string(i);
      for (int n = 0; n < kSaves; ++n) {
        RegistryKey key(keyPath, file);
        key.writeInteger("v" + std::to_string(i) + "_" + std::to_string(n), n);
        if (!key.save()) ++failed;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failed, 0);
  for (int i = 0; i < kThreads; ++i) {
    RegistryKey key(i < 2 ? "\\Settings" : "\\Engine" + std::to_string(i), file);
    for (int n = 0; n < kSaves; ++n) EXPECT_EQ(key.readInteger("v" + std::to_string(i) + "_" + std::to_string(n)), n);
  }
}

// Files as users and other programs leave them: what reads, and what a save
// of one new value ("y") makes of the file, byte for byte. A file that is
// not in the format is never written over.
TEST(RegistryStore, OddAndDamagedFilesReadAndSaveAsTheyShould) {
  testsupport::TempTree t;
  const std::string y = "\"y\"=dword:00000005\n";
  const std::string fresh = "REGEDIT4\n\n" + kKey + "\n" + y;
  struct Case {
    const char* what;
    std::string text;
    std::optional<int32_t> x;
    std::optional<std::string> after;  // nothing: the save fails and the file stays
  };
  const std::string good = kKey + "\n\"x\"=dword:00000001\n";
  const Case cases[] = {
      {"missing", "", std::nullopt, fresh},
      {"comments only", "; nothing yet\n\n", std::nullopt, "; nothing yet\n\nREGEDIT4\n\n" + kKey + "\n" + y},
      {"byte-order mark", "\xEF\xBB\xBFREGEDIT4\n\n" + good, 1, "\xEF\xBB\xBFREGEDIT4\n\n" + good + y},
      {"blank lines first", "\n \n\nREGEDIT4\n" + good, 1, "\n \n\nREGEDIT4\n" + good + y},
      {"a comment first", "; my settings\nREGEDIT4\n" + good, 1, "; my settings\nREGEDIT4\n" + good + y},
      {"mark and comment", "\xEF\xBB\xBF; mine\nREGEDIT4\n" + good, 1, "\xEF\xBB\xBF; mine\nREGEDIT4\n" + good + y},
      {"version 5 header, CRLF", "Windows Registry Editor Version 5.00\r\n\r\n" + kKey + "\r\n\"x\"=dword:00000001\r\n", 1,
       "Windows Registry Editor Version 5.00\r\n\r\n" + kKey + "\r\n\"x\"=dword:00000001\r\n\"y\"=dword:00000005\r\n"},
      {"broken section before the key", "REGEDIT4\n[oops\n\"x\"=dword:00000009\n" + good, 1,
       "REGEDIT4\n[oops\n\"x\"=dword:00000009\n" + good + y},
      {"broken section after the key",
       "REGEDIT4\n" + good + "[oops\n\"x\"=dword:00000009\n[HKEY_CURRENT_USER\\Other]\n\"o\"=\"kept\"\n", 1,
       "REGEDIT4\n" + good + y + "[oops\n\"x\"=dword:00000009\n[HKEY_CURRENT_USER\\Other]\n\"o\"=\"kept\"\n"},
      {"odd spacing, short dword", "REGEDIT4\n" + kKey + "\n  \"x\" =  dword:1\t\n", 1,
       "REGEDIT4\n" + kKey + "\n  \"x\" =  dword:1\t\n" + y},
      {"upper-case hex", "REGEDIT4\n" + kKey + "\n\"x\"=dword:FFFFFFFF\n", -1, "REGEDIT4\n" + kKey + "\n\"x\"=dword:FFFFFFFF\n" + y},
      {"most negative", "REGEDIT4\n" + kKey + "\n\"x\"=dword:80000000\n", INT32_MIN,
       "REGEDIT4\n" + kKey + "\n\"x\"=dword:80000000\n" + y},
      {"nine digits do not fit", "REGEDIT4\n" + kKey + "\n\"x\"=dword:100000000\n", std::nullopt,
       "REGEDIT4\n" + kKey + "\n\"x\"=dword:100000000\n" + y},
      {"a sign is no hex", "REGEDIT4\n" + kKey + "\n\"x\"=dword:-1\n", std::nullopt, "REGEDIT4\n" + kKey + "\n\"x\"=dword:-1\n" + y},
      {"bad hex", "REGEDIT4\n" + kKey + "\n\"x\"=dword:0000000g\n", std::nullopt,
       "REGEDIT4\n" + kKey + "\n\"x\"=dword:0000000g\n" + y},
      {"a string is no number", "REGEDIT4\n" + kKey + "\n\"x\"=\"1\"\n", std::nullopt, "REGEDIT4\n" + kKey + "\n\"x\"=\"1\"\n" + y},
      {"open quote", "REGEDIT4\n" + kKey + "\n\"x=dword:00000001\n", std::nullopt,
       "REGEDIT4\n" + kKey + "\n\"x=dword:00000001\n" + y},
      {"a bad line does not hide a good one", "REGEDIT4\n" + good + "\"x\"=dword:zz\n", 1,
       "REGEDIT4\n" + good + "\"x\"=dword:zz\n" + y},
      {"hex over lines", "REGEDIT4\n" + kKey + "\n\"h\"=hex:01,02,\\\n  03,04\n\"x\"=dword:00000003\n", 3,
       "REGEDIT4\n" + kKey + "\n\"h\"=hex:01,02,\\\n  03,04\n\"x\"=dword:00000003\n" + y},
      {"the key twice", "REGEDIT4\n" + good + kKey + "\n\"x\"=dword:00000002\n", 2,
       "REGEDIT4\n" + good + kKey + "\n\"x\"=dword:00000002\n" + y},
      {"other hive", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"x\"=dword:00000001\n", std::nullopt,
       "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"x\"=dword:00000001\n\n" + kKey + "\n" + y},
      {"no line end at the end", "REGEDIT4\n" + kKey + "\n\"x\"=dword:00000001", 1, "REGEDIT4\n" + good + y},
      {"CRLF", "REGEDIT4\r\n\r\n" + kKey + "\r\n\"x\"=dword:00000001\r\n", 1,
       "REGEDIT4\r\n\r\n" + kKey + "\r\n\"x\"=dword:00000001\r\n\"y\"=dword:00000005\r\n"},
      {"no header", good, std::nullopt, std::nullopt},
      {"header in lower case", "regedit4\n" + good, std::nullopt, std::nullopt},
      {"binary", std::string("\0\1\2\3", 4), std::nullopt, std::nullopt},
      {"UTF-16", std::string("\xFF\xFER\0E\0G\0E\0D\0I\0T\0" "4\0\n\0", 20), std::nullopt, std::nullopt},
      {"text of another program", "[General]\nwidth=3\n", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = t.path("store.reg");
    ::unlink(file.c_str());
    if (std::string(c.what) != "missing") writeFile(file, c.text);
    RegistryKey key("\\K", file);
    EXPECT_EQ(key.readInteger("x"), c.x);
    key.writeInteger("y", 5);
    EXPECT_EQ(key.save(), c.after.has_value());
    EXPECT_EQ(readFile(file), c.after.value_or(c.text));
    EXPECT_EQ(RegistryKey("\\K", file).readInteger("y"), c.after ? std::optional<int32_t>(5) : std::nullopt);
  }
}

TEST(RegistryStore, ASaveChangesOnlyTheValuesItWrites) {
  testsupport::TempTree t;
  const std::string file = t.path("store.reg");
  const std::string before =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
      "; kept by hand\n"
      "\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Settings]\n"
      "\"ToolBar\"  =  dword:0\n"
      "\"Hints\"=dword:1\n"
      "\"Note\"=\"a \\\"quoted\\\" text\"\n"
      "\"Blob\"=hex:00,01,\\\n"
      "  02,03\n"
      "\"Gone\"=dword:00000007\n"
      "# odd line\n"
      "\n"
      "; the engine's\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Engine]\n"
      "\"FileSpec\"=\"*.txt\"\n"
      "\"Future\"=hex(b):01,00,00,00,00,00,00,00\n"
      "\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Someone\\Else]\n"
      "\"x\"=\"y\"\n";
  writeFile(file, before);
  ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
  if (testsupport::runningAsRoot()) ASSERT_EQ(::chown(file.c_str(), 1234, 4321), 0);
  struct stat old;
  ASSERT_EQ(::stat(file.c_str(), &old), 0);

  RegistryKey key("\\SOFTWARE\\Quorlan\\Tallorin\\Settings", file);
  EXPECT_EQ(key.readInteger("ToolBar"), 0);
  EXPECT_EQ(key.readString("Note"), "a \"quoted\" text");
  key.writeInteger("ToolBar", 1);   // rewritten where it stands, its blanks kept
  key.writeInteger("Hints", 1);     // as stored: its line is left alone
  key.remove("Gone");
  key.writeInteger("Width", 900);   // new: after the key's last value
  key.writeString("Blob", "text");  // the value over two lines becomes one
  ASSERT_TRUE(key.save());
  EXPECT_EQ(readFile(file),
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
            "; kept by hand\n"
            "\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Settings]\n"
            "\"ToolBar\"  =  dword:00000001\n"
            "\"Hints\"=dword:1\n"
            "\"Note\"=\"a \\\"quoted\\\" text\"\n"
            "\"Blob\"=\"text\"\n"
            "\"Width\"=dword:00000384\n"
            "# odd line\n"
            "\n"
            "; the engine's\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Engine]\n"
            "\"FileSpec\"=\"*.txt\"\n"
            "\"Future\"=hex(b):01,00,00,00,00,00,00,00\n"
            "\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\Someone\\Else]\n"
            "\"x\"=\"y\"\n");
  struct stat now;
  ASSERT_EQ(::stat(file.c_str(), &now), 0);
  EXPECT_NE(now.st_ino, old.st_ino) << "replaced, not written in place";
  EXPECT_EQ(now.st_mode & 07777, 0644u) << "the mode stays";
  EXPECT_EQ(now.st_uid, old.st_uid) << "the owner stays";
  EXPECT_EQ(now.st_gid, old.st_gid);

  // Writing what is stored already writes nothing at all.
  RegistryKey again("\\SOFTWARE\\Quorlan\\Tallorin\\Settings", file);
  again.writeInteger("ToolBar", 1);
  again.writeInteger("Hints", 1);
  ASSERT_TRUE(again.save());
  struct stat same;
  ASSERT_EQ(::stat(file.c_str(), &same), 0);
  EXPECT_EQ(same.st_ino, now.st_ino);
}

TEST(RegistryStore, AFileThatCannotBeReadIsNeverWrittenOver) {
  testsupport::TempTree t;
  const std::string file = t.path("store.reg");
  // A folder or a pipe where the file should be: reading a pipe would wait
  // for a writer for ever.
  for (const char* what : {"folder", "pipe"}) {
    SCOPED_TRACE(what);
    if (std::string(what) == "folder")
      ASSERT_EQ(::mkdir(file.c_str(), 0700), 0);
    else
      ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    RegistryKey key("\\K", file);
    EXPECT_EQ(key.fileState(), RegistryKey::FileState::Unreadable);
    EXPECT_FALSE(key.exists());
    key.writeInteger("y", 5);
    EXPECT_FALSE(key.save());
    EXPECT_FALSE(key.fileProblem().empty());
    struct stat st;
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(std::string(what) == "folder" ? S_ISDIR(st.st_mode) : S_ISFIFO(st.st_mode));
    ::remove(file.c_str());
  }
  // A file its user may not read.
  const std::string text = "REGEDIT4\n" + kKey + "\n\"x\"=dword:00000001\n";
  writeFile(file, text);
  ASSERT_EQ(::chmod(file.c_str(), 0), 0);
  EXPECT_TRUE(inChildWithoutFileRights([&] {
    RegistryKey key("\\K", file);
    if (key.readInteger("x") || key.fileState() != RegistryKey::FileState::Unreadable) return false;
    key.writeInteger("y", 5);
    return !key.save();
  }));
  ::chmod(file.c_str(), 0600);
  EXPECT_EQ(readFile(file), text);
  // A file made read-only: read, and kept as it is, whoever saves.
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  {
    RegistryKey key("\\K", file);
    EXPECT_EQ(key.readInteger("x"), std::optional<int32_t>(1));
    key.writeInteger("y", 5);
    EXPECT_FALSE(key.save());
    EXPECT_EQ(key.fileProblem(), "it is read-only");
  }
  EXPECT_EQ(readFile(file), text);
  ::chmod(file.c_str(), 0600);
}

TEST(RegistryStore, AFileNotUnderstoodIsSetAsideUnderAFreeName) {
  testsupport::TempTree t;
  const std::string file = t.path("store.reg");
  const std::string damaged = "Width=3\n";
  writeFile(file + ".damaged", "an older one\n");
  writeFile(file, damaged);
  RegistryKey key("\\K", file);
  EXPECT_EQ(key.fileState(), RegistryKey::FileState::Foreign);
  EXPECT_NE(key.fileProblem().find("line 1"), std::string::npos) << key.fileProblem();
  std::string problem;
  const auto aside = platform::setRegistryFileAside(file, problem);
  ASSERT_TRUE(aside) << problem;
  EXPECT_EQ(*aside, file + ".damaged-2") << "the older one stays";
  EXPECT_EQ(readFile(*aside), damaged);
  EXPECT_EQ(readFile(file + ".damaged"), "an older one\n");
  EXPECT_FALSE(testsupport::pathExists(file));
  key.writeInteger("y", 5);
  EXPECT_TRUE(key.save()) << "a new file where the damaged one was";
  // A sound file is not set aside.
  EXPECT_FALSE(platform::setRegistryFileAside(file, problem));
  EXPECT_TRUE(testsupport::pathExists(file));
}

TEST(RegistryStore, ALinkedFileIsReplacedWhereItLies) {
  testsupport::TempTree t;
  t.dir("dotfiles");
  writeFile(t.path("dotfiles/registry.reg"), "REGEDIT4\n" + kKey + "\n");
  t.symlink("dotfiles/registry.reg", "store.reg");
  RegistryKey key("\\K", t.path("store.reg"));
  key.writeInteger("y", 5);
  ASSERT_TRUE(key.save());
  struct stat st;
  ASSERT_EQ(::lstat(t.path("store.reg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays";
  EXPECT_EQ(readFile(t.path("dotfiles/registry.reg")), "REGEDIT4\n" + kKey + "\n" + "\"y\"=dword:00000005\n");
  // A link that leads nowhere is not replaced by a file.
  t.symlink("nowhere/registry.reg", "dangling.reg");
  RegistryKey lost("\\K", t.path("dangling.reg"));
  lost.writeInteger("y", 5);
  EXPECT_FALSE(lost.save());
  ASSERT_EQ(::lstat(t.path("dangling.reg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(RegistryStore, AKeyOfAHundredThousandValuesLoadsAndSavesWhole) {
  // 10 MB: every value is looked up by its name once, and a save by another
  // key leaves all of it as it was.
  testsupport::TempTree t;
  const std::string file = t.path("store.reg");
  constexpr int kValues = 107000;
  std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Big]\n";
  const std::string filler(73, 'f');
  for (int i = 0; i < kValues; ++i)
    text += "\"Value" + std::to_string(i) + "\"=\"" + filler + std::to_string(i) + "\"\n";
  writeFile(file, text);
  ASSERT_GT(text.size(), 10'000'000u);
  RegistryKey big("\\SOFTWARE\\Big", file);
  for (int i = 0; i < kValues; i += 997) EXPECT_EQ(big.readString("value" + std::to_string(i)), filler + std::to_string(i));
  EXPECT_EQ(big.readString("Value" + std::to_string(kValues - 1)), filler + std::to_string(kValues - 1));
  RegistryKey settings("\\SOFTWARE\\Settings", file);
  settings.writeInteger("Width", 1);
  ASSERT_TRUE(settings.save());
  EXPECT_EQ(readFile(file), text + "\n[HKEY_CURRENT_USER\\SOFTWARE\\Settings]\n\"Width\"=dword:00000001\n");
}

TEST(RegistryStore, AnUnwritableFolderMakesSaveFail) {
  RegistryKey key("\\K", "/proc/no/such/registry.reg");
  key.writeInteger("x", 1);
  EXPECT_FALSE(key.save());
}

TEST(RegistryStore, TheDefaultFileFollowsXdgConfigHome) {
  const char* old = getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(RegistryKey::defaultFilePath(), "/somewhere/config/tallorin/registry.reg");
  setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(RegistryKey::defaultFilePath(), "/home/someone/.config/tallorin/registry.reg");
  setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}
