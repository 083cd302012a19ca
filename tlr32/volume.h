#pragma once
// Facts about the volume a folder lies on: allocation unit, space, and the
// file-system type from the mount table.
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace tlr {

struct VolumeFacts {
  uint64_t allocationUnit = 0;  // 0: unknown
  uint64_t freeBytes = 0;       // available to this user
  uint64_t totalBytes = 0;
};

// statvfs of a folder of any path length. False when it cannot be reached.
bool queryVolume(const std::string& folder, VolumeFacts& facts);

// The smallest power of two that brings bytes into a signed 32-bit figure.
uint32_t sizeFactorFor(uint64_t bytes);

// The type of the mount that holds device dev ("ext4", "btrfs", "tmpfs"...),
// from /proc/self/mountinfo; empty when not found.
std::string fileSystemName(dev_t dev);

}  // namespace tlr
