#include "tlr32/report.h"

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "platform/fs.h"
#include "scan/change.h"
#include "platform/path.h"
#include "tlr32/folder_access.h"
#include "tlr32/report_file.h"
#include "tlr32/report_formats.h"
#include "tlr32/report_text.h"

namespace tlr {
namespace {

std::string lowerExtension(const std::string& name) {
  const auto slash = name.rfind('/');
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = name.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

// One entry's object: prefix, then name, asize, dsize, ino, mtime, dev when it
// differs from the parent's, the link and type marks, then tail (which may
// close it or add keys).
// sized false: an entry the file specification leaves out, written without
// sizes or link marks, as the format's own exports write an excluded entry,
// so that a reader's totals are the report's.
// position: the entry's place in its folder's listing, written for folders
// and files with several names ("tallorin_at"): the text gives a folder's
// files first and its sub-folders last listed first, and a reader of the
// report needs the listing's order to give a shared file's bytes to the
// entry the window gives them to. -1: not written.
void appendJsonEntry(TextBuffer& j, std::string_view prefix, std::string_view name, const FileStat& st,
                     DeviceId parentDev, bool folder, std::string_view tail, bool sized = true, int64_t position = -1) {
  // The keys and marks below take 105 bytes, the seven numbers at most 140.
  char* p = j.room(prefix.size() + jsonStringRoom(name.size()) + 105 + 7 * kNumberRoom + tail.size());
  p = putText(p, prefix);
  p = putText(p, "{\"name\":");
  p = putJsonString(p, name);
  if (sized) {
    p = putText(p, ",\"asize\":");
    p = putNumber(p, static_cast<uint64_t>(st.st_size));
    p = putText(p, ",\"dsize\":");
    p = putNumber(p, static_cast<uint64_t>(st.st_blocks) * 512);
  }
  p = putText(p, ",\"ino\":");
  p = putNumber(p, static_cast<uint64_t>(st.st_ino));
  // The format's readers take mtime as unsigned: one below zero (a file
  // dated before 1970) made ncdu refuse the whole report ("Invalid
  // (positive) integer"). Such a date is written as 0 here only; the other
  // formats show the real one.
  p = putText(p, ",\"mtime\":");
  p = putNumber(p, std::max<int64_t>(0, static_cast<int64_t>(st.st_mtim.tv_sec)));
  if (st.st_dev != parentDev) {
    p = putText(p, ",\"dev\":");
    p = putNumber(p, static_cast<uint64_t>(st.st_dev));
  }
  if (!folder && !S_ISREG(st.st_mode)) p = putText(p, ",\"notreg\":true");
  if (sized && !folder && S_ISREG(st.st_mode) && st.st_nlink > 1) {
    p = putText(p, ",\"hlnkc\":true,\"nlink\":");
    p = putNumber(p, static_cast<uint64_t>(st.st_nlink));
  }
  if (position >= 0 && (folder || (sized && S_ISREG(st.st_mode) && st.st_nlink > 1))) {
    p = putText(p, ",\"tallorin_at\":");
    p = putNumber(p, position);
  }
  p = putText(p, tail);
  j.done(p);
}

void appendJsonString(TextBuffer& j, std::string_view s) { j.done(putJsonString(j.room(jsonStringRoom(s.size())), s)); }

template <typename T>
void appendNumber(TextBuffer& j, T v) {
  j.done(putNumber(j.room(kNumberRoom), v));
}

struct FileRow {
  std::string name;
  Figures f;
};

struct Node;

// A counted name of a file with several links. Which name the bytes belong
// to is settled after the walk, not by which thread met one first.
struct LinkSeen {
  DeviceId dev;
  FileId ino;
  Node* node;
  std::string name;
  Figures f;
  size_t fileRow;  // in node->files, or SIZE_MAX
};

// One folder of the walk. Owned by its parent; the root by the tree.
struct Node {
  Node* parent = nullptr;
  std::string name;
  int depth = -1;  // 0: an entry of the reported folder; the root is -1
  uint32_t position = 0;  // in the parent's listing
  DeviceId dev = 0;
  bool vanished = false;

  std::mutex mutex;  // guards what follows during the walk
  std::vector<std::unique_ptr<Node>> children;
  Figures own;                 // its own date and blocks, and its counted files
  std::vector<FileRow> files;  // rows of its files, within the report's depth
  TextBuffer head;             // JSON: its entry, and "[" for an open folder
  bool open = false;           // JSON: contents follow, closed by "]"
  std::vector<std::pair<uint32_t, TextBuffer>> runs;  // JSON of its files, by position

  std::atomic<bool> ready{false};  // JSON: complete but for its sub-folders
  Figures total;        // after the walk: own and every sub-folder's
};

// The tree of a report's walk. For JSON it holds each folder's text until it
// is written; for the other formats the figures of every folder, and the rows
// of the entries within the report's depth.
class ReportTree final : public WalkObserver {
 public:
  // json: the JSON text goes to out during the walk.
  ReportTree(const WalkSettings& settings, ReportFile* json, int maxDepth)
      : m_settings(settings), m_json(json != nullptr), m_out(json), m_maxDepth(maxDepth) {}

  Node& root() { return m_root; }

  void* subfolder(void* parentHandle, const char* name, uint32_t position) override {
    Node* parent = static_cast<Node*>(parentHandle);
    auto node = std::make_unique<Node>();
    node->parent = parent;
    node->name = name;
    node->depth = parent->depth + 1;
    node->position = position;
    Node* raw = node.get();
    std::lock_guard lock(parent->mutex);
    parent->children.push_back(std::move(node));
    return raw;
  }

  void folder(void* handle, const FileStat* st, FolderState state) override {
    Node* node = static_cast<Node*>(handle);
    node->vanished = state == FolderState::Vanished;
    if (st) {
      node->dev = st->st_dev;
      node->own.seeTime(st->st_mtim);
      if (m_settings.allocatedBlocks) node->own.diskBytes += static_cast<uint64_t>(st->st_blocks) * 512;
    }
    if (state == FolderState::Unreadable || state == FolderState::Vanished) node->own.unreadableDirs = 1;
    if (m_json && st) {
      const std::string_view tail = state == FolderState::Open               ? "}"
                                    : state == FolderState::Unreadable       ? ",\"read_error\":true}]"
                                    : state == FolderState::PseudoFileSystem ? ",\"excluded\":\"kernfs\"}]"
                                                                             : "}]";
      appendJsonEntry(node->head, ",\n[", node->name, *st, node->parent->dev, true, tail, true, node->position);
      node->head.shrinkToFit();
    }
    node->open = state == FolderState::Open;
    if (!node->open) markReady(node);  // complete as it is
  }

  struct Run {
    Node* node;
    uint32_t first;
    TextBuffer json;
    Figures own;
    std::vector<FileRow> files;
    std::vector<LinkSeen> links;
  };

  void* beginRun(void* folder, uint32_t first) override {
    auto* run = new Run{static_cast<Node*>(folder), first, {}, {}, {}, {}};
    // Most folders' files take under 1 KiB of JSON: one allocation for them.
    if (m_json) run->json.room(1024);
    return run;
  }

  void entry(void* runHandle, const char* name, const FileStat& st, bool counted, uint32_t position) override {
    Run& run = *static_cast<Run*>(runHandle);
    if (m_json) {
      appendJsonEntry(run.json, ",\n", name, st, run.node->dev, false, counted ? "}" : ",\"excluded\":\"pattern\"}", counted,
                      position);
      return;
    }
    if (!counted) return;
    Figures f;
    WorkerPool::countFile(st, m_settings, f);
    const bool row = m_maxDepth < 0 || run.node->depth + 1 <= m_maxDepth;
    if (S_ISREG(st.st_mode) && st.st_nlink > 1) {
      run.links.push_back({st.st_dev, st.st_ino, run.node, name, f, row ? run.files.size() : SIZE_MAX});
      if (row) run.files.push_back({name, {}});
      return;
    }
    run.own.add(f);
    if (row) run.files.push_back({name, f});
  }

  void endRun(void* runHandle) override {
    std::unique_ptr<Run> run(static_cast<Run*>(runHandle));
    Node& node = *run->node;
    {
      std::lock_guard lock(node.mutex);
      if (m_json) {
        run->json.shrinkToFit();
        node.runs.emplace_back(run->first, std::move(run->json));
      }
      node.own.add(run->own);
      const size_t offset = node.files.size();
      for (LinkSeen& l : run->links)
        if (l.fileRow != SIZE_MAX) l.fileRow += offset;
      std::move(run->files.begin(), run->files.end(), std::back_inserter(node.files));
    }
    if (!run->links.empty()) {
      std::lock_guard lock(m_linksMutex);
      std::move(run->links.begin(), run->links.end(), std::back_inserter(m_links));
    }
  }

  void folderPartlyUnreadable(void* handle) override {
    Node* node = static_cast<Node*>(handle);
    std::lock_guard lock(node->mutex);
    node->own.unreadableDirs = 1;
    // Its entry ends "}" and is not written yet (the folder is not ready):
    // the mark goes in before that brace.
    if (m_json && !node->head.empty()) {
      char* end = node->head.room(0);
      node->head.done(end - 1);
      node->head.append(",\"read_error\":true}");
    }
  }

  void folderListed(void* folder) override { markReady(static_cast<Node*>(folder)); }

  // After the walk: writes what is left of the JSON (nothing, unless the
  // last folder to be listed was not the last in order).
  void finishJson() {
    std::lock_guard lock(m_writeMutex);
    writeReadyJson();
  }

  // After the walk: settles the names of files with several links and adds
  // up every folder. Returns the root's figures.
  const Figures& settle() {
    // A file with several names counts at the first of them by path (bytes
    // compared), so its row does not depend on which thread met it first.
    std::vector<std::pair<std::string, LinkSeen*>> keyed;
    keyed.reserve(m_links.size());
    for (LinkSeen& l : m_links) keyed.emplace_back(pathOf(l.node) + "/" + l.name, &l);
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
      return std::tie(a.second->dev, a.second->ino, a.first) < std::tie(b.second->dev, b.second->ino, b.first);
    });
    for (size_t i = 0; i < keyed.size(); ++i) {
      const LinkSeen& l = *keyed[i].second;
      if (i > 0 && keyed[i - 1].second->dev == l.dev && keyed[i - 1].second->ino == l.ino) {
        // Another name of bytes counted already: a file all the same, with
        // its date, but no bytes.
        Figures other;
        other.files = 1;
        other.seeTime(l.f.newest);
        l.node->own.add(other);
        if (l.fileRow != SIZE_MAX) l.node->files[l.fileRow].f = other;
        continue;
      }
      l.node->own.add(l.f);
      if (l.fileRow != SIZE_MAX) l.node->files[l.fileRow].f = l.f;
    }
    // Totals bottom-up, without recursion: trees may be deeper than a stack.
    std::vector<std::pair<Node*, size_t>> stack{{&m_root, 0}};
    while (!stack.empty()) {
      auto& [node, next] = stack.back();
      if (next == 0) node->total = node->own;
      if (next < node->children.size()) {
        stack.emplace_back(node->children[next++].get(), 0);
        continue;
      }
      if (node->parent) {
        ++node->parent->total.dirs;
        node->parent->total.add(node->total);
      }
      stack.pop_back();
    }
    return m_root.total;
  }

