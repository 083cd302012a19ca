#include "scan/scan_reader.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unordered_map>
#ifdef _WIN32
#include <windows.h>
#endif
#include <vector>

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

namespace scan {
namespace {

// Between two things the reader is told of (a name, a number, a bracket) no
// scan holds more than a name's escapes and some blanks. A longer stretch is
// a hostile file: the parser would keep all of it in memory.
constexpr uint64_t kLongestStretch = 1 << 20;
// Folders in folders. The parser keeps a few bytes a level; a file of
// nothing but "[" would otherwise cost memory eight times its size.
constexpr uint64_t kDeepest = 1'000'000;

// The most a figure reaches: sums stop at 2^62, far above any real folder,
// so that every figure stays a signed 64-bit number and a change of two of
// them fits too.
constexpr uint64_t kMostFigure = uint64_t(1) << 62;
// No file is larger than this (8 PiB); a size above it is no size of a file.
constexpr uint64_t kLargestFile = uint64_t(1) << 53;

uint64_t addSat(uint64_t a, uint64_t b) {
  uint64_t s;
  return __builtin_add_overflow(a, b, &s) || s > kMostFigure ? kMostFigure : s;
}

uint64_t roundUp(uint64_t size, uint64_t unit) {
  if (unit == 0 || size % unit == 0) return size;
  return addSat(size - size % unit, unit);
}

// A path cut at its "/": empty parts and "." dropped. absolute tells
// whether it began with "/".
std::vector<std::string> components(std::string_view path, bool& absolute) {
  absolute = !path.empty() && path.front() == '/';
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(at, end - at);
    if (!part.empty() && part != ".") parts.emplace_back(part);
    at = end + 1;
  }
  return parts;
}

bool validName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// Parses a JSON number as a whole number, saturating beyond the type. False
// for a fraction or an exponent.
bool wholeNumber(std::string_view text, bool& negative, uint64_t& magnitude) {
  negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return false;
  magnitude = 0;
  // Nineteen digits never pass the type's end: no check on the way.
  const size_t safe = std::min<size_t>(text.size(), 19);
  for (size_t i = 0; i < safe; ++i) {
    const auto digit = static_cast<unsigned char>(text[i] - '0');
    if (digit > 9) return false;
    magnitude = magnitude * 10 + digit;
  }
  for (char c : text.substr(safe)) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10)
      magnitude = std::numeric_limits<uint64_t>::max();
    else
      magnitude = magnitude * 10 + digit;
  }
  return true;
}

// What one entry's object said.
struct Info {
  std::string name;
  bool hasName = false;
  uint64_t asize = 0, dsize = 0, ino = 0, dev = 0, nlink = 0;
  bool hasIno = false, hasDev = false, hasNlink = false;
  uint64_t at = 0;  // the place in its folder's listing, where the scan says
  bool hasAt = false;
  bool hlnkc = false, notreg = false, readError = false;
  std::string excluded;
  int64_t mtime = 0;
  bool hasTime = false;
};

enum class Key { Unknown, At, Name, Asize, Dsize, Ino, Dev, Nlink, Hlnkc, Notreg, ReadError, Excluded, Mtime, Progname, Timestamp };

Key entryKey(std::string_view k) {
  switch (k.size()) {
    case 3:
      if (k == "ino") return Key::Ino;
      if (k == "dev") return Key::Dev;
      break;
    case 4:
      if (k == "name") return Key::Name;
      break;
    case 5:
      if (k == "asize") return Key::Asize;
      if (k == "dsize") return Key::Dsize;
      if (k == "hlnkc") return Key::Hlnkc;
      if (k == "nlink") return Key::Nlink;
      if (k == "mtime") return Key::Mtime;
      break;
    case 6:
      if (k == "notreg") return Key::Notreg;
      break;
    case 8:
      if (k == "excluded") return Key::Excluded;
      break;
    case 10:
      if (k == "read_error") return Key::ReadError;
      break;
    case 11:
      if (k == "tallorin_at") return Key::At;
      break;
  }
  return Key::Unknown;
}

// The figures of a row while it is read.
struct Tally {
  BaselineRow row;
  uint64_t rank = 0;  // the row's place in the folder's listing
  int64_t newest = std::numeric_limits<int64_t>::min();  // min: none seen
  void seeTime(const Info& info) {
    if (info.hasTime && info.mtime > newest) newest = info.mtime;
  }
};

