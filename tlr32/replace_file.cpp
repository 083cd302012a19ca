#include "tlr32/replace_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path.h"

namespace tlr {

bool finalTarget(const std::string& path, std::string& target) {
  target = path;
  // 40 hops, as the kernel allows before ELOOP.
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n < 0) return false;
    link.resize(static_cast<size_t>(n));
    if (!link.empty() && link[0] == platform::kPathDelim)
      target = link;
    else
      target = std::string(platform::folderPart(target)) + link;
  }
  errno = ELOOP;
  return false;
}

}  // namespace tlr