  // The rows within the report's depth: largest first (disk bytes, then
  // name), each folder's rows right under it.
  std::vector<ReportRow> rows() const {
    struct Item {
      const std::string* name;
      const Figures* f;
      const Node* folder;  // nullptr for a file
    };
    struct Level {
      std::vector<Item> items;
      size_t next;
      std::string prefix;
    };
    auto level = [](const Node& node, std::string prefix) {
      Level l{{}, 0, std::move(prefix)};
      for (const auto& child : node.children)
        if (!child->vanished) l.items.push_back({&child->name, &child->total, child.get()});
      for (const FileRow& file : node.files) l.items.push_back({&file.name, &file.f, nullptr});
      std::sort(l.items.begin(), l.items.end(), [](const Item& a, const Item& b) {
        if (a.f->diskBytes != b.f->diskBytes) return a.f->diskBytes > b.f->diskBytes;
        return *a.name < *b.name;
      });
      return l;
    };
    std::vector<ReportRow> out;
    std::vector<Level> stack;
    stack.push_back(level(m_root, ""));
    while (!stack.empty()) {
      Level& top = stack.back();
      if (top.next == top.items.size()) {
        stack.pop_back();
        continue;
      }
      const Item& item = top.items[top.next++];
      ReportRow row;
      row.path = top.prefix + *item.name;
      row.nameAt = top.prefix.size();
      row.f = *item.f;
      row.folder = item.folder != nullptr;
      row.depth = static_cast<int>(stack.size()) - 1;
      out.push_back(row);
      if (item.folder && (m_maxDepth < 0 || row.depth < m_maxDepth))
        stack.push_back(level(*item.folder, row.path + "/"));  // invalidates top
    }
    return out;
  }