// Files with several names inside the folder, by device and inode: where
// their bytes go, settled at the end.
struct SharedKey {
  uint64_t dev, ino;
  bool operator==(const SharedKey&) const = default;
};
struct SharedKeyHash {
  size_t operator()(const SharedKey& k) const noexcept { return std::hash<uint64_t>()(k.ino * 0x9E3779B97F4A7C15ULL ^ k.dev); }
};
struct Shared {
  size_t row;
  uint64_t fileBytes, diskBytes;
  std::string path;  // SharedFileOrder::Path: the first name's path so far
};

// The scan's layout: [major, minor, {metadata}, [root info, entries...]],
// a folder an array of its own info object then its entries (objects for
// the others, arrays for folders).
class Reader : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Reader> {
 public:
  Reader(const ReadSettings& settings, const std::string& folder, std::function<size_t()> tell)
      : m_settings(settings), m_tell(std::move(tell)) {
    m_wanted = components(folder, m_wantedAbsolute);
  }

  // Why the reader stopped the parse, when it did.
  ScanError error = ScanError::None;
  std::string reason;
  bool done = false;  // the whole document was seen
  ScanResult result;  // its baseline, folder, root, program, timestamp

  bool Null() { return scalar(Scalar::Null, {}); }
  bool Bool(bool b) { return scalar(b ? Scalar::True : Scalar::False, {}); }
  bool Int(int) { return unexpectedNumber(); }
  bool Uint(unsigned) { return unexpectedNumber(); }
  bool Int64(int64_t) { return unexpectedNumber(); }
  bool Uint64(uint64_t) { return unexpectedNumber(); }
  bool Double(double) { return unexpectedNumber(); }
  bool RawNumber(const char* s, rapidjson::SizeType n, bool) { return scalar(Scalar::Number, {s, n}); }
  bool String(const char* s, rapidjson::SizeType n, bool) { return scalar(Scalar::String, {s, n}); }

  bool Key(const char* s, rapidjson::SizeType n, bool) {
    if (!tick()) return false;
    if (m_skip) return true;
    std::string_view k(s, n);
    if (m_object == Object::Meta)
      m_key = k == "progname" ? Key::Progname : k == "timestamp" ? Key::Timestamp : Key::Unknown;
    else
      m_key = entryKey(k);
    return true;
  }

  bool StartObject() {
    if (!tick()) return false;
    if (m_skip) return ++m_skip, true;
    if (m_object != Object::None) return valueOfKey() && (m_skip = 1, true);
    if (m_dirDepth > 0) {
      m_info = Info{};
      m_object = m_expectInfo ? Object::FolderInfo : Object::Entry;
      return true;
    }
    if (m_top == 0) return notAScan("it does not begin with an array");
    if (m_topIndex == 2) {
      m_object = Object::Meta;
      return true;
    }
    if (m_topIndex < 4) return notAScan("its header is not that of a disk-usage export");
    m_skip = 1;
    return true;
  }

  bool EndObject(rapidjson::SizeType) {
    if (!tick()) return false;
    if (m_skip) return --m_skip, afterSkip();
    const Object object = m_object;
    m_object = Object::None;
    switch (object) {
      case Object::Meta: ++m_topIndex; return true;
      case Object::FolderInfo: m_expectInfo = false; return folderBegins();
      case Object::Entry: return entry();
      case Object::None: break;
    }
    return true;
  }

  bool StartArray() {
    if (!tick()) return false;
    if (m_skip) return ++m_skip, true;
    if (m_object != Object::None) return valueOfKey() && (m_skip = 1, true);
    if (m_dirDepth > 0) {
      if (m_expectInfo) return bad("a folder of the scan has no name");
      if (m_dirDepth >= kDeepest) return bad("its folders are nested more than a million deep");
      ++m_dirDepth;
      m_expectInfo = true;
      return true;
    }
    if (m_top == 0) {
      m_top = 1;
      return true;
    }
    if (m_topIndex < 3) return notAScan("its header is not that of a disk-usage export");
    if (m_topIndex == 3) {
      m_dirDepth = 1;
      m_expectInfo = true;
      return true;
    }
    m_skip = 1;
    return true;
  }

