// Facts about a volume on Windows: its cluster, space and file-system name
// from the volume that holds the folder (a mounted folder's own volume).
#include <vector>

#include "tlr32/volume.h"
#include "tlr32/win32_files.h"

namespace tlr {
namespace {

// The root of the volume that holds folder ("\\?\C:\", or a mounted folder).
std::wstring volumeRootOf(const std::string& folder) {
  const std::wstring full = fullLongPath(folder);
  if (full.empty()) return {};
  std::vector<wchar_t> root(full.size() + 2);
  if (!::GetVolumePathNameW(full.c_str(), root.data(), static_cast<DWORD>(root.size()))) return {};
  std::wstring out = root.data();
  if (out.empty() || out.back() != L'\\') out += L'\\';
  return out;
}

}  // namespace

bool queryVolume(const std::string& folder, VolumeFacts& facts) {
  const std::wstring root = volumeRootOf(folder);
  if (root.empty()) return false;
  ULARGE_INTEGER available{}, total{}, free{};
  if (!::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) return false;
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  facts.allocationUnit = ::GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)
                             ? static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector
                             : 0;
  facts.freeBytes = available.QuadPart;
  facts.totalBytes = total.QuadPart;
  return true;
}

std::string fileSystemName(DeviceId, const std::string& folder, const char*) {
  const std::wstring root = volumeRootOf(folder);
  wchar_t name[MAX_PATH + 1] = {};
  if (root.empty() || !::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1))
    return {};
  return asUtf8(name, wcslen(name));
}

}  // namespace tlr
