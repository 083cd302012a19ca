// The options the engine keeps: set by name, applied to the figures, stored
// in the registry stand-in and read back by a new initialisation.
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "platform/registry_store.h"
#include "temp_tree.h"
#include "tlr32/tlr32.h"

using testsupport::TempTree;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

bool truth(int32_t v) { return (v & 0xFF) != 0; }

class EngineOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    TlrExtInit("");
    for (const char* name : {"MapDrive", "CustomClusters", "FileSpecOn", "AllocatedBlocks", "ClusterC", "ClusterD"})
      TlrSetOption(name, "0");
    TlrSetOption("FileSpec", "*.*");
    TlrSetOption("DriveD", "");
    TlrSetOption("DriveC", "/");
    t.file("one.txt", 100);
    t.file("two.TXT", 5000);
    t.file("three.doc", 70000);
    t.file("noext", 1);
  }
  void TearDown() override { SetUp(); }
  TempTree t;
};

}  // namespace

TEST_F(EngineOptions, SetOptionAcceptsKnownNamesAndRefusesTheRest) {
  struct Case {
    const char* name;
    const char* value;
    bool accepted;
  };
  const Case cases[] = {
      {"MapDrive", "4", true},        {"MapDrive", "27", false},     {"MapDrive", "-1", false},
      {"MapDrive", "x", false},       {"CustomClusters", "1", true}, {"ClusterD", "65536", true},
      {"ClusterD", "1000", false},    {"ClusterD", "256", false},    {"Clusterd", "8192", true},
      {"DriveD", "/mnt/data", true},  {"DriveD", "relative", false}, {"FileSpec", "*.txt", true},
      {"NoSuchOption", "1", false},   {"FileSpecOn", "1", true},     {"AllocatedBlocks", "1", true},
  };
  for (const Case& c : cases) EXPECT_EQ(truth(TlrSetOption(c.name, c.value)), c.accepted) << c.name << "=" << c.value;
  EXPECT_EQ(TlrGetOption("MapDrive", 0), 4);
  EXPECT_EQ(TlrGetOption("ClusterD", 0), 8192);
  EXPECT_EQ(TlrGetOption("NoSuchOption", 0), 0);
  EXPECT_TRUE(truth(TlrCustomClustersOn()));
  EXPECT_TRUE(truth(TlrFileSpecOn()));
  EXPECT_FALSE(truth(TlrSetOption(nullptr, "1")));
  EXPECT_FALSE(truth(TlrSetOption("MapDrive", nullptr)));
}

TEST_F(EngineOptions, ACustomClusterSizeRoundsTheDiskBytesOfItsDrive) {
  ASSERT_EQ(TlrCalcUsage(t.root().c_str(), nullptr), 0);
  EXPECT_FALSE(truth(TlrIsCustomCluster()));
  ASSERT_TRUE(truth(TlrSetOption("ClusterC", "65536")));
  ASSERT_EQ(TlrCalcUsage(t.root().c_str(), nullptr), 0);
  EXPECT_FALSE(truth(TlrIsCustomCluster())) << "sizes are off until switched on";
  ASSERT_TRUE(truth(TlrSetOption("CustomClusters", "1")));
  ASSERT_EQ(TlrCalcUsage(t.root().c_str(), nullptr), 0);
  EXPECT_TRUE(truth(TlrIsCustomCluster()));
  EXPECT_EQ(TlrGetStatVal("ClusterSize"), 65536);
  EXPECT_EQ(TlrGetStatValF("DiskBytes"), 65536.0 * 5);  // 100, 5000, 70000 (2 units), 1
  EXPECT_EQ(TlrGetStatValF("FileBytes"), 75101.0);

  // A drive whose folder is a longer match takes the path over from C:.
  ASSERT_TRUE(truth(TlrSetOption("DriveD", t.root().c_str())));
  ASSERT_EQ(TlrCalcUsage(t.root().c_str(), nullptr), 0);
  EXPECT_FALSE(truth(TlrIsCustomCluster()));
  ASSERT_TRUE(truth(TlrSetOption("ClusterD", "8192")));
  ASSERT_EQ(TlrCalcUsage(t.path("three.doc").c_str(), nullptr), 0);
  EXPECT_EQ(TlrGetStatValF("DiskBytes"), 73728.0);
}