  bool EndArray(rapidjson::SizeType) {
    if (!tick()) return false;
    if (m_skip) return --m_skip, afterSkip();
    if (m_dirDepth > 0) {
      if (m_expectInfo) return bad("a folder of the scan has no name");
      return folderEnds();
    }
    // The document's own array.
    if (m_topIndex < 4) return notAScan("it holds no folder");
    done = true;
    return true;
  }

  // After the whole document: the shared files' bytes to their rows, and
  // the dates.
  void finish() {
    for (auto& [key, shared] : m_shared) {
      BaselineRow& row = m_rows[shared.row].row;
      row.fileBytes = addSat(row.fileBytes, shared.fileBytes);
      row.diskBytes = addSat(row.diskBytes, shared.diskBytes);
      m_folder.row.fileBytes = addSat(m_folder.row.fileBytes, shared.fileBytes);
      m_folder.row.diskBytes = addSat(m_folder.row.diskBytes, shared.diskBytes);
    }
    m_shared.clear();
    auto date = [](Tally& t) {
      t.row.modified = t.newest == std::numeric_limits<int64_t>::min() ? 0 : t.newest;
      return std::move(t.row);
    };
    result.baseline.rows.reserve(m_rows.size());
    for (Tally& t : m_rows) result.baseline.rows.push_back(date(t));
    m_rows.clear();
    result.folder = date(m_folder);
  }

  bool found() const { return m_found; }

 private:
  enum class Object { None, Meta, FolderInfo, Entry };
  enum class Scalar { Null, True, False, Number, String };

  // Every event: the stop flag, now and then, and the stretch since the last.
  bool tick() {
    if (m_settings.stop && (++m_events & 1023) == 0 && m_settings.stop->load(std::memory_order_relaxed)) {
      error = ScanError::Cancelled;
      return false;
    }
    return true;
  }

  bool unexpectedNumber() { return bad("a number the reader cannot take"); }

  bool notAScan(const std::string& why) {
    error = ScanError::NotAScan;
    reason = why;
    return false;
  }
  bool bad(const std::string& why) {
    error = ScanError::BadValue;
    reason = why + (m_tell ? " (at byte " + std::to_string(m_tell()) + ")" : "");
    return false;
  }

  // A structure where a key's value was to be: ignored unless the key is one
  // whose value must be plain.
  bool valueOfKey() {
    if (m_object == Object::Meta || m_key == Key::Unknown) return true;
    return bad("a value of \"" + keyName(m_key) + "\" is not of its kind");
  }

  static std::string keyName(enum Key k) {
    switch (k) {
      case Key::Name: return "name";
      case Key::Asize: return "asize";
      case Key::Dsize: return "dsize";
      case Key::Ino: return "ino";
      case Key::Dev: return "dev";
      case Key::Nlink: return "nlink";
      case Key::Hlnkc: return "hlnkc";
      case Key::Notreg: return "notreg";
      case Key::ReadError: return "read_error";
      case Key::Excluded: return "excluded";
      case Key::Mtime: return "mtime";
      case Key::At: return "tallorin_at";
      default: return "?";
    }
  }

  bool afterSkip() {
    if (m_skip == 0 && m_object == Object::None && m_dirDepth == 0) ++m_topIndex;
    return true;
  }

  bool scalar(Scalar kind, std::string_view text) {
    if (!tick()) return false;
    if (m_skip) return true;
    if (m_object == Object::Meta) {
      if (m_key == Key::Progname && kind == Scalar::String) result.program = std::string(text);
      bool negative = false;
      uint64_t v = 0;
      if (m_key == Key::Timestamp && kind == Scalar::Number && wholeNumber(text, negative, v) && !negative)
        result.timestamp = static_cast<int64_t>(std::min<uint64_t>(v, std::numeric_limits<int64_t>::max()));
      return true;
    }
    if (m_object != Object::None) return field(kind, text);
    if (m_dirDepth > 0) return bad("an entry of a folder is neither a file nor a folder");
    if (m_top == 0) return notAScan("it does not begin with an array");
    if (m_topIndex == 0) {
      bool negative = false;
      uint64_t v = 0;
      if (kind != Scalar::Number || !wholeNumber(text, negative, v) || negative || v != 1)
        return notAScan("its header is not that of a disk-usage export");
    } else if (m_topIndex == 1) {
      if (kind != Scalar::Number) return notAScan("its header is not that of a disk-usage export");
    } else if (m_topIndex < 4) {
      return notAScan("its header is not that of a disk-usage export");
    }
    ++m_topIndex;
    return true;
  }

