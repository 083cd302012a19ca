// The engine as a Windows host meets it: TLR32.DLL loaded by name, every
// operation of its table found by name and nothing else exported, and its
// figures of the awkward tree equal to those the Linux engine gave for the
// same tree (TALLORIN_FIXTURE: the tree's Windows path; TALLORIN_LINUX_FIGURES:
// the Linux engine's figures, written by the run script).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tlr32/tlr32.h"

namespace {

const char* const kOperations[] = {
    "TlrExtInit",          "TlrCalcUsage",       "TlrGetStatVal",      "TlrGetStatValF",      "TlrGetFileTime",
    "TlrGetOption",        "TlrSetOption",       "TlrGetFileSysName",  "TlrGetReportFileName", "TlrIsCustomCluster",
    "TlrCustomClustersOn", "TlrFileSpecOn",      "TlrSaveSettings",    "TlrDlgComputeOptions", "TlrDlgClusterSizes",
    "TlrDlgFileSpec",      "TlrDlgReportUsage",  "TlrCalcUsageIn",     "TlrBeginBatch",        "TlrEndBatch",
    "TlrCalcUsageToFd",    "TlrGetProgress",     "TlrGetLastError"};

// The engine as a host finds it: by name, beside the program.
struct Engine {
  HMODULE dll = ::LoadLibraryW(L"TLR32.DLL");
  template <typename F>
  F fn(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(dll, name)));
  }
};

const Engine& engine() {
  static const Engine e;
  return e;
}

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// The names in the DLL's export directory.
std::set<std::string> exportedNames(HMODULE dll) {
  auto* base = reinterpret_cast<const unsigned char*>(dll);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::set<std::string> names;
  if (!dir.VirtualAddress) return names;
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(reinterpret_cast<const char*>(base + nameRvas[i]));
  if (exports->NumberOfFunctions != exports->NumberOfNames) names.insert("(an export without a name)");
  return names;
}

struct Figures {
  int32_t rc = 0, dirs = 0, files = 0;
  double fileBytes = 0, diskBytes = 0;
  uint64_t fileTime = 0;
  bool operator==(const Figures&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Figures& f) {
  return o << "rc " << f.rc << " dirs " << f.dirs << " files " << f.files << " fileBytes " << std::fixed
           << f.fileBytes << " diskBytes " << f.diskBytes << " time " << f.fileTime;
}

Figures compute(const std::string& path) {
  const Engine& e = engine();
  Figures f;
  f.rc = e.fn<TlrCalcUsageFn>("TlrCalcUsage")(path.c_str(), nullptr);
  f.dirs = e.fn<TlrGetStatValFn>("TlrGetStatVal")("Directories");
  f.files = e.fn<TlrGetStatValFn>("TlrGetStatVal")("Files");
  f.fileBytes = e.fn<TlrGetStatValFFn>("TlrGetStatValF")("FileBytes");
  f.diskBytes = e.fn<TlrGetStatValFFn>("TlrGetStatValF")("DiskBytes");
  e.fn<TlrGetFileTimeFn>("TlrGetFileTime")(&f.fileTime);
  return f;
}

void setOption(const char* name, const char* value) {
  ASSERT_TRUE(engine().fn<TlrSetOptionFn>("TlrSetOption")(name, value) & 0xFF) << name;
}

}  // namespace

TEST(EngineLibrary, LoadsByNameAndEveryOperationOfItsTableIsFoundAndNothingElse) {
  ASSERT_NE(engine().dll, nullptr) << "LoadLibraryW(TLR32.DLL) failed: " << ::GetLastError();
  std::set<std::string> want;
  for (const char* name : kOperations) {
    EXPECT_NE(::GetProcAddress(engine().dll, name), nullptr) << name;
    want.insert(name);
  }
  EXPECT_EQ(exportedNames(engine().dll), want);
  EXPECT_TRUE(engine().fn<TlrExtInitFn>("TlrExtInit")("") & 0xFF);
}