TEST_F(EngineOptions, TheFileSpecificationDecidesWhichFilesCount) {
  struct Case {
    const char* patterns;
    int32_t files;
    double bytes;
  };
  const Case cases[] = {
      {"*.txt", 2, 5100},   // letter case does not matter
      {"*.doc; *.txt", 3, 75100},
      {"*.*", 4, 75101},    // every name, with or without a dot
      {"", 4, 75101},
      {"*.none", 0, 0},
      {"noext", 1, 1},
  };
  ASSERT_TRUE(truth(TlrSetOption("FileSpecOn", "1")));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.patterns);
    ASSERT_TRUE(truth(TlrSetOption("FileSpec", c.patterns)));
    ASSERT_EQ(TlrCalcUsage(t.root().c_str(), nullptr), 0);
    EXPECT_EQ(TlrGetStatVal("Files"), c.files);
    EXPECT_EQ(TlrGetStatValF("FileBytes"), c.bytes);
  }
  ASSERT_TRUE(truth(TlrSetOption("FileSpec", "*.txt")));
  ASSERT_EQ(TlrCalcUsage(t.path("three.doc").c_str(), nullptr), 0);
  EXPECT_EQ(TlrGetStatVal("Files"), 0) << "a single file is filtered too";
  ASSERT_TRUE(truth(TlrSetOption("FileSpecOn", "0")));
  ASSERT_EQ(TlrCalcUsage(t.root().c_str(), nullptr), 0);
  EXPECT_EQ(TlrGetStatVal("Files"), 4) << "the file specification applies only while on";
}

TEST_F(EngineOptions, ATargetDriveSuppliesTheVolumeOrFailsWithMinusTwo) {
  t.dir("target");
  ASSERT_TRUE(truth(TlrSetOption("DriveD", t.path("target").c_str())));
  ASSERT_TRUE(truth(TlrSetOption("MapDrive", "4")));
  ASSERT_EQ(TlrCalcUsage(t.path("one.txt").c_str(), nullptr), 0);
  struct statvfs sv;
  ASSERT_EQ(statvfs(t.path("target").c_str(), &sv), 0);
  EXPECT_EQ(TlrGetStatVal("ClusterSize"), static_cast<int32_t>(sv.f_frsize));
  ASSERT_TRUE(truth(TlrSetOption("CustomClusters", "1")));
  ASSERT_TRUE(truth(TlrSetOption("ClusterD", "32768")));
  ASSERT_EQ(TlrCalcUsage(t.path("one.txt").c_str(), nullptr), 0);
  EXPECT_EQ(TlrGetStatValF("DiskBytes"), 32768.0) << "rounded to the target's unit";
  EXPECT_TRUE(truth(TlrIsCustomCluster()));

  ASSERT_TRUE(truth(TlrSetOption("DriveD", t.path("gone").c_str())));
  EXPECT_EQ(TlrCalcUsage(t.path("one.txt").c_str(), nullptr), -2);
  ASSERT_TRUE(truth(TlrSetOption("MapDrive", "5")));  // E: is in no table
  EXPECT_EQ(TlrCalcUsage(t.path("one.txt").c_str(), nullptr), -2);
  EXPECT_EQ(TlrGetOption("MapDrive", 0), 5);
}

