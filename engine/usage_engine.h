#pragma once
// The program's boundary to the usage engine library. TUsageEngine owns the
// library handle; its entry points stay valid until unload() (the main window
// releases it when it is destroyed).
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "tlr32/tlr32.h"

class QWidget;

class TUsageEngine {
 public:
  TUsageEngine() = default;
  ~TUsageEngine() { unload(); }
  TUsageEngine(const TUsageEngine&) = delete;
  TUsageEngine& operator=(const TUsageEngine&) = delete;

  // Loads the library, looks up every operation and initialises it with the
  // help file path. On failure shows the matching error box (parented to
  // owner) and returns false; nothing stays loaded.
  // candidates: where to look; empty means defaultCandidates().
  bool load(QWidget* owner, const std::string& helpFile, std::vector<std::string> candidates = {});
  void unload();
  bool loaded() const { return m_library.loaded(); }

  // Beside the executable first, then the system search order.
  static std::vector<std::string> defaultCandidates();

  static bool truth(int32_t result) { return (result & 0xFF) != 0; }

  // Entry points, null until load() succeeds.
  TlrExtInitFn TlrExtInit = nullptr;
  TlrCalcUsageFn TlrCalcUsage = nullptr;
  TlrGetStatValFn TlrGetStatVal = nullptr;
  TlrGetStatValFFn TlrGetStatValF = nullptr;
  TlrGetFileTimeFn TlrGetFileTime = nullptr;
  TlrGetOptionFn TlrGetOption = nullptr;
  TlrSetOptionFn TlrSetOption = nullptr;
  TlrGetStringFn TlrGetFileSysName = nullptr;
  TlrGetStringFn TlrGetReportFileName = nullptr;
  TlrQueryFn TlrIsCustomCluster = nullptr;
  TlrQueryFn TlrCustomClustersOn = nullptr;
  TlrQueryFn TlrFileSpecOn = nullptr;
  TlrQueryFn TlrSaveSettings = nullptr;
  TlrDlgDriveFn TlrDlgComputeOptions = nullptr;
  TlrDlgDriveFn TlrDlgClusterSizes = nullptr;
  TlrDlgFn TlrDlgFileSpec = nullptr;
  TlrDlgDriveFn TlrDlgReportUsage = nullptr;
  // Optional: null for an engine without it (TlrCalcUsage does the same).
  TlrCalcUsageInFn TlrCalcUsageIn = nullptr;
  // Optional: null for an engine without them, which counts a file with
  // several names once per computation instead of once per batch.
  TlrQueryFn TlrBeginBatch = nullptr;
  TlrQueryFn TlrEndBatch = nullptr;

  // The entry at path, directly inside the folder open as folderFd (-1: not
  // open), sized as TlrCalcUsage(path, nullptr) would.
  int32_t CalcEntryUsage(int folderFd, const char* path) const {
    return folderFd >= 0 && TlrCalcUsageIn ? TlrCalcUsageIn(folderFd, path) : TlrCalcUsage(path, nullptr);
  }

  // The computations of one refresh, between begin() and end() (or the
  // batch's end of life), count a file with several names once among them,
  // at the first name computed; nothing where the engine cannot. Both are
  // engine calls: never while another thread computes.
  class Batch {
   public:
    explicit Batch(const TUsageEngine& engine) : m_engine(engine) {}
    ~Batch() { end(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    void begin() {
      if (!m_open && m_engine.TlrBeginBatch && m_engine.TlrEndBatch) m_open = truth(m_engine.TlrBeginBatch());
    }
    void end() {
      if (m_open) m_engine.TlrEndBatch();
      m_open = false;
    }

   private:
    const TUsageEngine& m_engine;
    bool m_open = false;
  };

 private:
  bool resolveAll();
  void clearEntryPoints();

  platform::DynamicLibrary m_library;
};

#ifdef _WIN32
inline constexpr const char* kEngineLibraryFile = "TLR32.DLL";
#else
inline constexpr const char* kEngineLibraryFile = "libtlr32.so";
#endif
inline constexpr const char* kMsgEngineMissing = "Cannot find TLR32.DLL";
inline constexpr const char* kMsgEngineOutdated =
    "TLR32.DLL does not appear to be up to date or is corrupted. Please ensure that the latest "
    "version of TLR32.DLL is loaded on your system.";
inline constexpr const char* kMsgEngineInitFailed = "Cannot initialize TLR32.DLL";