 private:
  // A folder's own JSON is complete: whatever is ready in the report's order
  // is written now, by this walker. A walker that finds another writing
  // leaves it a request, which that one takes before it stops; so text never
  // waits for a folder that is already complete. Written by the walkers, not
  // a thread of its own: on two cores a third thread that slept and woke for
  // every folder cost more than the writing (1,600 wake-ups for /usr), and
  // the texts are freed by the threads that allocate them.
  void markReady(Node* node) {
    if (!m_json) return;
    node->ready.store(true, std::memory_order_release);
    m_writeRequests.fetch_add(1, std::memory_order_acq_rel);
    for (;;) {
      if (!m_writeMutex.try_lock()) return;  // the writer sees the request
      const uint64_t seen = m_writeRequests.load(std::memory_order_acquire);
      writeReadyJson();
      m_writeMutex.unlock();
      if (m_writeRequests.load(std::memory_order_acquire) == seen) return;
    }
  }

  // The JSON of the whole tree in its order, as far as it is complete: a
  // folder's entry and its files in listing order, then its sub-folders, last
  // listed first, then the "]" closing it. The walk takes the sub-folders it
  // finds last first, so the text follows it closely and little waits in
  // memory. Under m_writeMutex.
  void writeReadyJson() {
    auto enter = [&](Node* node) {
      m_out->write(node->head.view());
      node->head.release();
      if (!node->open) return;
      std::sort(node->runs.begin(), node->runs.end(),
                [](const auto& a, const auto& b) { return a.first < b.first; });
      for (auto& run : node->runs) m_out->write(run.second.view());
      decltype(node->runs)().swap(node->runs);
      std::sort(node->children.begin(), node->children.end(),
                [](const auto& a, const auto& b) { return a->position > b->position; });
      m_stack.push_back({node, 0});
    };
    if (!m_started) {
      if (!m_root.ready.load(std::memory_order_acquire)) return;
      m_started = true;
      enter(&m_root);
    }
    while (!m_stack.empty()) {
      Frame& top = m_stack.back();
      if (top.next < top.node->children.size()) {
        Node* child = top.node->children[top.next].get();
        if (!child->ready.load(std::memory_order_acquire)) return;
        ++top.next;
        enter(child);  // invalidates top
        continue;
      }
      m_out->write("]");
      // Written and listed to its last folder: the walk no longer touches
      // anything below, so its memory goes now.
      top.node->children.clear();
      m_stack.pop_back();
    }
  }