TEST_F(EngineOptions, SavedOptionsComeBackAtTheNextInitialisation) {
  ASSERT_TRUE(truth(TlrSetOption("MapDrive", "3")));
  ASSERT_TRUE(truth(TlrSetOption("FileSpecOn", "1")));
  ASSERT_TRUE(truth(TlrSetOption("FileSpec", "*.txt;*.doc")));
  ASSERT_TRUE(truth(TlrSetOption("CustomClusters", "1")));
  ASSERT_TRUE(truth(TlrSetOption("ClusterC", "16384")));
  ASSERT_TRUE(truth(TlrSetOption("DriveD", "/srv/odd \"name\"")));
  TlrSaveSettings();

  platform::RegistryKey key("\\SOFTWARE\\Quorlan\\Tallorin\\Engine");
  ASSERT_TRUE(key.exists()) << key.filePath();
  EXPECT_EQ(key.readInteger("MapDrive"), 3);
  EXPECT_EQ(key.readString("FileSpec"), "*.txt;*.doc");
  EXPECT_EQ(key.readString("DriveD"), "/srv/odd \"name\"");

  // Change everything, then initialise again: the stored options return.
  for (const char* name : {"MapDrive", "FileSpecOn", "CustomClusters", "ClusterC"}) TlrSetOption(name, "0");
  ASSERT_TRUE(truth(TlrExtInit("/some/help.chm")));
  EXPECT_EQ(TlrGetOption("MapDrive", 0), 3);
  EXPECT_TRUE(truth(TlrFileSpecOn()));
  EXPECT_TRUE(truth(TlrCustomClustersOn()));
  EXPECT_EQ(TlrGetOption("ClusterC", 0), 16384);
  ASSERT_TRUE(truth(TlrSetOption("MapDrive", "0")));
  ASSERT_EQ(TlrCalcUsage(t.root().c_str(), nullptr), 0);
  EXPECT_EQ(TlrGetStatVal("Files"), 3) << "the stored file specification is in force";

  // Leave the store as a fresh user has it.
  platform::RegistryKey reset("\\SOFTWARE\\Quorlan\\Tallorin\\Engine");
  for (const char* name : {"MapDrive", "FileSpecOn", "CustomClusters", "ClusterC", "DriveD", "FileSpec"})
    reset.remove(name);
  ASSERT_TRUE(reset.save());
}