  bool field(Scalar kind, std::string_view text) {
    Info& i = m_info;
    auto flag = [&](bool& to) {
      if (kind != Scalar::True && kind != Scalar::False) return bad("\"" + keyName(m_key) + "\" is not true or false");
      to = kind == Scalar::True;
      return true;
    };
    auto count = [&](uint64_t& to, bool* has) {
      bool negative = false;
      if (kind != Scalar::Number) return bad("\"" + keyName(m_key) + "\" is not a number");
      if (!wholeNumber(text, negative, to)) return bad("\"" + keyName(m_key) + "\" is not a whole number");
      if (negative && to != 0) return bad("\"" + keyName(m_key) + "\" is below zero");
      if (has) *has = true;
      return true;
    };
    switch (m_key) {
      case Key::Name:
        if (kind != Scalar::String) return bad("a name is not text");
        i.name.assign(text);
        i.hasName = true;
        return true;
      case Key::Asize:
      case Key::Dsize: {
        uint64_t& size = m_key == Key::Asize ? i.asize : i.dsize;
        if (!count(size, nullptr)) return false;
        if (size > kLargestFile) return bad("\"" + keyName(m_key) + "\" is larger than any file can be");
        return true;
      }
      case Key::Ino: return count(i.ino, &i.hasIno);
      case Key::Dev: return count(i.dev, &i.hasDev);
      case Key::Nlink: return count(i.nlink, &i.hasNlink);
      case Key::At: return count(i.at, &i.hasAt);
      case Key::Hlnkc: return flag(i.hlnkc);
      case Key::Notreg: return flag(i.notreg);
      case Key::ReadError: return flag(i.readError);
      case Key::Excluded:
        if (kind == Scalar::String) i.excluded.assign(text);
        else if (kind == Scalar::True) i.excluded = "yes";
        else if (kind != Scalar::False && kind != Scalar::Null) return bad("\"excluded\" is not text");
        return true;
      case Key::Mtime: {
        bool negative = false;
        uint64_t v = 0;
        if (kind != Scalar::Number) return bad("\"mtime\" is not a number");
        if (!wholeNumber(text, negative, v)) return bad("\"mtime\" is not a whole number");
        constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
        i.mtime = negative ? (v > kMax ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(v))
                           : static_cast<int64_t>(std::min(v, kMax));
        i.hasTime = true;
        return true;
      }
      default: return true;
    }
  }

  // The folder at m_dirDepth has its info: is it on the way to the folder
  // wanted, the folder itself, or inside it?
  bool folderBegins() {
    const Info& i = m_info;
    if (!i.hasName || i.name.empty()) return bad("a folder of the scan has no name");
    if (m_dirDepth == 1) {
      result.root = i.name;
      bool rootAbsolute = false;
      const std::vector<std::string> root = components(i.name, rootAbsolute);
      if (rootAbsolute != m_wantedAbsolute || root.size() > m_wanted.size() ||
          !std::equal(root.begin(), root.end(), m_wanted.begin())) {
        error = ScanError::FolderMissing;
        return false;  // nothing below this root can be the folder
      }
      m_wanted.erase(m_wanted.begin(), m_wanted.begin() + static_cast<std::ptrdiff_t>(root.size()));
      m_targetDepth = m_wanted.size() + 1;
      m_onPath = 1;
    } else {
      if (!validName(i.name)) return bad("a name of the scan is no file name");
      if (m_onPath == m_dirDepth - 1 && m_dirDepth <= m_targetDepth && i.name == m_wanted[m_dirDepth - 2])
        m_onPath = m_dirDepth;
    }
    if (m_onPath == m_dirDepth || m_inTarget) {
      if (i.hasDev) m_devs.push_back({m_dirDepth, i.dev});
    }
    if (m_onPath == m_dirDepth && m_dirDepth == m_targetDepth) {
      if (m_found) {
        error = ScanError::FolderTwice;
        return false;
      }
      m_inTarget = true;
      m_folder.row.name = i.name;
      m_folder.row.folder = true;
      m_folder.seeTime(i);
      if (allocated()) m_folder.row.diskBytes = addSat(m_folder.row.diskBytes, i.dsize);
      m_folderReadError = i.readError;
      m_folderHasEntries = false;
      return true;
    }
    if (!m_inTarget) return true;
    // A folder inside the folder wanted.
    if (m_dirDepth == m_targetDepth + 1) {
      m_folderHasEntries = true;
      m_rows.emplace_back();
      m_rows.back().row.name = i.name;
      m_rows.back().row.folder = true;
      m_rows.back().rank = i.hasAt ? i.at : m_rows.size() - 1;
      m_rowReadError = i.readError;
      m_rowHasEntries = false;
      m_pathEnds.clear();
      m_path.clear();
    } else {
      m_rowHasEntries = true;
      m_rows.back().row.folders = addSat(m_rows.back().row.folders, 1);
    }
    m_folder.row.folders = addSat(m_folder.row.folders, 1);
    if (m_settings.sharedOrder == SharedFileOrder::Path) {
      m_pathEnds.push_back(m_path.size());
      (m_path += '/') += i.name;
    }
    countOwn(i);
    return true;
  }

