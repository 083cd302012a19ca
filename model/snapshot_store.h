#pragma once
// Earlier looks at folders: each refresh keeps the folder's rows, one
// snapshot per folder and day (a later refresh the same day replaces it), for
// the last kKeptDays days, the whole store within kStoreBound bytes (the
// oldest days go first). A snapshot is one file, written whole to a temporary
// name and renamed, so two programs saving at once leave one whole file, and
// read as data only: a file that is damaged, cut short, too large or written
// for another folder is not a snapshot, and the next save replaces it.
#include <QDate>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scan/baseline.h"

struct TSnapshot {
  QDateTime taken;  // when the refresh that kept it ended
  scan::Baseline rows;
};

struct TSnapshotDay {
  QDate day;
  QDateTime taken;
};

class TSnapshotStore {
 public:
  static constexpr int kKeptDays = 30;
  static constexpr int64_t kStoreBound = 64LL * 1024 * 1024;

  // The store's folder: $XDG_STATE_HOME/tallorin/snapshots, or
  // ~/.local/state/tallorin/snapshots without it.
  static QString DefaultFolder();

  explicit TSnapshotStore(QString folder, int64_t bound = kStoreBound);

  // Keeps rows as folderPath's snapshot of taken's day, replacing that day's,
  // then drops what the store no longer keeps. False, with the reason in
  // error, when it could not be written (the store's earlier files stay).
  bool save(const std::string& folderPath, const QDateTime& taken, const scan::Baseline& rows,
            QString* error = nullptr) const;
  // The days kept of folderPath, newest first.
  std::vector<TSnapshotDay> days(const std::string& folderPath) const;
  std::optional<TSnapshot> load(const std::string& folderPath, const QDate& day) const;
  // The newest snapshot of a day before today.
  std::optional<TSnapshot> newestBefore(const std::string& folderPath, const QDate& today) const;
  // Drops the days before the kept ones, then the oldest days while the
  // store is above its bound.
  void prune(const QDate& today) const;

  // A snapshot's bytes, and back; nothing when the bytes are not a snapshot
  // of folderPath. (For the store, and for tests that damage files.)
  static QByteArray encode(const std::string& folderPath, const QDateTime& taken, const scan::Baseline& rows);
  static std::optional<TSnapshot> decode(const QByteArray& bytes, const std::string& folderPath);
  QString fileName(const std::string& folderPath, const QDate& day) const;

 private:
  QString m_folder;
  int64_t m_bound;
};
