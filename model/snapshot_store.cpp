#include "model/snapshot_store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

constexpr char kMagic[8] = {'T', 'L', 'R', 'S', 'N', 'A', 'P', '1'};
constexpr size_t kRowFixed = 2 + 5 * 8 + 1;  // name length, five figures, flags
constexpr size_t kLongestName = 4096;
constexpr const char* kSuffix = ".snap";
// More than any folder holds (4 EiB, or 2^62 entries): a figure above it is
// no figure of a look, and shown it would not fit the list's numbers.
constexpr uint64_t kMostFigure = uint64_t(1) << 62;

uint64_t fnv1a(const char* data, size_t size) {
  uint64_t h = 1469598103934665603ULL;
  for (size_t i = 0; i < size; ++i) {
    h ^= static_cast<unsigned char>(data[i]);
    h *= 1099511628211ULL;
  }
  return h;
}

class Writer {
 public:
  explicit Writer(QByteArray& out) : m_out(out) {}
  template <typename T>
  void number(T value) {
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    m_out.append(bytes, sizeof(T));
  }
  void bytes(const std::string& s) { m_out.append(s.data(), static_cast<qsizetype>(s.size())); }

 private:
  QByteArray& m_out;
};

// Reads within the bytes it is given; every read past their end fails.
class Reader {
 public:
  Reader(const char* data, size_t size) : m_data(data), m_size(size) {}
  template <typename T>
  bool number(T& value) {
    if (m_size - m_at < sizeof(T)) return false;
    value = qFromLittleEndian<T>(m_data + m_at);
    m_at += sizeof(T);
    return true;
  }
  bool bytes(std::string& s, size_t n) {
    if (m_size - m_at < n) return false;
    s.assign(m_data + m_at, n);
    m_at += n;
    return true;
  }
  size_t left() const { return m_size - m_at; }

 private:
  const char* m_data;
  size_t m_size;
  size_t m_at = 0;
};

QString folderKey(const std::string& folderPath) {
  return QString::fromLatin1(
      QCryptographicHash::hash(QByteArray::fromRawData(folderPath.data(), static_cast<qsizetype>(folderPath.size())),
                               QCryptographicHash::Sha256)
          .toHex()
          .left(32));
}

// The day of a store file's name (KEY-YYYYMMDD.snap), when it is one.
std::optional<QDate> dayOfName(const QString& name, QString* key = nullptr) {
  if (name.size() != 32 + 1 + 8 + 5 || !name.endsWith(QLatin1String(kSuffix)) || name[32] != QLatin1Char('-'))
    return std::nullopt;
  const QDate day = QDate::fromString(name.mid(33, 8), QStringLiteral("yyyyMMdd"));
  if (!day.isValid()) return std::nullopt;
  if (key) *key = name.left(32);
  return day;
}

}  // namespace

QString TSnapshotStore::DefaultFolder() {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  // Relative values are to be ignored, as for the other XDG folders.
  if (state.isEmpty() || !QDir::isAbsolutePath(state)) state = QDir::homePath() + QStringLiteral("/.local/state");
  return state + QStringLiteral("/tallorin/snapshots");
}

TSnapshotStore::TSnapshotStore(QString folder, int64_t bound) : m_folder(std::move(folder)), m_bound(bound) {}

QString TSnapshotStore::fileName(const std::string& folderPath, const QDate& day) const {
  return m_folder + QLatin1Char('/') + folderKey(folderPath) + QLatin1Char('-') + day.toString(QStringLiteral("yyyyMMdd")) +
         QLatin1String(kSuffix);
}

QByteArray TSnapshotStore::encode(const std::string& folderPath, const QDateTime& taken, const scan::Baseline& rows) {
  QByteArray out;
  size_t size = sizeof kMagic + 4 + 8 + 4 + folderPath.size() + 4 + 8;
  for (const scan::BaselineRow& r : rows.rows) size += kRowFixed + std::min(r.name.size(), kLongestName);
  out.reserve(static_cast<qsizetype>(size));
  out.append(kMagic, sizeof kMagic);
  Writer w(out);
  w.number<uint32_t>(1);
  w.number<int64_t>(taken.toSecsSinceEpoch());
  w.number<uint32_t>(static_cast<uint32_t>(folderPath.size()));
  w.bytes(folderPath);
  uint32_t count = 0;
  for (const scan::BaselineRow& r : rows.rows) count += r.name.size() <= kLongestName && !r.name.empty();
  w.number<uint32_t>(count);
  for (const scan::BaselineRow& r : rows.rows) {
    if (r.name.size() > kLongestName || r.name.empty()) continue;  // no such names: not kept
    w.number<uint16_t>(static_cast<uint16_t>(r.name.size()));
    w.bytes(r.name);
    w.number<uint64_t>(r.diskBytes);
    w.number<uint64_t>(r.fileBytes);
    w.number<uint64_t>(r.folders);
    w.number<uint64_t>(r.files);
    w.number<int64_t>(r.modified);
    w.number<uint8_t>(r.folder ? 1 : 0);
  }
  w.number<uint64_t>(fnv1a(out.constData(), static_cast<size_t>(out.size())));
  return out;
}