  bool folderEnds() {
    if (m_inTarget && m_dirDepth == m_targetDepth + 1) {
      // A folder that could not be read at all counts itself, as the engine
      // counts an entry it cannot open.
      if (m_rowReadError && !m_rowHasEntries) m_rows.back().row.folders = addSat(m_rows.back().row.folders, 1);
    }
    if (m_inTarget && m_dirDepth > m_targetDepth && !m_pathEnds.empty()) {
      m_path.resize(m_pathEnds.back());
      m_pathEnds.pop_back();
    }
    if (m_inTarget && m_dirDepth == m_targetDepth) {
      if (m_folderReadError && !m_folderHasEntries) m_folder.row.folders = addSat(m_folder.row.folders, 1);
      m_inTarget = false;
      m_found = true;
    }
    if (!m_devs.empty() && m_devs.back().first == m_dirDepth) m_devs.pop_back();
    if (m_onPath >= m_dirDepth) m_onPath = m_dirDepth - 1;
    --m_dirDepth;
    if (m_dirDepth == 0) ++m_topIndex;
    return true;
  }

  bool allocated() const { return m_settings.counting == DiskCounting::AllocatedBlocks; }

  // A folder's own date and blocks, to its row and the folder's total.
  void countOwn(const Info& i) {
    for (Tally* t : {&m_rows.back(), &m_folder}) {
      t->seeTime(i);
      if (allocated()) t->row.diskBytes = addSat(t->row.diskBytes, i.dsize);
    }
  }

  bool entry() {
    const Info& i = m_info;
    if (!i.hasName) return bad("an entry of the scan has no name");
    if (!validName(i.name)) return bad("a name of the scan is no file name");
    if (!m_inTarget) return true;
    // Folders the scan did not enter (another volume, a kernel file system)
    // are written as entries with a mark.
    const bool folder = i.excluded == "otherfs" || i.excluded == "kernfs" || i.excluded == "frmlnk";
    if (m_dirDepth == m_targetDepth) {
      m_folderHasEntries = true;
      m_rows.emplace_back();
      m_rows.back().row.name = i.name;
      m_rows.back().row.folder = folder;
      m_rows.back().rank = i.hasAt ? i.at : m_rows.size() - 1;
    } else {
      m_rowHasEntries = true;
    }
    Tally& row = m_rows.back();
    if (folder) {
      if (m_dirDepth > m_targetDepth) row.row.folders = addSat(row.row.folders, 1);
      m_folder.row.folders = addSat(m_folder.row.folders, 1);
      countOwn(i);
      return true;
    }
    if (!i.excluded.empty()) return true;  // left out by the scan's own patterns
    if (m_settings.fileCounts && !m_settings.fileCounts(i.name)) return true;
    for (Tally* t : {&row, &m_folder}) {
      t->row.files = addSat(t->row.files, 1);
      t->seeTime(i);
    }
    if (i.notreg) {
      if (allocated())
        for (Tally* t : {&row, &m_folder}) t->row.diskBytes = addSat(t->row.diskBytes, i.dsize);
      return true;
    }
    // A mark of another name without a count of names: a scan that gave the
    // bytes to the name it met first, and none to this one.
    if (i.hlnkc && !i.hasNlink) return true;
    const uint64_t disk = allocated() ? i.dsize : roundUp(i.asize, m_settings.clusterSize);
    if ((i.hlnkc || i.nlink > 1) && i.hasIno) {
      const SharedKey key{i.hasDev ? i.dev : (m_devs.empty() ? 0 : m_devs.back().second), i.ino};
      const size_t rowIndex = m_rows.size() - 1;
      const bool byPath = m_settings.sharedOrder == SharedFileOrder::Path;
      std::string path;
      if (byPath) path = m_path + "/" + i.name;
      if (m_dirDepth == m_targetDepth) path = "/" + i.name;
      auto [it, first] = m_shared.try_emplace(key, Shared{rowIndex, i.asize, disk, {}});
      if (first) {
        if (byPath) it->second.path = std::move(path);
      } else if (byPath ? path < it->second.path : m_rows[rowIndex].rank < m_rows[it->second.row].rank) {
        // Listed earlier than the row that had it: a scan that lists a
        // folder's files before its sub-folders says where each stood.
        if (byPath) it->second.path = std::move(path);
        it->second.row = rowIndex;
      }
      return true;
    }
    for (Tally* t : {&row, &m_folder}) {
      t->row.fileBytes = addSat(t->row.fileBytes, i.asize);
      t->row.diskBytes = addSat(t->row.diskBytes, disk);
    }
    return true;
  }