TEST(EngineLibrary, SavedOptionsAreValuesOfTheEnginesRegistryKey) {
  const struct {
    const char* name;
    const char* value;
    DWORD type;
    const char* stored;  // a REG_DWORD in decimal, or the REG_SZ text
  } cases[] = {
      {"AllocatedBlocks", "1", REG_DWORD, "1"},
      {"ReportDepth", "-1", REG_DWORD, "4294967295"},
      {"FileSpec", "*.txt;R\xc3\xa9sum\xc3\xa9*", REG_SZ, "*.txt;R\xc3\xa9sum\xc3\xa9*"},
  };
  for (const auto& c : cases) setOption(c.name, c.value);
  ASSERT_TRUE(engine().fn<TlrQueryFn>("TlrSaveSettings")() & 0xFF);
  for (const auto& c : cases) {
    const std::wstring name(c.name, c.name + std::strlen(c.name));
    wchar_t text[256] = {};
    DWORD type = 0, size = sizeof text;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Quorlan\\Tallorin\\Engine", name.c_str(), RRF_RT_ANY, &type,
                             text, &size),
              ERROR_SUCCESS)
        << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    std::string stored;
    if (type == REG_DWORD) {
      stored = std::to_string(*reinterpret_cast<const DWORD*>(text));
    } else {
      char utf8[512] = {};
      ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
      stored = utf8;
    }
    EXPECT_EQ(stored, c.stored) << c.name;
  }
  // Read back by a fresh start of the engine's options.
  ASSERT_TRUE(engine().fn<TlrExtInitFn>("TlrExtInit")("") & 0xFF);
  EXPECT_EQ(engine().fn<TlrGetOptionFn>("TlrGetOption")("ReportDepth", 0), -1);
  setOption("AllocatedBlocks", "0");
  setOption("ReportDepth", "0");
}

TEST(AwkwardTreeUnderWine, FiguresEqualTheLinuxEnginesForEveryPathAndDiskMode) {
  const std::string root = env("TALLORIN_FIXTURE"), expected = env("TALLORIN_LINUX_FIGURES");
  ASSERT_FALSE(root.empty() || expected.empty()) << "run by tests/windows/run_under_wine.sh, which sets both";
  std::ifstream in(expected);
  ASSERT_TRUE(in) << expected;
  setOption("MapDrive", "0");
  setOption("CustomClusters", "0");
  setOption("FileSpecOn", "0");
  // One line a path and mode: "allocated<TAB>relative path<TAB>rc dirs files fileBytes diskBytes fileTime".
  int compared = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string allocated, rel, numbers;
    std::getline(fields, allocated, '\t');
    std::getline(fields, rel, '\t');
    std::getline(fields, numbers);
    Figures want;
    std::istringstream(numbers) >> want.rc >> want.dirs >> want.files >> want.fileBytes >> want.diskBytes >> want.fileTime;
    for (char& c : rel)
      if (c == '/') c = '\\';
    setOption("AllocatedBlocks", allocated.c_str());
    const std::string path = rel.empty() ? root : root + "\\" + rel;
    EXPECT_EQ(compute(path), want) << rel << " allocated " << allocated;
    ++compared;
  }
  EXPECT_GE(compared, 20);  // the script lists every path of the tree in both modes
}

TEST(AwkwardTreeUnderWine, TheVolumeTellsClusterSpaceAndFileSystem) {
  const std::string root = env("TALLORIN_FIXTURE");
  ASSERT_FALSE(root.empty());
  const Engine& e = engine();
  setOption("AllocatedBlocks", "0");
  ASSERT_EQ(compute(root).rc, 0);
  const auto stat = e.fn<TlrGetStatValFn>("TlrGetStatVal");
  EXPECT_GT(stat("ClusterSize"), 0);
  EXPECT_EQ(stat("ClusterSize") & (stat("ClusterSize") - 1), 0);  // a power of two
  EXPECT_GT(stat("DiskTotal"), 0);
  EXPECT_GE(stat("SizeFactor"), 1);
  EXPECT_STRNE(e.fn<TlrGetStringFn>("TlrGetFileSysName")(), "");
}

