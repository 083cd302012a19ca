#include "tlr32/engine.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/fs.h"
#include "platform/path.h"
#include "tlr32/folder_access.h"
#include "tlr32/progress.h"
#include "tlr32/report.h"
#include "tlr32/tlr32.h"

namespace tlr {
namespace {

int32_t clampToInt32(uint64_t v) { return v > 0x7FFFFFFFULL ? 0x7FFFFFFF : static_cast<int32_t>(v); }

int envNumber(const char* name, int lo, int hi, int fallback) {
  if (const char* env = std::getenv(name)) {
    const int n = std::atoi(env);
    if (n >= lo && n <= hi) return n;
  }
  return fallback;
}

// Walkers at once while the tree is in the cache, the caller included. On the
// 2-core machines we measure, two walkers in all gave the best wall time; more
// only add contention on the task stack (8 lost 15 % on a warm /usr).
unsigned cpuWalkers() {
  const unsigned hw = std::max(2u, std::min(8u, std::thread::hardware_concurrency()));
  return static_cast<unsigned>(envNumber("TLR32_THREADS", 1, 64, static_cast<int>(hw)));
}

// Walkers at once while the walk waits on the device. A cold walk spends its
// time in the first getdents64 of each folder, a directory block read from
// the disk (60 to 130 us each here); a walker waiting on it uses no CPU, so
// more requests in flight than cores keep the device busy. Measured on a cold
// /usr (17,000 folders, caches dropped before each run) with a minimal walk:
// 1.38 s with 2 walkers, 0.80 s with 8, 0.72 s with 32. Beyond 32 the CPU is
// the limit, not the device: a cold walk costs the kernel 1.4 to 1.6 s of
// system time on /usr (looking up each name in a directory block, reading
// and setting up its inode, building the hashed listing of each folder; du
// spends the same 1.4 s), so on 2 cores it cannot take less than about
// 0.75 s, and with 32 walkers both cores are 80 to 85 % busy (0.87 to 0.99 s
// at real-time priority on a busy machine, du 2.05 s). 64 walkers, files of
// large folders stat'ed by several walkers in inode order, and sub-folders
// handed out before a chunk's files measured the same or up to 8 % slower
// (medians of 7, side by side), since the device (60,000 reads a second at
// 32 in flight) is not what the walk waits for.
unsigned ioWalkers(unsigned cpu) {
  return std::max(cpu, static_cast<unsigned>(envNumber("TLR32_IO_THREADS", 1, 256, 32)));
}

}  // namespace

Engine::Engine() = default;
Engine::~Engine() = default;

bool Engine::init(const char* helpFile) {
  m_helpFile = helpFile ? helpFile : "";
  m_options.load();
  m_fileSpec = FileSpec(m_options.fileSpec);
  return true;
}

uint64_t Engine::ownAllocationUnit(DeviceId dev, const std::string& folder) {
  if (auto it = m_unitCache.find(dev); it != m_unitCache.end()) return it->second;
  VolumeFacts facts;
  if (!queryVolume(folder, facts)) return 0;  // not cached: may be reachable later
  m_unitCache.emplace(dev, facts.allocationUnit);
  return facts.allocationUnit;
}

int32_t Engine::calcUsage(const char* path, const char* reportFile) {
  ReportTarget report;
  report.file = reportFile && *reportFile ? reportFile : nullptr;
  return compute(path, report);
}

int32_t Engine::calcUsageIn(int folderFd, const char* path) {
  if (folderFd < 0) {
    m_figures = Figures{};
    m_lastError = "cannot read " + std::string(path ? path : "") + ": " + std::strerror(EBADF);
    return TLR_ERR_NO_PATH;
  }
  return compute(path, ReportTarget{}, folderFd);
}

int32_t Engine::calcUsageToFd(const char* folder, int fd, const char* formatName) {
  const std::optional<ReportFormat> format = reportFormatNamed(formatName ? formatName : "");
  if (fd < 0 || !format) {
    m_figures = Figures{};
    m_lastError = "cannot write a report in the format \"" + std::string(formatName ? formatName : "") + "\"";
    return TLR_ERR_REPORT;
  }
  ReportTarget report;
  report.fd = fd;
  report.format = static_cast<int>(*format);
  return compute(folder, report);
}

bool Engine::beginBatch() {
  m_batch = std::make_unique<SeenFiles>();
  m_batchFolder = FolderMemo{};
  return true;
}

bool Engine::endBatch() {
  m_batch.reset();
  m_batchFolder = FolderMemo{};
  return true;
}

int32_t Engine::compute(const char* cpath, const ReportTarget& report, int folderFd) {
  m_lastError.clear();
  progress().reset();
  m_figures = Figures{};
  m_pseudoFileSystem = false;
  m_reportError = 0;
  m_volume.reset();
  m_fsName.clear();
  m_customCluster = false;
  m_clusterSize = 0;
  m_volumeDevKnown = false;

  // Buffers kept between calls: a refresh sizes one entry after another, and
  // allocating for each path cost a tenth of a file's computation.
  m_path.assign(cpath ? cpath : "");
  const std::string& path = m_path;
  // An entry of a folder the caller holds open is looked up there by its
  // name: a refresh sizes every entry of the folder in turn, and walking the
  // whole path again for each took a tenth of the engine's time for a
  // folder of 100,000 files.
  const size_t nameAt = nameOffset(path);
  const char* name = folderFd >= 0 && nameAt > 0 && nameAt < path.size() ? path.c_str() + nameAt : nullptr;
  FileStat st;
  // The entries of a batch are one folder's: what is known of it is kept.
  if (name ? !lookAtIn(folderFd, name, path, st, m_batch ? &m_batchFolder : nullptr) : !lookAt(path, st, false)) {
    m_lastError = "cannot read " + path + ": " + std::strerror(errno);
    return TLR_ERR_NO_PATH;
  }
  const bool isDir = S_ISDIR(st.st_mode);
  std::string& folder = m_folder;
  if (isDir)
    folder.assign(path);
  else
    folder.assign(path, 0, nameAt);
  if (folder.empty()) folder.assign(".");

  // The volume on which disk bytes are reckoned: the target drive's, else the
  // path's own. A custom cluster size of that drive replaces its own unit.
  if (m_options.mapDrive > 0) {
    char letter = static_cast<char>('A' + m_options.mapDrive - 1);
    const std::optional<std::string> driveFolder = m_options.folderOfDrive(letter);
    VolumeFacts target;
    if (!driveFolder || !queryVolume(*driveFolder, target)) {
      m_lastError = std::string("cannot reach the target drive ") + letter + ":" +
                    (!driveFolder ? std::string(", which stands for no folder") : " (" + *driveFolder + ")");
      return TLR_ERR_TARGET;
    }
    m_volume = target;
    m_volumeFolder = *driveFolder;
    FileStat tst;
    if (lookAt(*driveFolder, tst, true)) {
      m_volumeDev = tst.st_dev;
      m_volumeDevKnown = true;
    }
    auto custom = m_options.customClusterFor(letter);
    m_customCluster = custom.has_value();
    m_clusterSize = custom ? *custom : target.allocationUnit;
  } else {
    m_volumeFolder = folder;
    m_volumeDev = st.st_dev;
    m_volumeDevKnown = true;
    // Which drive a path lies on matters only for custom cluster sizes.
    auto custom = m_options.customClusters ? m_options.customClusterFor(m_options.driveOf(path)) : std::nullopt;
    m_customCluster = custom.has_value();
    m_clusterSize = custom ? *custom : ownAllocationUnit(st.st_dev, folder);
  }

  WalkSettings settings;
  settings.clusterSize = m_clusterSize;
  settings.allocatedBlocks = m_options.allocatedBlocks;
  settings.fileSpec = m_options.fileSpecOn ? &m_fileSpec : nullptr;

  if (report.file || report.fd >= 0) {
    // The report's own walk gives the figures as well: one walk, not two.
    if (!isDir) {  // a report is of a folder
      m_lastError = "cannot read " + path + ": " + std::strerror(ENOTDIR);
      return TLR_ERR_REPORT;
    }
    ReportOptions ro;
    ro.depth = m_options.reportDepth;
    ro.clusterSize = m_clusterSize;
    ro.customCluster = m_customCluster;
    ro.fileSpec = m_options.fileSpecOn ? m_options.fileSpec : "off";
    ro.programVersion = TLR32_VERSION;
    // The report's walk settles this too; asked here, once a report, so
    // that the walk's code stays as it is.
    if (FolderHandle folder; openFolder(path, folder)) {
      m_pseudoFileSystem = isPseudoFileSystem(folder);
      closeFolder(folder);
    }
    // A saved scan to compare with, read on a thread of its own while the
    // folder is walked. One that cannot be opened fails the report without
    // walking; one that cannot be read fails it after the walk.
    const ReportFormat format = report.file ? reportFormatFor(report.file) : static_cast<ReportFormat>(report.format);
    std::optional<scan::ScanReadAhead> before;
    if (!m_compareScan.empty() && format != ReportFormat::Json) {
      scan::ReadSettings rs;
      rs.counting = settings.allocatedBlocks ? scan::DiskCounting::AllocatedBlocks : scan::DiskCounting::ClusterRounded;
      rs.clusterSize = m_clusterSize;
      rs.sharedOrder = scan::SharedFileOrder::Path;  // as the report counts
      // The walkers match names against the same file patterns meanwhile:
      // matching only reads it.
      if (settings.fileSpec)
        rs.fileCounts = [spec = settings.fileSpec](std::string_view n) { return spec->matches(std::string(n).c_str()); };
      before.emplace(m_compareScan, platform::withoutTrailingDelim(path), std::move(rs));
      if (before->failedToOpen()) {
        m_lastError = before->result().message;
        return TLR_ERR_REPORT;
      }
      ro.compare = &*before;
    }
    if (m_options.mapDrive > 0) {
      const char letter = static_cast<char>('A' + m_options.mapDrive - 1);
      ro.targetDrive = std::string(1, letter) + ": (" + m_volumeFolder + ")";
    } else {
      ro.targetDrive = "none";
    }
    const bool written = report.file ? writeReport(pool(), path, report.file, settings, ro, m_figures, m_lastError, &m_reportError)
                                     : writeReportTo(pool(), report.fd, static_cast<ReportFormat>(report.format), path,
                                                     settings, ro, m_figures, m_lastError);
    if (!written) {
      m_figures = Figures{};
      return TLR_ERR_REPORT;
    }
    return 0;
  }

  settings.seenFiles = m_batch.get();
  if (!isDir) {
    if (settings.fileSpec && !settings.fileSpec->matches(path.c_str() + nameAt)) return 0;
    if (m_batch && S_ISREG(st.st_mode) && st.st_nlink > 1 && !m_batch->firstName(st.st_dev, st.st_ino))
      WorkerPool::countOtherName(st, m_figures);
    else
      WorkerPool::countFile(st, settings, m_figures);
    return 0;
  }

  m_figures.seeTime(st.st_mtim);
  if (settings.allocatedBlocks) m_figures.diskBytes += static_cast<uint64_t>(st.st_blocks) * 512;
  // Opened as the folder it was seen to be: a link put in its place since is
  // not followed.
  FolderHandle folderHandle;
  if (!(name ? openFolderIn(folderFd, name, path, folderHandle) : openFolder(path, folderHandle))) {
    // Listed but not readable: the folder is there, its contents unknown. It
    // counts as the one folder it is known to be, as it would inside a walk,
    // so that a host shows it with a row rather than as nothing.
    ++m_figures.unreadableDirs;
    ++m_figures.dirs;
    return 0;
  }
  if (isPseudoFileSystem(folderHandle)) {
    m_pseudoFileSystem = true;
    closeFolder(folderHandle);
    return 0;
  }
  pool().walk(std::move(folderHandle), st.st_dev, settings, m_figures);
  return 0;
}

WorkerPool& Engine::pool() {
  if (!m_pool) {
    const unsigned cpu = cpuWalkers();
    m_pool = std::make_unique<WorkerPool>(cpu, ioWalkers(cpu));
    if (const char* wait = std::getenv("TLR32_DEVICE_WAIT_US")) m_pool->setDeviceWaitNs(std::atoll(wait) * 1000);
  }
  return *m_pool;
}

const VolumeFacts& Engine::volume() {
  if (!m_volume) {
    VolumeFacts facts;
    if (!m_volumeFolder.empty()) queryVolume(m_volumeFolder, facts);
    m_volume = facts;
  }
  return *m_volume;
}

int32_t Engine::statVal(const char* ckey) {
  if (!ckey) return 0;
  const std::string_view key = ckey;
  if (key == "Directories") return clampToInt32(m_figures.dirs);
  if (key == "Files") return clampToInt32(m_figures.files);
  if (key == "ClusterSize") return clampToInt32(m_clusterSize);
  if (key == "UnreadableDirectories") return clampToInt32(m_figures.unreadableDirs);
  if (key == "PseudoFileSystem") return m_pseudoFileSystem ? 1 : 0;
  if (key == "SizeFactor" || key == "DiskFree" || key == "DiskTotal") {
    const VolumeFacts& v = volume();
    uint32_t factor = sizeFactorFor(std::max(v.freeBytes, v.totalBytes));
    if (key == "SizeFactor") return static_cast<int32_t>(factor);
    return static_cast<int32_t>((key == "DiskFree" ? v.freeBytes : v.totalBytes) / factor);
  }
  return 0;
}

double Engine::statValF(const char* ckey) {
  if (!ckey) return 0;
  const std::string_view key = ckey;
  if (key == "DiskBytes") return static_cast<double>(m_figures.diskBytes);
  if (key == "FileBytes") return static_cast<double>(m_figures.fileBytes);
  return 0;
}

uint64_t Engine::fileTime() {
  return platform::toFileTime(m_figures.newest);
}

int32_t Engine::getOption(const char* name) {
  if (!name) return 0;
  if (std::strcmp(name, "ReportError") == 0) return m_reportError;
  return m_options.get(name).value_or(0);
}

bool Engine::setOption(const char* name, const char* value) {
  if (!name || !value) return false;
  if (std::strcmp(name, "CompareScan") == 0) {
    m_compareScan = value;
    return true;
  }
  if (!m_options.set(name, value)) return false;
  m_fileSpec = FileSpec(m_options.fileSpec);
  return true;
}

const char* Engine::fileSystemName() {
  if (m_fsName.empty() && m_volumeDevKnown) {
    auto it = m_fsNameCache.find(m_volumeDev);
    if (it == m_fsNameCache.end()) it = m_fsNameCache.emplace(m_volumeDev, tlr::fileSystemName(m_volumeDev, m_volumeFolder)).first;
    m_fsName = it->second;
  }
  return m_fsName.c_str();
}

bool Engine::isCustomCluster() {
  return m_customCluster;
}

bool Engine::customClustersOn() {
  return m_options.customClusters;
}

bool Engine::fileSpecOn() {
  return m_options.fileSpecOn;
}

std::optional<std::string> Engine::optionText(const char* name) {
  if (!name) return std::nullopt;
  return m_options.text(name);
}

bool Engine::saveSettings() {
  return m_options.save();
}

}  // namespace tlr