  static std::string pathOf(const Node* node) {
    std::vector<const std::string*> parts;
    for (; node && node->parent; node = node->parent) parts.push_back(&node->name);
    std::string path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) (path += '/') += **it;
    return path;
  }

  const WalkSettings& m_settings;
  const bool m_json;
  ReportFile* const m_out;  // JSON only; not owning
  const int m_maxDepth;
  Node m_root;

  std::mutex m_linksMutex;
  std::vector<LinkSeen> m_links;

  // The JSON written so far: the folders entered and not yet closed, each
  // with its next sub-folder to enter.
  struct Frame {
    Node* node;
    size_t next;
  };
  std::mutex m_writeMutex;  // guards what follows, and the writes to m_out
  std::vector<Frame> m_stack;
  bool m_started = false;   // the root is entered
  std::atomic<uint64_t> m_writeRequests{0};
};

TextBuffer jsonHeader(const std::string& folder, const ReportOptions& options) {
  TextBuffer json;
  json.append("[1,2,{\"progname\":\"tallorin\",\"progver\":");
  appendJsonString(json, options.programVersion);
  json.append(",\"timestamp\":");
  appendNumber(json, static_cast<int64_t>(::time(nullptr)));
  // What the report was made with; the importing tools pass over keys they do not know.
  json.append(",\"tallorin_folder\":");
  appendJsonString(json, folder);
  json.append(",\"tallorin_target_drive\":");
  appendJsonString(json, options.targetDrive);
  json.append(",\"tallorin_cluster_size\":");
  appendNumber(json, options.clusterSize);
  json.append(",\"tallorin_file_specification\":");
  appendJsonString(json, options.fileSpec);
  json.append("}");
  return json;
}

}  // namespace