  const ReadSettings& m_settings;
  std::function<size_t()> m_tell;
  std::vector<std::string> m_wanted;  // components below the root, once the root is known
  bool m_wantedAbsolute = false;

  uint64_t m_events = 0;
  int m_top = 0;            // 1 inside the document's array
  uint64_t m_topIndex = 0;  // its element being read
  uint64_t m_skip = 0;      // depth inside a value passed over
  Object m_object = Object::None;
  enum Key m_key = Key::Unknown;
  Info m_info;

  uint64_t m_dirDepth = 0;   // 1: the root folder
  bool m_expectInfo = false; // the folder's info object comes next
  uint64_t m_onPath = 0;     // the folders open down to this depth lead to the folder wanted
  uint64_t m_targetDepth = 0;
  bool m_inTarget = false, m_found = false;
  bool m_folderReadError = false, m_folderHasEntries = false;
  bool m_rowReadError = false, m_rowHasEntries = false;
  std::vector<std::pair<uint64_t, uint64_t>> m_devs;  // (depth, device) where a folder names its device
  std::string m_path;               // inside a row: its folders' path, "/row/sub"
  std::vector<size_t> m_pathEnds;

  std::vector<Tally> m_rows;
  Tally m_folder;
  std::unordered_map<SharedKey, Shared, SharedKeyHash> m_shared;
};

// Where the scan's bytes come from: the next window of them (nothing at the
// end), and what the stream learns of the parse as it goes.
struct Feed {
  // Points window at the next bytes and gives their number; 0 at the end.
  std::function<size_t(const char*& window)> next;
  // Set at every event of the parse (a name, a number, a bracket).
  bool event = false;
  // Bytes read in whole windows since the window of the last event.
  uint64_t quiet = 0;
  bool tooLong = false;  // the stream ended at a stretch longer than a scan writes
  bool ended = false;
};

// The scan's bytes as the parser reads them, a window at a time. A character
// costs one comparison, as in RapidJSON's own streams: the check against a
// stretch without events is made once a window, and a stream that has seen
// none for kLongestStretch bytes (give or take two windows) ends, as if at
// the end of its text. The parser copies the stream into its own locals
// while it reads a value (copyOptimization), so a copy's place is written
// back when the value ends: what every copy shares lives in the Feed.
class ScanStream {
 public:
  using Ch = char;
  explicit ScanStream(Feed& feed) : m_feed(&feed) { nextWindow(); }
  Ch Peek() const { return *m_cur; }
  Ch Take() {
    const Ch c = *m_cur;
    if (m_cur + 1 < m_end)
      ++m_cur;
    else
      nextWindow();
    return c;
  }
  // The bytes taken; while the parser reads a value with a copy of its own,
  // this copy's place is where that value began.
  size_t Tell() const { return static_cast<size_t>(m_base + static_cast<uint64_t>(m_cur - m_begin)); }
  // Not used by a parse that does not work in place.
  void Put(Ch) {}
  void Flush() {}
  Ch* PutBegin() { return nullptr; }
  size_t PutEnd(Ch*) { return 0; }

  void skipBlanks() {
    for (Ch c = *m_cur; c == ' ' || c == '\n' || c == '\r' || c == '\t'; c = *m_cur) Take();
  }

