#include "engine/usage_engine.h"

#include <QString>

#include "platform/message_box.h"

std::vector<std::string> TUsageEngine::defaultCandidates() {
  // Beside the executable (the build), where an installation puts it, then
  // the system's search order (the executable's RUNPATH included).
  return {platform::executableFolder() + kEngineLibraryFile,
          platform::executableFolder() + "../lib/tallorin/" + kEngineLibraryFile, kEngineLibraryFile};
}

template <typename Fn>
static bool lookUp(const platform::DynamicLibrary& lib, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(lib.symbol(name));
  return fn != nullptr;
}

bool TUsageEngine::resolveAll() {
  // Every operation is looked up, even after one is missing, so that none is
  // left half-bound; the result says whether all were there.
  bool all = true;
  all &= lookUp(m_library, "TlrExtInit", TlrExtInit);
  all &= lookUp(m_library, "TlrCalcUsage", TlrCalcUsage);
  all &= lookUp(m_library, "TlrGetStatVal", TlrGetStatVal);
  all &= lookUp(m_library, "TlrGetStatValF", TlrGetStatValF);
  all &= lookUp(m_library, "TlrGetFileTime", TlrGetFileTime);
  all &= lookUp(m_library, "TlrGetOption", TlrGetOption);
  all &= lookUp(m_library, "TlrSetOption", TlrSetOption);
  all &= lookUp(m_library, "TlrGetFileSysName", TlrGetFileSysName);
  all &= lookUp(m_library, "TlrGetReportFileName", TlrGetReportFileName);
  all &= lookUp(m_library, "TlrIsCustomCluster", TlrIsCustomCluster);
  all &= lookUp(m_library, "TlrCustomClustersOn", TlrCustomClustersOn);
  all &= lookUp(m_library, "TlrFileSpecOn", TlrFileSpecOn);
  all &= lookUp(m_library, "TlrSaveSettings", TlrSaveSettings);
  all &= lookUp(m_library, "TlrDlgComputeOptions", TlrDlgComputeOptions);
  all &= lookUp(m_library, "TlrDlgClusterSizes", TlrDlgClusterSizes);
  all &= lookUp(m_library, "TlrDlgFileSpec", TlrDlgFileSpec);
  all &= lookUp(m_library, "TlrDlgReportUsage", TlrDlgReportUsage);
  lookUp(m_library, "TlrCalcUsageIn", TlrCalcUsageIn);
  lookUp(m_library, "TlrBeginBatch", TlrBeginBatch);
  lookUp(m_library, "TlrEndBatch", TlrEndBatch);
  return all;
}

void TUsageEngine::clearEntryPoints() {
  TlrExtInit = nullptr;
  TlrCalcUsage = nullptr;
  TlrGetStatVal = nullptr;
  TlrGetStatValF = nullptr;
  TlrGetFileTime = nullptr;
  TlrGetOption = nullptr;
  TlrSetOption = nullptr;
  TlrGetFileSysName = nullptr;
  TlrGetReportFileName = nullptr;
  TlrIsCustomCluster = nullptr;
  TlrCustomClustersOn = nullptr;
  TlrFileSpecOn = nullptr;
  TlrSaveSettings = nullptr;
  TlrDlgComputeOptions = nullptr;
  TlrDlgClusterSizes = nullptr;
  TlrDlgFileSpec = nullptr;
  TlrDlgReportUsage = nullptr;
  TlrCalcUsageIn = nullptr;
  TlrBeginBatch = nullptr;
  TlrEndBatch = nullptr;
}

bool TUsageEngine::load(QWidget* owner, const std::string& helpFile, std::vector<std::string> candidates) {
  unload();
  if (candidates.empty()) candidates = defaultCandidates();
  if (!m_library.load(candidates)) {
    platform::showError(owner, QString::fromLatin1(kMsgEngineMissing));
    return false;
  }
  if (!resolveAll()) {
    unload();
    platform::showError(owner, QString::fromLatin1(kMsgEngineOutdated));
    return false;
  }
  if (!truth(TlrExtInit(helpFile.c_str()))) {
    unload();
    platform::showError(owner, QString::fromLatin1(kMsgEngineInitFailed));
    return false;
  }
  return true;
}

void TUsageEngine::unload() {
  clearEntryPoints();
  m_library.unload();
}
