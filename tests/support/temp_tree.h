#pragma once
// Test folders built in a fresh temporary directory and removed afterwards,
// with helpers for the awkward cases: raw-byte names, links, sparse files,
// FIFOs, unreadable folders and chains deeper than PATH_MAX.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return m_root; }
  std::string path(const std::string& rel) const { return rel.empty() ? m_root : m_root + "/" + rel; }

  void dir(const std::string& rel, unsigned mode = 0755);
  void file(const std::string& rel, uint64_t size, int64_t mtimeSeconds = 1600000000);
  void sparse(const std::string& rel, uint64_t size);
  void symlink(const std::string& target, const std::string& rel);
  void hardlink(const std::string& existingRel, const std::string& rel);
  void fifo(const std::string& rel);
  void setMtime(const std::string& rel, int64_t seconds, long nanoseconds = 0);
  // A chain of nested folders below rel whose full path passes minBytes;
  // returns the chain's deepest folder relative to the root. Built with
  // mkdirat, since no single path that long can be handed to the kernel.
  std::string deepChain(const std::string& rel, size_t minBytes, const std::string& component);
  // Creates a file at the end of a chain (rel may be longer than PATH_MAX).
  void fileAt(const std::string& rel, uint64_t size);

 private:
  std::string m_root;
};

// Runs fn in a child process that has dropped root privileges (to "nobody"),
// returning what the child wrote to its output pipe; exit status in status.
// Without root privileges the child simply runs as the current user.
std::string runUnprivileged(const std::vector<std::string>& argv, int* status = nullptr);

bool runningAsRoot();

// The whole content of a file (empty when it cannot be read).
std::string readFile(const std::string& path);
// Replaces a file's content with text, byte for byte.
void writeFile(const std::string& path, const std::string& text);
// Whether anything, a link included, is at path.
bool pathExists(const std::string& path);

// du's figure in bytes for a folder's entries together (du -c -s -B1 of
// each: a file reached from two of them counts once, at the first by name),
// without the folder itself. With apparent, --apparent-size less the
// folders' own sizes, which are no file bytes: the engine's file bytes.
double duOfEntries(const std::string& folder, bool apparent);

// Folders below rel whose files have several names (hard links): "side",
// two names side by side (hl1, hl2) and a plain file; "across", names in
// several entries and an entry that is one (a/x, b/deeper/y, z; b/own);
// "snapshots", s2 and s3 sharing the files of s1, s3 with one of its own.
// Returns their paths relative to the root.
std::vector<std::string> buildHardLinkFolders(TempTree& t, const std::string& rel);

}  // namespace testsupport
