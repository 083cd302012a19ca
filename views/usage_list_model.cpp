#include "views/usage_list_model.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QPalette>
#include <algorithm>
#include <deque>
#include <numeric>
#include <optional>

#include "scan/change.h"

#include "chart/marked_text.h"
#include "views/figure_format.h"

namespace {

const char* const kCaptions[kUsageColumns] = {"Name", "Disk Bytes", "File Bytes", "Dirs", "Files", "Date", "Change"};

bool isFigureColumn(int column) { return (column >= 1 && column <= 4) || column == kChangeColumn; }

// The baseline's seconds since 1970 as the date column's file time.
uint64_t fileTimeOf(int64_t secondsSince1970) {
  constexpr int64_t k1601To1970 = 11644473600LL;
  if (secondsSince1970 <= 0 || secondsSince1970 > (INT64_MAX / 10000000) - k1601To1970) return 0;
  return static_cast<uint64_t>(secondsSince1970 + k1601To1970) * 10000000ULL;
}

// The value a row sorts by in the Change column: its change, a new entry's
// whole size; a row without a change sorts as none.
double changeKey(const TUsageRow& r) {
  return r.change == TUsageRow::Change::None || r.change == TUsageRow::Change::Gone ? 0.0 : double(r.diskChange);
}

bool isFolderRow(const TUsageRow& r) { return r.entry && r.entry->IsDirectory(); }

int sign(double a, double b) { return a < b ? -1 : (b < a ? 1 : 0); }

QString pathHtml(std::string_view path) {
  const TDisplayName shown = DisplayNameMarked(path);
  return MarkedTextHtml(shown.text, shown.escapes);
}

int compareNames(const TUsageRow& a, const TUsageRow& b) {
  const bool d1 = isFolderRow(a), d2 = isFolderRow(b);
  if (d1 != d2) return d1 ? -1 : 1;
  if (a.entry && b.entry) return CompareFoldAZ(a.nameView(), b.nameView());
  return CompareFoldAZ(a.name(), b.name());
}

}  // namespace

QString TUsageRow::text(int column, const QLocale& locale) const {
  if (column == 0) return entry ? DisplayName(entry->Name()) : isGone() ? DisplayName(goneName) : caption;
  if (column == kChangeColumn) {
    switch (change) {
      case Change::None: return {};
      case Change::New: return QStringLiteral("new");
      case Change::Gone: return QStringLiteral("gone");
      case Change::Same:
      case Change::Changed: return FormatChange(diskChange, locale);
    }
  }
  if (!entry && !isGone()) return {};
  if (column >= 1 && column <= 4) return FormatFigure(figures[column - 1], locale);
  if (column == 5) return DateText(fileTime, locale);
  return {};
}

TDisplayName TUsageRow::displayName() const {
  if (isGone()) return DisplayNameMarked(goneName);
  if (!entry) return {caption, {}};
  return DisplayNameMarked(entry->Name());
}

int UsageListCompare(const TUsageRow& a, const TUsageRow& b, int column, bool ascending) {
  int r = 0;
  if (column == 0)
    r = compareNames(a, b);
  else if (column >= 1 && column <= 4)
    r = sign(a.figures[column - 1], b.figures[column - 1]);
  else if (column == 5)
    r = sign(double(DateSortKey(a.fileTime)), double(DateSortKey(b.fileTime)));
  else if (column == kChangeColumn)
    r = sign(changeKey(a), changeKey(b));
  return ascending ? r : -r;
}

TUsageListModel::TUsageListModel(QObject* parent) : QAbstractTableModel(parent) {}
TUsageListModel::~TUsageListModel() = default;

int TUsageListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TUsageListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kUsageColumns; }

QIcon TUsageListModel::iconFor(const TDirectoryItem& entry) const {
  static QMimeDatabase mimes;
  QString type;
  if (entry.IsDirectory())
    type = QStringLiteral("inode/directory");
  else if (entry.IsLink())
    type = QStringLiteral("inode/symlink");
  else
    type = mimes.mimeTypeForFile(QString::fromUtf8(entry.Name()), QMimeDatabase::MatchExtension).name();
  auto it = m_iconsByType.find(type);
  if (it != m_iconsByType.end()) return *it;
  QFileIconProvider provider;
  QIcon icon;
  if (entry.IsDirectory()) {
    icon = QIcon::fromTheme(QStringLiteral("folder"), provider.icon(QFileIconProvider::Folder));
  } else {
    const QMimeType mime = mimes.mimeTypeForName(type);
    icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
    if (icon.isNull()) icon = QIcon::fromTheme(QStringLiteral("text-x-generic"), provider.icon(QFileIconProvider::File));
  }
  m_iconsByType.insert(type, icon);
  return icon;
}

