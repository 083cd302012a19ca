// The registry stand-in: typed values survive a save, keys of two writers
// live side by side, and a damaged file reads as missing keys.
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "platform/registry_store.h"
#include "temp_tree.h"

using platform::RegistryKey;

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeAll(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

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
  const std::string text = readAll(file);
  EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
  EXPECT_NE(text.find("\"Width\"=dword:00000280"), std::string::npos);
  EXPECT_NE(text.find("\"Negative\"=dword:fffffffe"), std::string::npos);
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

TEST(RegistryStore, DamagedFilesReadAsMissingValues) {
  testsupport::TempTree t;
  struct Case {
    const char* what;
    std::string text;
    std::optional<int32_t> x;
  };
  const Case cases[] = {
      {"empty", "", std::nullopt},
      {"no header", "[HKEY_CURRENT_USER\\K]\n\"x\"=dword:00000001\n", std::nullopt},
      {"binary", std::string("\0\1\2\3", 4), std::nullopt},
      {"short dword", "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"x\"=dword:1\n", std::nullopt},
      {"bad hex", "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"x\"=dword:0000000g\n", std::nullopt},
      {"open quote", "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"x=dword:00000001\n", std::nullopt},
      {"other hive", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"x\"=dword:00000001\n", std::nullopt},
      {"good, CRLF", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"x\"=dword:00000001\r\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = t.path("damaged.reg");
    writeAll(file, c.text);
    RegistryKey key("\\K", file);
    EXPECT_EQ(key.readInteger("x"), c.x);
    // Saving over a damaged file replaces it with a sound one.
    key.writeInteger("y", 5);
    ASSERT_TRUE(key.save());
    EXPECT_EQ(RegistryKey("\\K", file).readInteger("y"), 5);
  }
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