 private:
  void nextWindow() {
    if (m_feed->ended) return;
    m_base += static_cast<uint64_t>(m_end - m_begin);
    if (m_feed->event)
      m_feed->quiet = 0;
    else
      m_feed->quiet += static_cast<uint64_t>(m_end - m_begin);
    m_feed->event = false;
    const char* window = nullptr;
    size_t n = 0;
    if (m_feed->quiet > kLongestStretch)
      m_feed->tooLong = true;
    else
      n = m_feed->next(window);
    if (n == 0) {
      static const char kEnd = '\0';
      m_feed->ended = true;
      m_begin = m_cur = &kEnd;
      m_end = m_cur + 1;
      return;
    }
    m_begin = m_cur = window;
    m_end = window + n;
  }

  Feed* m_feed;
  const char* m_begin = nullptr;
  const char* m_cur = nullptr;
  const char* m_end = nullptr;
  uint64_t m_base = 0;  // the bytes before the window
};

// The parser skips blanks before every value and name; found by their type
// in place of its own, which copies the stream each time.
inline void SkipWhitespace(ScanStream& s) { s.skipBlanks(); }

}  // namespace
}  // namespace scan

namespace rapidjson {
template <>
struct StreamTraits<scan::ScanStream> {
  enum { copyOptimization = 1 };
};
}  // namespace rapidjson

