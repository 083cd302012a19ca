#pragma once
// Facts about the volume a folder lies on: allocation unit, space, and the
// file-system type from the mount table.
#include <cstdint>
#include <string>
#include "tlr32/file_facts.h"

namespace tlr {

struct VolumeFacts {
  uint64_t allocationUnit = 0;  // 0: unknown
  uint64_t freeBytes = 0;       // available to this user
  uint64_t totalBytes = 0;
};

// statvfs of a folder of any path length. False when it cannot be reached.
bool queryVolume(const std::string& folder, VolumeFacts& facts);

// The smallest power of two that brings bytes into a signed 32-bit figure.
inline uint32_t sizeFactorFor(uint64_t bytes) {
  uint64_t factor = 1;
  while (bytes / factor > 0x7FFFFFFFULL) factor <<= 1;
  return static_cast<uint32_t>(factor);
}

// The file-system name of the volume that holds folder (on device dev):
// the type of its mount in the mount table ("ext4", "btrfs", "tmpfs"...);
// where the table has no entry for the device (a chroot whose root is no
// mount of its own, some containers), the name of statfs's type number;
// empty when neither is known.
std::string fileSystemName(DeviceId dev, const std::string& folder,
                           const char* mountTable = "/proc/self/mountinfo");

// The type of the mount of device dev in a mountinfo table; empty when absent.
std::string mountTypeOf(DeviceId dev, const char* mountTable);
// The name of a statfs type number; nullptr for one we do not know. The ext
// family shares one number, so it reads "ext2/3/4".
const char* fileSystemTypeName(unsigned long type);

}  // namespace tlr
