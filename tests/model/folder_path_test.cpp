// The start path made absolute and normal by its text.
#include <gtest/gtest.h>

#include "model/folder_path.h"
#include "temp_tree.h"

TEST(AbsoluteNormalPath, RelativeAndAbsolutePathsBecomeOneCleanPath) {
  struct Case {
    const char* path;
    const char* cwd;
    const char* want;
  } cases[] = {
      {".", "/home/u", "/home/u"},
      {"./", "/home/u", "/home/u"},
      {"..", "/home/u", "/home"},
      {"../..", "/home/u", "/"},
      {"../../../..", "/home/u", "/"},  // never above the root
      {"tmp", "/", "/tmp"},             // not "//tmp"
      {"a//b///c/", "/x", "/x/a/b/c"},
      {"a/./b/../c", "/x", "/x/a/c"},
      {"/", "/x", "/"},
      {"//", "/x", "/"},
      {"/..", "/x", "/"},
      {"/usr/./lib/../share", "/x", "/usr/share"},
      {"...", "/x", "/x/..."},  // a name, not a step up
      {".hidden/..x", "/x", "/x/.hidden/..x"},
      {"", "/x", ""},
      {"a\xff\xfe/b", "/x", "/x/a\xff\xfe/b"},  // bytes kept
      {"sub", "/", "/sub"},
      {"..", "/", "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(AbsoluteNormalPath(c.path, c.cwd), c.want) << '"' << c.path << "\" in " << c.cwd;
}

TEST(NearestExistingFolder, TheFolderItselfOrTheNearestParentLeft) {
  testsupport::TempTree t;
  t.dir("a");
  t.dir("a/b");
  t.file("a/f", 1);
  t.symlink("a", "link");
  struct Case {
    std::string path;
    std::string want;
  } cases[] = {
      {t.path("a/b"), t.path("a/b")},
      {t.path("a/b/"), t.path("a/b")},
      {t.path("a/gone"), t.path("a")},
      {t.path("a/gone/deeper/still"), t.path("a")},
      {t.path("a/f/x"), t.path("a")},  // a file is no folder
      {t.path("link"), t.path("link")},
      {"/no-such-top-folder/x", "/"},
      {"/", "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(NearestExistingFolder(c.path), c.want) << c.path;
}

TEST(GoneFolders, WhatIsGoneAndTheTopmostOneThatWent) {
  testsupport::TempTree t;
  t.dir("a");
  t.file("a/f", 1);
  t.dir("a/locked", 0);
  t.symlink("a", "link");
  t.symlink("missing", "dangling");
  struct Gone {
    std::string path;
    bool gone;
  } gone[] = {
      {t.path("a"), false},          {t.path("a/"), false},         {t.path("link"), false},
      {t.path("a/locked"), false},   // there, if unreadable
      {t.path("a/f"), true},         // a file in its place
      {t.path("a/gone"), true},      {t.path("a/f/x"), true},       {t.path("dangling"), true},
  };
  for (const Gone& g : gone) EXPECT_EQ(FolderIsGone(g.path), g.gone) << g.path;

  struct Topmost {
    std::string gone, left, want;
  } topmost[] = {
      {"/x/a/b/c", "/x", "/x/a"},
      {"/x/a/b/c/", "/x/", "/x/a"},
      {"/x/a", "/x", "/x/a"},
      {"/x/a/b", "/", "/x"},
      {"/x", "/", "/x"},
      {"/x", "/x", ""},        // not gone at all
      {"/xy/a", "/x", ""},     // not below it: a name that only begins alike
      {"/y/a", "/x", ""},
  };
  for (const Topmost& c : topmost) EXPECT_EQ(TopmostGoneFolder(c.gone, c.left), c.want) << c.gone << " above " << c.left;
}

#include "model/directory_list.h"
#include "model/volume_figures.h"

TEST(VolumeFigures, WhatIsGoneAndWhichEntriesDescribeTheFoldersVolume) {
  testsupport::TempTree t;
  t.dir("sub");
  t.file("f", 1);
  t.symlink("/proc", "link_to_proc");
  struct Gone {
    std::string path;
    bool gone;
  } gone[] = {{t.path("f"), false}, {t.path("sub"), false}, {t.path("missing"), true},
              {t.path("f/under_a_file"), true}, {t.path("missing/deeper"), true}, {t.path("link_to_proc"), false}};
  for (const Gone& g : gone) EXPECT_EQ(PathIsGone(g.path), g.gone) << g.path;

  dev_t dev = 0;
  ASSERT_TRUE(FolderDevice(t.root(), dev));
  EXPECT_FALSE(FolderDevice(t.path("missing"), dev));
  ASSERT_TRUE(FolderDevice(t.root(), dev));
  TDirectoryList listing;
  ASSERT_TRUE(listing.ReadDirectory(t.root()));
  for (int i = 0; i < listing.Count(); ++i)
    EXPECT_TRUE(DescribesFolderVolume(*listing.Items(i), dev)) << listing.Items(i)->FullPath;
  // A mount point inside a folder: /proc in "/" is another volume, a link to
  // it is reckoned where the link lies.
  dev_t rootDev = 0;
  ASSERT_TRUE(FolderDevice("/", rootDev));
  ASSERT_TRUE(listing.ReadDirectory("/"));
  bool sawProc = false;
  for (int i = 0; i < listing.Count(); ++i) {
    if (listing.Items(i)->FullPath != "/proc") continue;
    sawProc = true;
    EXPECT_FALSE(DescribesFolderVolume(*listing.Items(i), rootDev));
  }
  EXPECT_TRUE(sawProc);
}