namespace scan {
namespace {

std::string cutShortOrWhy(const rapidjson::ParseResult& pr, size_t size) {
  if (pr.Offset() >= size) return size == 0 ? "it is empty" : "it is cut short at byte " + std::to_string(size);
  return std::string("it is not JSON: ") + rapidjson::GetParseError_En(pr.Code()) + " (at byte " +
         std::to_string(pr.Offset()) + ")";
}

// The reader's events, each one noted in the feed first.
struct Handler : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler> {
  Reader& r;
  Feed& f;
  Handler(Reader& r, Feed& f) : r(r), f(f) {}
  bool Null() { return f.event = true, r.Null(); }
  bool Bool(bool b) { return f.event = true, r.Bool(b); }
  bool Int(int) { return f.event = true, r.Int(0); }
  bool Uint(unsigned) { return f.event = true, r.Uint(0); }
  bool Int64(int64_t) { return f.event = true, r.Int64(0); }
  bool Uint64(uint64_t) { return f.event = true, r.Uint64(0); }
  bool Double(double) { return f.event = true, r.Double(0); }
  bool RawNumber(const char* s, rapidjson::SizeType n, bool c) { return f.event = true, r.RawNumber(s, n, c); }
  bool String(const char* s, rapidjson::SizeType n, bool c) { return f.event = true, r.String(s, n, c); }
  bool Key(const char* s, rapidjson::SizeType n, bool c) { return f.event = true, r.Key(s, n, c); }
  bool StartObject() { return f.event = true, r.StartObject(); }
  bool EndObject(rapidjson::SizeType n) { return f.event = true, r.EndObject(n); }
  bool StartArray() { return f.event = true, r.StartArray(); }
  bool EndArray(rapidjson::SizeType n) { return f.event = true, r.EndArray(n); }
};

// One read of the scan with one spelling of the folder.
ScanResult readOnce(Feed& feed, size_t size, const std::string& wanted, const ReadSettings& settings,
                    const std::string& fileName, const std::string& folderShown) {
  ScanStream stream(feed);
  Reader r(settings, wanted, [&stream] { return stream.Tell(); });
  Handler handler(r, feed);
  rapidjson::Reader parser;
  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag;
  const rapidjson::ParseResult pr = parser.Parse<kFlags>(stream, handler);

  ScanResult out;
  auto fail = [&](ScanError e, const std::string& message) {
    out = ScanResult{};
    out.error = e;
    out.message = message;
    return out;
  };
  const std::string cannot = "cannot read the scan " + fileName + ": ";
  if (r.error == ScanError::Cancelled) return fail(ScanError::Cancelled, "the reading of the scan " + fileName + " was stopped");
  if (r.error == ScanError::FolderMissing)
    return fail(ScanError::FolderMissing, "the scan " + fileName + " does not contain " + folderShown);
  if (r.error == ScanError::FolderTwice)
    return fail(ScanError::FolderTwice, "the scan " + fileName + " holds " + folderShown + " more than once");
  if (r.error != ScanError::None) return fail(r.error, cannot + r.reason);
  if (feed.tooLong)
    return fail(ScanError::BadValue,
                cannot + "it holds a value longer than any scan writes (at byte " + std::to_string(stream.Tell()) + ")");
  if (pr.IsError()) return fail(ScanError::NotJson, cannot + cutShortOrWhy(pr, size));
  if (!r.done) return fail(ScanError::NotAScan, cannot + "it is not a disk-usage export");
  if (!r.found()) return fail(ScanError::FolderMissing, "the scan " + fileName + " does not contain " + folderShown);
  r.finish();
  out = std::move(r.result);
  return out;
}

// The spellings of the folder to look for: as given, then with its links
// resolved when that differs.
std::vector<std::string> spellings(const std::string& folder) {
  std::vector<std::string> out{folder};
#ifndef _WIN32
  if (char* real = ::realpath(folder.c_str(), nullptr)) {
    bool a = false, b = false;
    if (components(real, a) != components(folder, b) || a != b) out.emplace_back(real);
    std::free(real);
  }
#endif
  return out;
}

// The scan file opened for reading by its UTF-8 name (on Windows through the
// UTF-16 call: the ANSI one cannot name every file).
std::FILE* openScan(const std::string& file) {
#ifdef _WIN32
  std::wstring name(file.size() + 1, L'\0');
  name.resize(static_cast<size_t>(std::max(
      1, ::MultiByteToWideChar(CP_UTF8, 0, file.c_str(), -1, name.data(), static_cast<int>(name.size())))) - 1);
  return ::_wfopen(name.c_str(), L"rb");
#else
  return std::fopen(file.c_str(), "rbe");
#endif
}

// The windows the stream reads: small enough that a stretch is caught soon
// after it passes kLongestStretch, large enough that a read of a file costs
// few calls.
constexpr size_t kWindow = 64 * 1024;

// The scan file open, with its status; nothing, and failure saying why,
// when it cannot be opened or is a folder.
std::FILE* openScanFile(const std::string& file, struct stat& st, ScanResult& failure) {
  std::FILE* fp = openScan(file);
  if (fp && ::fstat(::fileno(fp), &st) == 0 && !S_ISDIR(st.st_mode)) return fp;
  const int why = fp ? (S_ISDIR(st.st_mode) ? EISDIR : errno) : errno;
  if (fp) std::fclose(fp);
  failure = ScanResult{};
  failure.error = ScanError::CannotOpen;
  failure.message = "cannot read the scan " + file + ": " + std::strerror(why);
  return nullptr;
}

}  // namespace

bool scanOpens(const std::string& file, ScanResult& failure) {
  struct stat st;
  std::FILE* fp = openScanFile(file, st, failure);
  if (fp) std::fclose(fp);
  return fp != nullptr;
}

ScanResult readScanText(std::string_view text, const std::string& folder, const ReadSettings& settings,
                        const std::string& fileName) {
  ScanResult result;
  for (const std::string& wanted : spellings(folder)) {
    size_t at = 0;
    Feed feed;
    feed.next = [&](const char*& window) {
      const size_t n = std::min(kWindow, text.size() - at);
      window = text.data() + at;
      at += n;
      return n;
    };
    result = readOnce(feed, text.size(), wanted, settings, fileName, folder);
    if (result.error != ScanError::FolderMissing) break;
  }
  return result;
}

ScanResult readScan(const std::string& file, const std::string& folder, const ReadSettings& settings) {
  ScanResult result;
  for (const std::string& wanted : spellings(folder)) {
    struct stat st;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> fp(openScanFile(file, st, result), &std::fclose);
    if (!fp) return result;
    // The file's own buffer is not wanted: the windows are read straight
    // into this one.
    std::setvbuf(fp.get(), nullptr, _IONBF, 0);
    std::vector<char> buffer(kWindow);
    Feed feed;
    feed.next = [&](const char*& window) {
      window = buffer.data();
      return std::fread(buffer.data(), 1, buffer.size(), fp.get());
    };
    result = readOnce(feed, static_cast<size_t>(st.st_size), wanted, settings, file, folder);
    if (result.error == ScanError::NotJson && std::ferror(fp.get())) {
      result.error = ScanError::CannotOpen;
      result.message = "cannot read the scan " + file + ": " + std::strerror(EIO);
    }
    if (result.error != ScanError::FolderMissing) break;
  }
  return result;
}

}  // namespace scan
