#include "tlr32/volume.h"

#include <fstream>
#include <sstream>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/fs.h"

namespace tlr {

bool queryVolume(const std::string& folder, VolumeFacts& facts) {
  platform::FileDescriptor fd(platform::openDirectory(folder.empty() ? std::string(".") : folder));
  struct statvfs sv;
  if (!fd.valid() || ::fstatvfs(fd.get(), &sv) != 0) return false;
  uint64_t unit = sv.f_frsize ? sv.f_frsize : sv.f_bsize;
  facts.allocationUnit = unit;
  facts.freeBytes = static_cast<uint64_t>(sv.f_bavail) * unit;
  facts.totalBytes = static_cast<uint64_t>(sv.f_blocks) * unit;
  return true;
}

uint32_t sizeFactorFor(uint64_t bytes) {
  uint64_t factor = 1;
  while (bytes / factor > 0x7FFFFFFFULL) factor <<= 1;
  return static_cast<uint32_t>(factor);
}

std::string fileSystemName(dev_t dev) {
  // mountinfo: id parent major:minor root mountpoint options [optional...] - type source super
  std::ifstream in("/proc/self/mountinfo");
  std::string line, found;
  const std::string want = std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, devField;
    fields >> id >> parent >> devField;
    if (devField != want) continue;
    auto sep = line.find(" - ");
    if (sep == std::string::npos) continue;
    std::istringstream rest(line.substr(sep + 3));
    std::string type;
    rest >> type;
    found = type;  // a later mount of the same device stacks on top: it wins
  }
  return found;
}

}  // namespace tlr
