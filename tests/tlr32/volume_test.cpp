// The file-system name: from the mount table, and from statfs's type number
// where the table does not list the device (chroots, some containers).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <fstream>

#include "temp_tree.h"
#include "tlr32/volume.h"

using testsupport::TempTree;

namespace {

std::string writeMountTable(const TempTree& t, const std::string& content) {
  const std::string path = t.path("mountinfo");
  std::ofstream(path) << content;
  return path;
}

}  // namespace

TEST(FileSystemName, TheMountTableWinsAndALaterMountOfTheDeviceStacksOnTop) {
  TempTree t;
  struct stat st;
  ASSERT_EQ(stat(t.root().c_str(), &st), 0);
  const std::string dev = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  const std::string table = writeMountTable(
      t, "21 1 " + dev + " / / rw,relatime shared:1 - firstfs /dev/sda1 rw\n"
         "22 21 0:99 / /other rw - otherfs none rw\n"
         "23 21 " + dev + " /x /y rw master:2 - stackedfs /dev/sda1 rw\n");
  EXPECT_EQ(tlr::mountTypeOf(st.st_dev, table.c_str()), "stackedfs");
  EXPECT_EQ(tlr::fileSystemName(st.st_dev, t.root(), table.c_str()), "stackedfs");
}

TEST(FileSystemName, WithoutAMountEntryTheStatfsTypeNamesIt) {
  TempTree t;
  struct stat st;
  ASSERT_EQ(stat(t.root().c_str(), &st), 0);
  struct statfs sf;
  ASSERT_EQ(statfs(t.root().c_str(), &sf), 0);
  const char* expected = tlr::fileSystemTypeName(static_cast<unsigned long>(sf.f_type));
  ASSERT_NE(expected, nullptr) << "the test folder lies on a file system of unknown type " << std::hex << sf.f_type;
  for (const std::string& content : {std::string(), std::string("21 1 0:9999 / / rw - somefs none rw\n"),
                                     std::string("garbage without fields\n - \n")}) {
    const std::string table = writeMountTable(t, content);
    EXPECT_EQ(tlr::fileSystemName(st.st_dev, t.root(), table.c_str()), expected) << content;
  }
  EXPECT_EQ(tlr::fileSystemName(st.st_dev, t.root(), "/nonexistent/mountinfo"), expected) << "no table at all";
  EXPECT_EQ(tlr::fileSystemName(st.st_dev, t.path("missing"), "/nonexistent/mountinfo"), "")
      << "nothing to ask statfs about";
}

TEST(FileSystemName, TypeNumbersOfTheCommonKinds) {
  struct Case {
    unsigned long type;
    const char* name;
  } cases[] = {
      {0xEF53, "ext2/3/4"}, {0x58465342, "xfs"},   {0x9123683E, "btrfs"}, {0x01021994, "tmpfs"},
      {0x794C7630, "overlay"}, {0x6969, "nfs"},    {0xFF534D42, "cifs"},  {0xFE534D42, "smb3"},
      {0x4D44, "vfat"},     {0x2011BAB0, "exfat"}, {0x5346544E, "ntfs"},  {0xF2F52010, "f2fs"},
      {0x2FC12FC1, "zfs"},  {0x65735546, "fuse"},
      // statfs's f_type is a signed long: a type with the top bit set arrives sign-extended.
      {static_cast<unsigned long>(static_cast<long>(static_cast<int32_t>(0xFF534D42))), "cifs"},
  };
  for (const Case& c : cases) {
    ASSERT_NE(tlr::fileSystemTypeName(c.type), nullptr) << std::hex << c.type;
    EXPECT_STREQ(tlr::fileSystemTypeName(c.type), c.name) << std::hex << c.type;
  }
  EXPECT_EQ(tlr::fileSystemTypeName(0x12345678), nullptr);
}
