#pragma once
// The entries directly inside one folder, in the order the file system gives
// them. A listing owns its entries until one is taken by a usage row.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The desktop's find record, field for field. Times are 100 ns units since
// 1601-01-01 UTC; names are raw bytes, zero-terminated.
struct TWin32FindData {
  uint32_t dwFileAttributes = 0;
  uint64_t ftCreationTime = 0;
  uint64_t ftLastAccessTime = 0;
  uint64_t ftLastWriteTime = 0;
  uint32_t nFileSizeHigh = 0;
  uint32_t nFileSizeLow = 0;
  uint32_t dwReserved0 = 0;
  uint32_t dwReserved1 = 0;
  char cFileName[260] = {};
  char cAlternateFileName[14] = {};
};

inline constexpr uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr uint32_t kFileAttributeHidden = 0x02;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;
inline constexpr uint32_t kFileAttributeNormal = 0x80;
inline constexpr uint32_t kFileAttributeReparsePoint = 0x400;  // symbolic links

// One entry of a listing. What the folder read tells without asking the file
// system again (the name, and whether the entry is a folder, a link or hidden)
// is kept at once; the rest of the find record (times, size, read-only) is
// read at its first use. The engine sizes every entry anyway, so reading each
// entry's metadata in the listing as well would double the file-system work of
// a refresh (a third of its time on a folder of 100,000 files).
class TDirectoryItem {
 public:
  // An entry whose type bits are known (directory, reparse point, hidden).
  TDirectoryItem(std::string fullPath, uint32_t knownAttributes);
  // An entry with its whole find record already read.
  TDirectoryItem(const TWin32FindData& findData, std::string fullPath);
  ~TDirectoryItem();

  std::string GetName() const { return std::string(Name()); }
  std::string_view Name() const;     // the long name, a view into FullPath
  std::string GetShortName() const;  // always empty here: no 8.3 names
  bool IsDirectory() const { return (m_attributes & kFileAttributeDirectory) != 0; }
  bool IsLink() const { return (m_attributes & kFileAttributeReparsePoint) != 0; }
  uint64_t Size() const {
    const TWin32FindData& f = FindData();
    return (uint64_t(f.nFileSizeHigh) << 32) | f.nFileSizeLow;
  }
  // The desktop's find record of the entry, read from the file system the
  // first time it is asked for (an entry gone by then keeps its known bits).
  const TWin32FindData& FindData() const;

  const std::string FullPath;  // folder path with its closing "/", then the name

 private:
  // Where the name starts in FullPath: a refresh and a sort ask for the names
  // of 100,000 entries several times each, and finding the last "/" again
  // each time cost a tenth of a refresh's own work.
  size_t m_nameAt;
  uint32_t m_attributes;
  mutable std::unique_ptr<TWin32FindData> m_findData;
};

class TDirectoryList {
 public:
  // Fills the listing from folder path. True when path names an existing
  // folder (symbolic links followed), even if no entry could be read.
  // listed, when given, is told the count so far after every kListedAtOnce
  // entries and once at the end, so that the entries can be worked on while
  // the rest are read.
  static constexpr int kListedAtOnce = 256;
  using Listed = std::function<void(int count)>;
  bool ReadDirectory(const std::string& path, const Listed& listed = {});

  int Count() const { return static_cast<int>(m_items.size()); }
  // The entry at index, or nullptr once a usage row has taken it.
  TDirectoryItem* Items(int index) const { return m_items.at(index).get(); }
  void Add(std::unique_ptr<TDirectoryItem> item) { m_items.push_back(std::move(item)); }
  // Hands the entry over to a new owner (a usage row).
  std::unique_ptr<TDirectoryItem> Take(int index) { return std::move(m_items.at(index)); }
  void Clear() { m_items.clear(); }

 private:
  std::vector<std::unique_ptr<TDirectoryItem>> m_items;
};
