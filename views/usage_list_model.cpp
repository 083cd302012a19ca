#include "views/usage_list_model.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QPalette>
#include <algorithm>
#include <unordered_map>

#include "model/name_compare.h"

namespace {

const char* const kCaptions[kUsageColumns] = {"Name", "Disk Bytes", "File Bytes", "Dirs", "Files", "Date"};

}  // namespace

int UsageListCompare(const TUsageRow& a, const TUsageRow& b, int column, bool ascending) {
  int r = 0;
  if (column == 0) {
    const bool d1 = a.entry && a.entry->IsDirectory(), d2 = b.entry && b.entry->IsDirectory();
    if (d1 && !d2)
      r = -1;
    else if (d2 && !d1)
      r = 1;
    else
      r = CompareFoldAZ(a.name(), b.name());
  } else if (column == 5) {
    if (a.date < b.date)
      r = -1;
    else if (b.date < a.date)
      r = 1;
  } else if (column >= 1 && column <= 4) {
    const QString ta = a.subItems.value(column - 1), tb = b.subItems.value(column - 1);
    if (ta.size() != tb.size())
      r = ta.size() < tb.size() ? -1 : 1;
    else
      r = CompareFoldAZ(ta, tb);
  }
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
  else if (entry.FindData.dwFileAttributes & kFileAttributeReparsePoint)
    type = QStringLiteral("inode/symlink");
  else
    type = mimes.mimeTypeForFile(QString::fromUtf8(entry.GetName()), QMimeDatabase::MatchExtension).name();
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
  const TUsageRow& r = *m_rows[index.row()];
  const int col = index.column();
  switch (role) {
    case Qt::DisplayRole:
      return col == 0 ? r.caption : r.subItems.value(col - 1);
    case Qt::TextAlignmentRole:
      return int((col >= 1 && col <= 4 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case Qt::ForegroundRole:
      // Figures and dates in grey; names in the list's font colour.
      if (col > 0 || m_greyText) return kGrey;
      return QApplication::palette().color(QPalette::Text);
    case Qt::DecorationRole:
      if (col == 0 && r.entry) return iconFor(*r.entry);
      return {};
    case Qt::ToolTipRole:
      return col == 0 && r.entry ? QVariant(QString::fromUtf8(r.entry->FullPath)) : QVariant();
    default:
      return {};
  }
}

QVariant TUsageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kUsageColumns) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kCaptions[section]);
  if (role == Qt::TextAlignmentRole)
    return int((section >= 1 && section <= 4 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  return {};
}

void TUsageListModel::appendRow(TUsageRow row) {
  const int at = rowCount();
  beginInsertRows({}, at, at);
  m_rows.push_back(std::make_unique<TUsageRow>(std::move(row)));
  endInsertRows();
}

void TUsageListModel::clearRows() {
  beginResetModel();
  m_rows.clear();
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
  const QModelIndexList before = persistentIndexList();
  std::vector<TUsageRow*> oldOrder;
  oldOrder.reserve(m_rows.size());
  for (auto& r : m_rows) oldOrder.push_back(r.get());
  std::stable_sort(m_rows.begin(), m_rows.end(), [&](const auto& a, const auto& b) {
    return UsageListCompare(*a, *b, column, ascending) < 0;
  });
  std::unordered_map<const TUsageRow*, int> newRow;
  newRow.reserve(m_rows.size());
  for (int i = 0; i < rowCount(); ++i) newRow.emplace(m_rows[i].get(), i);
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& idx : before) after.append(index(newRow.at(oldOrder[idx.row()]), idx.column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