std::optional<TSnapshot> TSnapshotStore::decode(const QByteArray& bytes, const std::string& folderPath) {
  const size_t size = static_cast<size_t>(bytes.size());
  if (size < sizeof kMagic + 8 || std::memcmp(bytes.constData(), kMagic, sizeof kMagic) != 0) return std::nullopt;
  const uint64_t sum = qFromLittleEndian<uint64_t>(bytes.constData() + size - 8);
  if (sum != fnv1a(bytes.constData(), size - 8)) return std::nullopt;
  Reader in(bytes.constData() + sizeof kMagic, size - sizeof kMagic - 8);
  uint32_t version = 0, pathSize = 0, count = 0;
  int64_t taken = 0;
  std::string path;
  if (!in.number(version) || version != 1 || !in.number(taken) || !in.number(pathSize) || !in.bytes(path, pathSize) ||
      path != folderPath || !in.number(count))
    return std::nullopt;
  // A count the bytes cannot hold is no snapshot (and reserves nothing).
  if (count > in.left() / kRowFixed) return std::nullopt;
  TSnapshot snapshot;
  snapshot.taken = QDateTime::fromSecsSinceEpoch(taken);
  if (!snapshot.taken.isValid()) return std::nullopt;
  snapshot.rows.rows.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    scan::BaselineRow r;
    uint16_t nameSize = 0;
    uint8_t flags = 0;
    if (!in.number(nameSize) || nameSize == 0 || !in.bytes(r.name, nameSize) || !in.number(r.diskBytes) ||
        !in.number(r.fileBytes) || !in.number(r.folders) || !in.number(r.files) || !in.number(r.modified) ||
        !in.number(flags) || flags > 1 || r.diskBytes > kMostFigure || r.fileBytes > kMostFigure ||
        r.folders > kMostFigure || r.files > kMostFigure)
      return std::nullopt;
    r.folder = flags == 1;
    snapshot.rows.rows.push_back(std::move(r));
  }
  if (in.left() != 0) return std::nullopt;
  return snapshot;
}

bool TSnapshotStore::save(const std::string& folderPath, const QDateTime& taken, const scan::Baseline& rows,
                          QString* error) const {
  const QByteArray bytes = encode(folderPath, taken, rows);
  // One folder alone may not take the whole store from every other.
  if (bytes.size() > m_bound / 2) {
    if (error) *error = QStringLiteral("the folder's snapshot would take more than half of the store");
    return false;
  }
  if (!QDir().mkpath(m_folder)) {
    if (error) *error = QStringLiteral("cannot make ") + m_folder;
    return false;
  }
  // Written beside its name and renamed onto it: the rename replaces
  // whatever is at the name (a link planted there stays a link no more, its
  // target untouched), and a write that fails, on a full disk, leaves the
  // earlier file as it was and nothing else.
  const QString target = fileName(folderPath, taken.date());
  QTemporaryFile file(target + QStringLiteral(".XXXXXX"));
  if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
    if (error) *error = file.errorString();
    return false;
  }
  if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
    if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  file.setAutoRemove(false);  // it is the look now
  prune(taken.date());
  return true;
}

std::vector<TSnapshotDay> TSnapshotStore::days(const std::string& folderPath) const {
  const QString key = folderKey(folderPath);
  std::vector<TSnapshotDay> found;
  const QStringList names = QDir(m_folder).entryList({key + QStringLiteral("-*") + QLatin1String(kSuffix)}, QDir::Files);
  for (const QString& name : names) {
    const std::optional<QDate> day = dayOfName(name);
    if (!day) continue;
    // Only the snapshots that read as this folder's: the day shown is the
    // one a choice of it will load.
    if (std::optional<TSnapshot> s = load(folderPath, *day)) found.push_back({*day, s->taken});
  }
  std::sort(found.begin(), found.end(), [](const TSnapshotDay& a, const TSnapshotDay& b) { return a.day > b.day; });
  return found;
}

std::optional<TSnapshot> TSnapshotStore::load(const std::string& folderPath, const QDate& day) const {
  QFile file(fileName(folderPath, day));
  // Read as a regular file of a bounded size only: a link, a device or a
  // pipe planted under the name is not read.
  const QFileInfo info(file);
  if (info.isSymLink() || !info.isFile() || info.size() > m_bound) return std::nullopt;
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return decode(file.read(m_bound + 1), folderPath);
}

std::optional<TSnapshot> TSnapshotStore::newestBefore(const std::string& folderPath, const QDate& today) const {
  const QString key = folderKey(folderPath);
  std::vector<QDate> days;
  for (const QString& name : QDir(m_folder).entryList({key + QStringLiteral("-*") + QLatin1String(kSuffix)}, QDir::Files))
    if (std::optional<QDate> day = dayOfName(name); day && *day < today) days.push_back(*day);
  std::sort(days.begin(), days.end(), std::greater<>());
  for (const QDate& day : days)
    if (std::optional<TSnapshot> s = load(folderPath, day)) return s;  // a damaged day is passed over
  return std::nullopt;
}

void TSnapshotStore::prune(const QDate& today) const {
  const QDate firstKept = today.addDays(-(kKeptDays - 1));
  std::map<QDate, std::vector<std::pair<QString, int64_t>>> byDay;
  int64_t total = 0;
  const QDir dir(m_folder);
  for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("*") + QLatin1String(kSuffix)}, QDir::Files)) {
    const std::optional<QDate> day = dayOfName(info.fileName());
    if (!day) continue;  // not a file of the store's: left alone
    if (*day < firstKept) {
      QFile::remove(info.filePath());
      continue;
    }
    byDay[*day].push_back({info.filePath(), info.size()});
    total += info.size();
  }
  // Another program may prune at the same time: a file it removed first is
  // simply gone.
  // The day just kept stays whatever the others weigh.
  for (auto it = byDay.begin(); total > m_bound && it != byDay.end() && it->first < today; ++it)
    for (const auto& [path, size] : it->second) {
      QFile::remove(path);
      total -= size;
    }
}
