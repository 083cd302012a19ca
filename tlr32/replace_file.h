#pragma once
// A file written in full beside the file it replaces and renamed onto it only
// when complete, so a reader never sees half a file and a failure leaves the
// old one as it was. What a name points to is what gets replaced: a symbolic
// link is followed to the file it ends at and stays a link; the replaced
// file keeps its permission bits (and its owner where we may set it).
#include <string>

namespace tlr {

class ReplacingFile {
 public:
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();  // removes a temporary file that was not committed

  // Makes the temporary file beside the file that path finally names. False
  // with the reason (errno and its text) when it cannot: a folder of that
  // name, a folder that is missing or closed to us, a loop of links.
  bool open(const std::string& path);
  int fd() const { return m_fd; }
  // Writes all of data; false (with the reason) when the disk refuses.
  bool write(const char* data, size_t size);
  // Flushes, gives the temporary file the replaced file's mode (a new file
  // gets 0644) and renames it onto the target.
  bool commit();

  const std::string& target() const { return m_target; }
  int errorCode() const { return m_errno; }
  std::string errorText() const;

 private:
  bool fail(int err);

  std::string m_target, m_temp;
  int m_fd = -1;
  int m_errno = 0;
};

// The file a path finally names once its symbolic links are followed (the
// path itself when it is no link; the end of a dangling link when the file
// is missing). False with errno ELOOP after 40 links.
bool finalTarget(const std::string& path, std::string& target);

}  // namespace tlr
