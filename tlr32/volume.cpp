#include "tlr32/volume.h"

#include <fstream>
#include <sstream>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/fs.h"

namespace tlr {

bool queryVolume(const std::string& folder, VolumeFacts& facts) {
  const std::string& at = folder.empty() ? std::string(".") : folder;
  platform::FileDescriptor fd(platform::openDirectory(at));
  struct statvfs sv;
  // A folder that cannot be read (mode 000) does not open, yet its volume is
  // known by its path: that asks only to reach it.
  if (fd.valid() ? ::fstatvfs(fd.get(), &sv) != 0 : ::statvfs(at.c_str(), &sv) != 0) return false;
  uint64_t unit = sv.f_frsize ? sv.f_frsize : sv.f_bsize;
  facts.allocationUnit = unit;
  facts.freeBytes = static_cast<uint64_t>(sv.f_bavail) * unit;
  facts.totalBytes = static_cast<uint64_t>(sv.f_blocks) * unit;
  return true;
}

std::string mountTypeOf(DeviceId dev, const char* mountTable) {
  // mountinfo: id parent major:minor root mountpoint options [optional...] - type source super
  std::ifstream in(mountTable);
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

const char* fileSystemTypeName(unsigned long type) {
  // The magic numbers of linux/magic.h and of the file systems that keep
  // theirs to themselves (zfs, exfat, ntfs3, bcachefs).
  static constexpr struct {
    unsigned long type;
    const char* name;
  } kNames[] = {
      {0xEF53, "ext2/3/4"},     {0x58465342, "xfs"},       {0x9123683E, "btrfs"},   {0x01021994, "tmpfs"},
      {0x794C7630, "overlay"},  {0x6969, "nfs"},           {0xFF534D42, "cifs"},    {0xFE534D42, "smb3"},
      {0x517B, "smbfs"},        {0x4D44, "vfat"},          {0x2011BAB0, "exfat"},   {0x5346544E, "ntfs"},
      {0xF2F52010, "f2fs"},     {0x2FC12FC1, "zfs"},       {0x65735546, "fuse"},    {0x73717368, "squashfs"},
      {0x9660, "iso9660"},      {0x15013346, "udf"},       {0x858458F6, "ramfs"},   {0x9FA0, "proc"},
      {0x62656572, "sysfs"},    {0x52654973, "reiserfs"},  {0x3153464A, "jfs"},     {0x482B, "hfsplus"},
      {0x3434, "nilfs2"},       {0xCA451A4E, "bcachefs"},  {0xE0F5E1E2, "erofs"},   {0xF15F, "ecryptfs"},
      {0x01021997, "9p"},       {0x00C36400, "ceph"},      {0x01161970, "gfs2"},    {0x7461636F, "ocfs2"},
      {0x786F4256, "vboxsf"},   {0x0187, "autofs"},        {0x63677270, "cgroup2"}, {0x1CD1, "devpts"},
  };
  for (const auto& n : kNames)
    if (n.type == (type & 0xFFFFFFFFUL)) return n.name;
  return nullptr;
}

std::string fileSystemName(DeviceId dev, const std::string& folder, const char* mountTable) {
  std::string name = mountTypeOf(dev, mountTable);
  if (!name.empty()) return name;
  const std::string& at = folder.empty() ? std::string(".") : folder;
  platform::FileDescriptor fd(platform::openDirectory(at));
  struct statfs sf;
  if (fd.valid() ? ::fstatfs(fd.get(), &sf) != 0 : ::statfs(at.c_str(), &sf) != 0) return {};
  const char* known = fileSystemTypeName(static_cast<unsigned long>(sf.f_type));
  return known ? known : std::string();
}

}  // namespace tlr
