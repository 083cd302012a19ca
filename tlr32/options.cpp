#include "tlr32/options.h"

#include <cctype>
#include <charconv>

#include "platform/registry_store.h"

namespace tlr {
namespace {

std::optional<int32_t> parseInt(const std::string& text) {
  int32_t v = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || p != end || text.empty()) return std::nullopt;
  return v;
}

// "ClusterD" / "DriveD" -> 'D'; 0 when the name is not of that form.
char letterAfter(const std::string& name, const std::string& prefix) {
  if (name.size() != prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0) return 0;
  char c = name.back();
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return (c >= 'A' && c <= 'Z') ? c : 0;
}

bool isPowerOfTwo(int64_t v) { return v > 0 && (v & (v - 1)) == 0; }

uint32_t letterBit(char c) { return 1u << (c - 'A'); }

}  // namespace

void EngineOptions::load() {
  platform::RegistryKey key(kEngineKey);
  *this = EngineOptions{};
  m_storeUnread = key.fileState() == platform::RegistryKey::FileState::Unreadable;
  if (!key.exists()) return;
  for (const char* name : {"MapDrive", "CustomClusters", "FileSpecOn", "AllocatedBlocks", "ReportDepth"})
    if (auto v = key.readInteger(name)) set(name, std::to_string(*v));
  if (auto v = key.readString("FileSpec")) fileSpec = *v;
  for (char c = 'A'; c <= 'Z'; ++c) {
    if (auto v = key.readInteger(std::string("Cluster") + c)) set(std::string("Cluster") + c, std::to_string(*v));
    if (auto v = key.readString(std::string("Drive") + c)) set(std::string("Drive") + c, *v);
  }
  m_droppedDrives = m_droppedClusters = 0;  // what the store says is not taken away
}

bool EngineOptions::save() {
  if (m_storeUnread) return false;
  platform::RegistryKey key(kEngineKey);
  key.writeInteger("MapDrive", mapDrive);
  key.writeInteger("CustomClusters", customClusters);
  key.writeInteger("FileSpecOn", fileSpecOn);
  key.writeString("FileSpec", fileSpec);
  key.writeInteger("AllocatedBlocks", allocatedBlocks);
  key.writeInteger("ReportDepth", reportDepth);
  for (char c = 'A'; c <= 'Z'; ++c) {
    const std::string cl = std::string("Cluster") + c, dr = std::string("Drive") + c;
    if (auto it = clusterSizes.find(c); it != clusterSizes.end())
      key.writeInteger(cl, static_cast<int32_t>(it->second));
    else if (m_droppedClusters & letterBit(c))
      key.writeInteger(cl, 0);
    if (auto it = drives.find(c); it != drives.end())
      key.writeString(dr, it->second);
    else if (m_droppedDrives & letterBit(c))
      key.writeString(dr, "");
  }
  if (!key.save()) return false;
  m_droppedDrives = m_droppedClusters = 0;
  return true;
}

std::optional<int32_t> EngineOptions::get(const std::string& name) const {
  if (name == "MapDrive") return mapDrive;
  if (name == "CustomClusters") return customClusters;
  if (name == "FileSpecOn") return fileSpecOn;
  if (name == "AllocatedBlocks") return allocatedBlocks;
  if (name == "ReportDepth") return reportDepth;
  if (char c = letterAfter(name, "Cluster")) {
    auto it = clusterSizes.find(c);
    return it == clusterSizes.end() ? 0 : static_cast<int32_t>(it->second);
  }
  return std::nullopt;
}

bool EngineOptions::set(const std::string& name, const std::string& value) {
  if (name == "FileSpec") {
    fileSpec = value;
    return true;
  }
  if (char c = letterAfter(name, "Drive")) {
    if (value.empty()) {
      if (drives.erase(c)) m_droppedDrives |= letterBit(c);
    } else if (value.front() == '/') {
      drives[c] = value;
      m_droppedDrives &= ~letterBit(c);
    } else {
      return false;
    }
    return true;
  }
  auto v = parseInt(value);
  if (!v) return false;
  if (name == "MapDrive") {
    if (*v < 0 || *v > 26) return false;
    mapDrive = *v;
  } else if (name == "CustomClusters") {
    customClusters = *v != 0;
  } else if (name == "FileSpecOn") {
    fileSpecOn = *v != 0;
  } else if (name == "AllocatedBlocks") {
    allocatedBlocks = *v != 0;
  } else if (name == "ReportDepth") {
    if (*v < -1) return false;
    reportDepth = *v;
  } else if (char c = letterAfter(name, "Cluster")) {
    // Allocation units are powers of two; 0 removes the drive's size.
    if (*v == 0) {
      if (clusterSizes.erase(c)) m_droppedClusters |= letterBit(c);
    } else if (isPowerOfTwo(*v) && *v >= 512) {
      clusterSizes[c] = static_cast<uint32_t>(*v);
      m_droppedClusters &= ~letterBit(c);
    } else {
      return false;
    }
  } else {
    return false;
  }
  return true;
}

std::optional<std::string> EngineOptions::text(const std::string& name) const {
  if (name == "FileSpec") return fileSpec;
  if (char c = letterAfter(name, "Drive")) {
    auto it = drives.find(c);
    return it == drives.end() ? std::string() : it->second;
  }
  return std::nullopt;
}

std::optional<std::string> EngineOptions::folderOfDrive(char drive) const {
  if (auto it = drives.find(drive); it != drives.end() && !it->second.empty()) return it->second;
#ifdef _WIN32
  return std::string(1, drive) + ":\\";
#else
  return std::nullopt;
#endif
}

char EngineOptions::driveOf(const std::string& path) const {
#ifdef _WIN32
  // "D:\...", "\\?\D:\...": the letter before the first colon.
  const size_t at = path.rfind("\\\\?\\", 0) == 0 ? 4 : 0;
  if (path.size() > at + 1 && path[at + 1] == ':' && std::isalpha(static_cast<unsigned char>(path[at])))
    return static_cast<char>(std::toupper(static_cast<unsigned char>(path[at])));
#endif
  char best = 0;
  size_t bestLen = 0;
  for (const auto& [letter, folder] : drives) {
    std::string prefix = folder;
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    bool under = path.compare(0, prefix.size(), prefix) == 0 &&
                 (prefix == "/" || path.size() == prefix.size() || path[prefix.size()] == '/');
    if (under && (best == 0 || prefix.size() > bestLen)) {
      best = letter;
      bestLen = prefix.size();
    }
  }
  return best;
}

std::optional<uint32_t> EngineOptions::customClusterFor(char drive) const {
  if (!customClusters || drive == 0) return std::nullopt;
  auto it = clusterSizes.find(drive);
  if (it == clusterSizes.end()) return std::nullopt;
  return it->second;
}

}  // namespace tlr
