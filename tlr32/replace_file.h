#pragma once
// Where a report named by a path goes. A file is replaced whole; what is not
// a file is written to as it is: a descriptor the name stands for
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N, any link that passes through
// /proc/PID/fd/), a device, a FIFO or a socket. Replacing any of those would
// swap a new file in under the name (/dev/null replaced as root; a shell's
// `>> log` redirection losing the log) instead of writing where the name
// leads. Shared by the engine's report file and the command-line program,
// which decides from it whether a format of its own choosing may be given.
#include <string>

namespace tlr {

struct OutputPlace {
  enum class Kind {
    Replace,        // a file (or nothing yet) at path, links followed: replaced whole
    OwnDescriptor,  // this process's open descriptor fd: written from its position
    Direct,         // path opened and written to: never truncated, never replaced
  };
  Kind kind = Kind::Replace;
  std::string path;
  int fd = -1;
};

// The place a report named by path goes. False with errno: ELOOP after 40
// links, EBADF for a descriptor of this process that is not open.
bool outputPlace(const std::string& path, OutputPlace& place);

// Opens a Direct place for writing, appending: a file reached through
// another process's descriptor keeps what it holds. -1 with errno.
int openDirect(const std::string& path);

}  // namespace tlr
