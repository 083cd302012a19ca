#pragma once
// The rows of the usage list. The model owns the rows and, through them, the
// directory entries they were made from; the view only shows them.
#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QStringList>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/directory_list.h"
#include "model/name_compare.h"

// One line of the list: the caption and five sub-item texts (disk bytes, file
// bytes, dirs, files, date). Figures live only as these texts.
struct TUsageRow {
  QString caption;
  QStringList subItems;
  QDateTime date;  // the date text read back once, so sorting need not parse
  std::unique_ptr<TDirectoryItem> entry;  // owned; null for the placeholder row
  std::string name() const { return entry ? entry->GetName() : caption.toStdString(); }
};

inline constexpr int kUsageColumns = 6;
inline const QColor kGrey(0x80, 0x80, 0x80);

// The sort order of the list. NAME: folders first, then names folded a-z.
// DATE: by the date read back from its text. FIGURES: shorter text first,
// then by text. Descending negates everything, folders-first included.
int UsageListCompare(const TUsageRow& a, const TUsageRow& b, int column, bool ascending);

class TUsageListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TUsageListModel(QObject* parent = nullptr);
  ~TUsageListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void appendRow(TUsageRow row);
  // Frees every row and the entry it owns.
  void clearRows();
  // Stable sort; selections and other persistent indexes follow their rows.
  void sortRows(int column, bool ascending);
  const TUsageRow& row(int index) const { return *m_rows.at(index); }
  // The list's font colour: grey for the placeholder row, else window text.
  void setGreyText(bool grey);
  bool greyText() const { return m_greyText; }

 private:
  QIcon iconFor(const TDirectoryItem& entry) const;

  std::vector<std::unique_ptr<TUsageRow>> m_rows;
  bool m_greyText = false;
  mutable QHash<QString, QIcon> m_iconsByType;  // one icon per MIME type
};