ReportFormat reportFormatFor(const std::string& fileName) {
  const std::string ext = lowerExtension(fileName);
  if (ext == "csv") return ReportFormat::Csv;
  if (ext == "json") return ReportFormat::Json;
  if (ext == "html" || ext == "htm") return ReportFormat::Html;
  return ReportFormat::Text;
}

std::optional<ReportFormat> reportFormatNamed(const std::string& name) {
  if (name == "csv") return ReportFormat::Csv;
  if (name == "json") return ReportFormat::Json;
  if (name == "html") return ReportFormat::Html;
  if (name == "text") return ReportFormat::Text;
  return std::nullopt;
}

namespace {

// Each entry's change since the scan, the scan's entries that are gone
// (with their figures then), in the order of growth.
void compareRows(std::vector<ReportRow>& rows, const scan::ScanResult& before) {
  scan::ChangeMatch match(before.baseline);
  for (ReportRow& r : rows) {
    const scan::RowChange c = match.match(r.path, r.f.diskBytes);
    r.change = c.kind == scan::RowChange::Kind::New ? ReportRow::Change::New : ReportRow::Change::Changed;
    r.diskChange = c.diskChange;
  }
  for (const scan::BaselineRow& g : match.gone()) {
    ReportRow r;
    r.path = g.name;
    r.folder = g.folder;
    r.f.diskBytes = g.diskBytes;
    r.f.fileBytes = g.fileBytes;
    r.f.dirs = g.folders;
    r.f.files = g.files;
    if (g.modified != 0) r.f.newest = {static_cast<time_t>(g.modified), 0};
    r.change = ReportRow::Change::Gone;
    r.diskChange = scan::byteChange(0, g.diskBytes);
    rows.push_back(std::move(r));
  }
  orderByChange(rows);
}

// Walks the folder and writes the report through out, which open() readies
// (for JSON before the walk, for the others after it). False when the folder
// cannot be read or open() fails; error then says why.
template <typename Open>
bool composeReport(WorkerPool& pool, const std::string& folderGiven, ReportFormat format, ReportFile& out,
                   const Open& open, const WalkSettings& settings, const ReportOptions& options, Figures& total,
                   std::string& error) {
  const std::string folder = platform::withoutTrailingDelim(folderGiven);
  const bool json = format == ReportFormat::Json;
  FileStat st;
  FolderHandle handle;
  const bool opened = openFolder(folder, handle);
  if (!opened || !lookAtFolder(handle, st)) {
    error = "cannot read " + folder + ": " + std::strerror(errno);
    if (opened) closeFolder(handle);
    return false;
  }
  // JSON goes out while the walk goes on; the other formats, in their order,
  // only once it is done.
  if (json && !open()) {
    closeFolder(handle);
    return false;
  }
  ReportHeader header;
  ::clock_gettime(CLOCK_REALTIME, &header.written);

  // Compared with a saved scan, the rows are the folder's entries.
  const bool compared = !json && options.compare;
  ReportTree tree(settings, json ? &out : nullptr, json || compared ? 0 : options.depth);
  Node& root = tree.root();
  root.dev = st.st_dev;
  root.open = true;
  root.own.seeTime(st.st_mtim);
  if (settings.allocatedBlocks) root.own.diskBytes += static_cast<uint64_t>(st.st_blocks) * 512;
  total = root.own;

  if (json) {
    out.write(jsonHeader(folder, options).view());
    // The root carries its full path, and its device, as ncdu's export
    // does; written once the root is listed, so that it can say the root
    // was read in part.
    appendJsonEntry(root.head, ",\n[", folder, st, st.st_dev + 1, true, "}");
  }
  if (isPseudoFileSystem(handle)) {
    closeFolder(handle);
    tree.folderListed(&root);  // nothing below it is walked
  } else {
    pool.walk(std::move(handle), st.st_dev, settings, total, &tree, &root);
  }
  if (json) {
    tree.finishJson();
    out.write("]\n");
    return true;
  }

  const scan::ScanResult* before = nullptr;
  if (compared) {
    before = &options.compare->result();
    if (!before->ok()) {
      error = before->message;
      return false;
    }
  }
  if (!open()) return false;
  const Figures& sum = tree.settle();
  std::vector<ReportRow> rows = tree.rows();
  if (compared) compareRows(rows, *before);
  header.folder = folder;
  header.targetDrive = options.targetDrive;
  header.clusterSize = options.clusterSize;
  header.customCluster = options.customCluster;
  header.allocatedBlocks = settings.allocatedBlocks;
  header.fileSpec = options.fileSpec;
  header.depth = compared ? 0 : options.depth;
  if (compared) {
    header.compared = true;
    header.comparedWith = options.compare->file();
    header.comparedAt = before->timestamp;
    header.totalChange = scan::byteChange(sum.diskBytes, before->folder.diskBytes);
  }
  switch (format) {
    case ReportFormat::Csv: writeCsv(out, header, rows, sum); break;
    case ReportFormat::Html: writeHtml(out, header, rows, sum); break;
    default: writeText(out, header, rows, sum); break;
  }
  return true;
}

}  // namespace

bool writeReport(WorkerPool& pool, const std::string& folder, const std::string& file, const WalkSettings& settings,
                 const ReportOptions& options, Figures& total, std::string& error, int* fileError) {
  ReportFile out;
  std::string why;
  bool opened = true;
  auto open = [&] { return opened = out.open(file, why); };
  auto failed = [&] {
    error = "cannot write " + file + ": " + why;
    if (fileError) *fileError = out.errorCode();
    return false;
  };
  if (!composeReport(pool, folder, reportFormatFor(file), out, open, settings, options, total, error))
    return opened ? false : failed();
  if (!out.commit(why)) return failed();
  return true;
}

bool writeReportTo(WorkerPool& pool, int fd, ReportFormat format, const std::string& folder,
                   const WalkSettings& settings, const ReportOptions& options, Figures& total, std::string& error) {
  ReportFile out;
  auto open = [&] {
    out.attach(fd);
    return true;
  };
  if (!composeReport(pool, folder, format, out, open, settings, options, total, error)) return false;
  std::string why;
  if (!out.commit(why)) {
    error = "cannot write descriptor " + std::to_string(fd) + ": " + why;
    return false;
  }
  return true;
}

}  // namespace tlr