QVariant TUsageListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TUsageRow& r = m_rows[index.row()];
  const int col = index.column();
  switch (role) {
    case Qt::DisplayRole:
      return r.text(col);
    case kNameEscapesRole:
      if (col != 0 || r.isPlaceholder()) return {};
      return QVariant::fromValue(r.displayName().escapes);
    case Qt::TextAlignmentRole:
      return int((isFigureColumn(col) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case Qt::ForegroundRole:
      // Figures and dates in grey; names in the list's font colour. A gone
      // row is grey from end to end.
      if (col > 0 || m_greyText || r.isGone()) return kGrey;
      return QApplication::palette().color(QPalette::Text);
    case Qt::DecorationRole:
      if (col == 0 && r.entry) return iconFor(*r.entry);
      return {};
    case Qt::ToolTipRole:
      if (col == 0 && r.isGone())
        return QStringLiteral("<p style='white-space:pre-wrap'>") + MarkedTextHtml(r.displayName().text, r.displayName().escapes) +
               QStringLiteral("<br>Gone since the earlier look: its figures are those it had then.</p>");
      // A tool tip that looks like markup is shown as markup: the path goes
      // as an escaped paragraph that keeps its spaces, so "<s>struck.txt"
      // reads as it is called, and its escapes stand apart as in the list.
      if (col != 0 || !r.entry) return {};
      return QStringLiteral("<p style='white-space:pre-wrap'>") + pathHtml(r.entry->FullPath) +
             (r.unreadableItself ? QStringLiteral("<br>This folder could not be read: it counts as one folder, its contents unknown.")
              : r.unreadable       ? QStringLiteral("<br>Some of this folder could not be read: its figures count only what could.")
                                   : QString()) +
             QStringLiteral("</p>");
    case Qt::FontRole:
      if (col == 0 && r.unreadable) {
        QFont italic;  // only the slant: the view's own font gives the rest
        italic.setItalic(true);
        return italic;
      }
      return {};
    default:
      return {};
  }
}

QVariant TUsageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kUsageColumns) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kCaptions[section]);
  if (role == Qt::TextAlignmentRole)
    return int((isFigureColumn(section) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  return {};
}

void TUsageListModel::appendRow(TUsageRow row) {
  std::vector<TUsageRow> rows;
  rows.push_back(std::move(row));
  appendRows(rows);
}

void TUsageListModel::appendRows(std::vector<TUsageRow>& rows) {
  if (rows.empty()) return;
  // Before the gone rows, which stay last.
  const int at = m_presentRows;
  beginInsertRows({}, at, at + static_cast<int>(rows.size()) - 1);
  m_rows.insert(m_rows.begin() + at, std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
  m_presentRows += static_cast<int>(rows.size());
  endInsertRows();
  rows.clear();
}

void TUsageListModel::compareWith(const scan::Baseline* baseline) {
  if (rowCount() > m_presentRows) {
    beginRemoveRows({}, m_presentRows, rowCount() - 1);
    m_rows.erase(m_rows.begin() + m_presentRows, m_rows.end());
    endRemoveRows();
  }
  if (m_presentRows == 0 || m_rows[0].isPlaceholder()) baseline = nullptr;  // nothing there to compare
  std::optional<scan::ChangeMatch> match;
  if (baseline) match.emplace(*baseline);
  for (int i = 0; i < m_presentRows; ++i) {
    TUsageRow& r = m_rows[static_cast<size_t>(i)];
    if (!match || !r.entry) {
      r.change = TUsageRow::Change::None;
      r.diskChange = 0;
      continue;
    }
    const double disk = r.figures[0];
    const scan::RowChange c = match->match(r.entry->Name(), disk <= 0 ? 0 : static_cast<uint64_t>(disk));
    r.change = c.kind == scan::RowChange::Kind::New       ? TUsageRow::Change::New
               : c.kind == scan::RowChange::Kind::Changed ? TUsageRow::Change::Changed
                                                          : TUsageRow::Change::Same;
    r.diskChange = c.diskChange;
  }
  if (m_presentRows > 0) emit dataChanged(index(0, kChangeColumn), index(m_presentRows - 1, kChangeColumn));
  if (!match) return;
  std::vector<scan::BaselineRow> gone = match->gone();
  if (gone.empty()) return;
  beginInsertRows({}, m_presentRows, m_presentRows + static_cast<int>(gone.size()) - 1);
  for (scan::BaselineRow& old : gone) {
    TUsageRow r;
    r.change = TUsageRow::Change::Gone;
    r.goneName = std::move(old.name);
    // The figures as the old texts would read back (TString): whole numbers.
    r.figures = {double(old.diskBytes), double(old.fileBytes), double(old.folders), double(old.files)};
    r.fileTime = fileTimeOf(old.modified);
    r.diskChange = scan::byteChange(0, old.diskBytes);
    m_rows.push_back(std::move(r));
  }
  endInsertRows();
}

void TUsageListModel::reserveRows(size_t rows) { m_rows.reserve(rows); }

void TUsageListModel::clearRows() {
  beginResetModel();
  std::vector<TUsageRow>().swap(m_rows);
  m_presentRows = 0;
  m_greyText = false;
  endResetModel();
}

void TUsageListModel::setGreyText(bool grey) {
  if (grey == m_greyText) return;
  m_greyText = grey;
  if (!m_rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::ForegroundRole});
}

void TUsageListModel::sortRows(int column, bool ascending) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const size_t n = m_rows.size();
  std::vector<uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0u);
  // Keys once per row, not once per comparison: the date key needs the
  // locale's formats, a name its view into the path.
  auto sortBy = [&](auto key, auto compare) {
    using Key = decltype(key(m_rows[0]));
    std::vector<Key> keys;
    keys.reserve(n);
    for (const TUsageRow& r : m_rows) keys.push_back(key(r));
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      // Gone rows stay after the rows that are there, in either direction.
      const bool goneA = m_rows[a].isGone(), goneB = m_rows[b].isGone();
      if (goneA != goneB) return goneB;
      const int c = compare(keys[a], keys[b]);
      return (ascending ? c : -c) < 0;
    });
  };
  if (n > 1) {
    if (column == 0) {
      // Folders first, then the first eight bytes folded a-z as one number
      // (names hold no NUL, so padding with zeros keeps a prefix smaller),
      // then the rest of the names.
      struct NameKey {
        bool folder;
        uint64_t head;
        std::string_view name;
      };
      auto head = [](std::string_view name) {
        uint64_t h = 0;
        for (size_t i = 0; i < 8; ++i) {
          unsigned char c = i < name.size() ? static_cast<unsigned char>(name[i]) : 0;
          if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
          h = (h << 8) | c;
        }
        return h;
      };
      std::deque<std::string> placeholderNames;  // keeps the views of rows without entries alive
      sortBy(
          [&](const TUsageRow& r) {
            if (r.entry) return NameKey{r.entry->IsDirectory(), head(r.entry->Name()), r.entry->Name()};
            if (r.isGone()) return NameKey{false, head(r.goneName), std::string_view(r.goneName)};
            placeholderNames.push_back(r.name());
            return NameKey{false, head(placeholderNames.back()), placeholderNames.back()};
          },
          [](const NameKey& a, const NameKey& b) {
            if (a.folder != b.folder) return a.folder ? -1 : 1;
            if (a.head != b.head) return a.head < b.head ? -1 : 1;
            return CompareFoldAZ(a.name, b.name);
          });
    } else if (column >= 1 && column <= 4) {
      sortBy([&](const TUsageRow& r) { return r.figures[column - 1]; }, [](double a, double b) { return sign(a, b); });
    } else if (column == kChangeColumn) {
      sortBy([&](const TUsageRow& r) { return changeKey(r); }, [](double a, double b) { return sign(a, b); });
    } else if (column == 5) {
      const DateSortKeys dateKey;
      sortBy([&](const TUsageRow& r) { return dateKey(r.fileTime); },
             [](int64_t a, int64_t b) { return a < b ? -1 : (b < a ? 1 : 0); });
    }
  }
  std::vector<int> newRow(n);
  std::vector<TUsageRow> sorted;
  sorted.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    newRow[order[i]] = static_cast<int>(i);
    sorted.push_back(std::move(m_rows[order[i]]));
  }
  m_rows.swap(sorted);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& idx : before) after.append(index(newRow[idx.row()], idx.column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