TEST(AwkwardTreeUnderWine, WhatCannotBeReadSaysWhy) {
  const Engine& e = engine();
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {env("TALLORIN_FIXTURE") + "\\no such entry", "No such file or directory"},
      {"Q:\\", ""},  // a drive that does not exist
  };
  for (const auto& c : cases) {
    EXPECT_EQ(e.fn<TlrCalcUsageFn>("TlrCalcUsage")(c.path.c_str(), nullptr), TLR_ERR_NO_PATH) << c.path;
    const std::string why = e.fn<TlrGetStringFn>("TlrGetLastError")();
    EXPECT_EQ(why.rfind("cannot read " + c.path + ": ", 0), 0u) << why;
    EXPECT_NE(why.find(c.reason), std::string::npos) << why;
  }
}

// A refresh sizes one folder's entries in a batch, each looked up in its
// folder: a file with several names counts once among them, whichever
// folders the names are in and in whatever order the entries come.
TEST(BatchUnderWine, AFileWithSeveralNamesCountsOnceAmongTheEntries) {
  wchar_t temp[MAX_PATH + 1];
  ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
  const std::wstring root = std::wstring(temp) + L"tallorin-batch-" + std::to_wstring(::GetCurrentProcessId());
  const auto make = [](const std::wstring& path, DWORD bytes) {
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::string data(bytes, 'x');
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(h, data.data(), bytes, &written, nullptr));
    ::CloseHandle(h);
  };
  ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((root + L"\\A").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((root + L"\\B").c_str(), nullptr));
  make(root + L"\\A\\x", 5000);
  make(root + L"\\w", 10);
  const bool linked = ::CreateHardLinkW((root + L"\\A\\y").c_str(), (root + L"\\A\\x").c_str(), nullptr) &&
                      ::CreateHardLinkW((root + L"\\B\\z").c_str(), (root + L"\\A\\x").c_str(), nullptr);
  std::string utf8Root(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, root.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, root.c_str(), -1, utf8Root.data(), static_cast<int>(utf8Root.size()), nullptr, nullptr);
  utf8Root.pop_back();
  const auto sizeIn = engine().fn<TlrCalcUsageInFn>("TlrCalcUsageIn");
  const auto bytes = [] { return engine().fn<TlrGetStatValFFn>("TlrGetStatValF")("FileBytes"); };
  struct Case {
    const char* name;
    bool batch;
    double fileBytes;
  };
  for (const Case& c : {Case{"in a batch", true, 5010}, Case{"each on its own", false, 3 * 5000 + 10}}) {
    if (c.batch) ASSERT_TRUE(engine().fn<TlrQueryFn>("TlrBeginBatch")() & 0xFF);
    double sum = 0;
    for (const char* entry : {"\\A\\x", "\\w", "\\A\\y", "\\B"}) {
      // The folder given is a stand-in: Windows hands no folders across.
      ASSERT_EQ(sizeIn(0, (utf8Root + entry).c_str()), 0) << entry;
      sum += bytes();
    }
    if (c.batch) engine().fn<TlrQueryFn>("TlrEndBatch")();
    if (linked) EXPECT_EQ(sum, c.fileBytes) << c.name;
  }
  for (const wchar_t* f : {L"\\A\\x", L"\\A\\y", L"\\B\\z", L"\\w"}) ::DeleteFileW((root + f).c_str());
  for (const wchar_t* d : {L"\\A", L"\\B", L""}) ::RemoveDirectoryW((root + d).c_str());
  if (!linked) GTEST_SKIP() << "no hard links here";
}

// Wine shows a Linux symbolic link to a file as that file. It is counted as
// the link it is, never as what it leads to, alone and inside its folder,
// whatever its name.
TEST(LinksUnderWine, ALinkToAFileIsNeverFollowed) {
  const std::string links = env("TALLORIN_LINKS");
  ASSERT_FALSE(links.empty()) << "run by tests/windows/run_under_wine.sh, which makes them";
  struct Case {
    const char* path;
    int files;
    double fileBytes;
  };
  for (const Case& c : {Case{"\\a\\target", 1, 1000}, Case{"\\b\\to target", 1, 0}, Case{"\\b\\target", 1, 0},
                        Case{"\\b", 3, 10}, Case{"", 4, 1010}}) {
    const Figures f = compute(links + c.path);
    EXPECT_EQ(f.rc, 0) << c.path;
    EXPECT_EQ(f.files, c.files) << c.path;
    EXPECT_EQ(f.fileBytes, c.fileBytes) << c.path;
  }
}