TEST_F(EngineOptions, StoredNumbersOutsideTheirRangeFallBackToDefaults) {
  struct Case {
    const char* name;
    platform::RegistryKey::Value stored;
    int32_t read;  // what TlrGetOption gives after the next initialisation
  } cases[] = {
      {"MapDrive", std::string("4"), 0},  // a string never passes for a number
      {"MapDrive", INT32_MAX, 0},         {"MapDrive", INT32_MIN, 0},     {"MapDrive", -1, 0},
      {"MapDrive", 27, 0},                {"MapDrive", 26, 26},
      {"ClusterC", 3000, 0},              {"ClusterC", 256, 0},           {"ClusterC", -512, 0},
      {"ClusterC", INT32_MIN, 0},         {"ClusterC", INT32_MAX, 0},     {"ClusterC", 1 << 30, 1 << 30},
      {"FileSpecOn", 7, 1},               {"FileSpecOn", INT32_MIN, 1},   // any non-zero is true
      {"ReportDepth", -2, 0},             {"ReportDepth", INT32_MIN, 0},  {"ReportDepth", -1, -1},
      {"ReportDepth", INT32_MAX, INT32_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::RegistryKey key("\\SOFTWARE\\Quorlan\\Tallorin\\Engine");
    if (std::holds_alternative<int32_t>(c.stored))
      key.writeInteger(c.name, std::get<int32_t>(c.stored));
    else
      key.writeString(c.name, std::get<std::string>(c.stored));
    ASSERT_TRUE(key.save());
    ASSERT_TRUE(truth(TlrExtInit("")));
    EXPECT_EQ(TlrGetOption(c.name, 0), c.read);
    key.remove(c.name);
    ASSERT_TRUE(key.save());
  }
  TlrExtInit("");
}

namespace {

// The store's file, its folder made when missing.
std::string storeFile() {
  const std::string file = platform::RegistryKey::defaultFilePath();
  ::mkdir(file.substr(0, file.rfind('/')).c_str(), 0700);
  return file;
}

}  // namespace

TEST_F(EngineOptions, ASaveChangesOnlyTheOptionsThatChanged) {
  // The window's key, comments, and engine values the engine cannot use or
  // does not know: all of them stay as written.
  const std::string file = storeFile();
  const std::string before =
      "\xEF\xBB\xBF; by hand\n"
      "REGEDIT4\n"
      "\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Settings]\n"
      "\"ToolBar\"=dword:0\n"
      "[oops\n"
      "\"Hints\"=dword:00000000\n"
      "\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Engine]\n"
      "\"MapDrive\" = dword:0\n"
      "\"CustomClusters\"=dword:00000000\n"
      "\"FileSpecOn\"=dword:00000000\n"
      "\"FileSpec\"=\"*.*\"\n"
      "\"AllocatedBlocks\"=dword:00000000\n"
      "\"ReportDepth\"=dword:00000000\n"
      "\"DriveC\"=\"/\"\n"
      "\"DriveD\"=\"/srv\"\n"
      "\"DriveQ\"=\"not a folder\"\n"
      "\"ClusterQ\"=dword:00000003\n"
      "\"Future\"=hex:01,02\n"
      "; end\n";
  writeFile(file, before);
  ASSERT_TRUE(truth(TlrExtInit("")));
  ASSERT_TRUE(truth(TlrSaveSettings()));
  EXPECT_EQ(readFile(file), before) << "nothing changed, nothing written";

  ASSERT_TRUE(truth(TlrSetOption("FileSpec", "*.txt")));
  ASSERT_TRUE(truth(TlrSetOption("DriveD", "")));  // taken away: stored as none
  ASSERT_TRUE(truth(TlrSetOption("ClusterE", "4096")));
  ASSERT_TRUE(truth(TlrSaveSettings()));
  std::string after = before;
  after.replace(after.find("\"FileSpec\"=\"*.*\""), 16, "\"FileSpec\"=\"*.txt\"");
  after.replace(after.find("\"DriveD\"=\"/srv\""), 15, "\"DriveD\"=\"\"");
  after.insert(after.find("; end"), "\"ClusterE\"=dword:00001000\n");
  EXPECT_EQ(readFile(file), after);
  ASSERT_TRUE(truth(TlrExtInit("")));
  EXPECT_EQ(TlrGetOption("ClusterE", 0), 4096);
  std::string driveD = "?";
  if (auto text = platform::RegistryKey("\\SOFTWARE\\Quorlan\\Tallorin\\Engine").readString("DriveD")) driveD = *text;
  EXPECT_EQ(driveD, "");
  ::unlink(file.c_str());
  TlrExtInit("");
}

TEST_F(EngineOptions, AStoreThatCannotBeReadOrUnderstoodIsNotSavedOver) {
  const std::string file = storeFile();
  for (const char* what : {"pipe", "no header"}) {
    SCOPED_TRACE(what);
    ::unlink(file.c_str());
    const std::string text = "[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Engine]\n\"MapDrive\"=dword:00000003\n";
    if (std::string(what) == "pipe")
      ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    else
      writeFile(file, text);
    ASSERT_TRUE(truth(TlrExtInit("")));
    EXPECT_EQ(TlrGetOption("MapDrive", 0), 0) << "the defaults";
    ASSERT_TRUE(truth(TlrSetOption("MapDrive", "4")));
    EXPECT_FALSE(truth(TlrSaveSettings()));
    struct stat st;
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    if (std::string(what) == "pipe")
      EXPECT_TRUE(S_ISFIFO(st.st_mode));
    else
      EXPECT_EQ(readFile(file), text);
  }
  ::unlink(file.c_str());
  TlrExtInit("");
}
