#pragma once
// The rows of the usage list. The model owns the rows and, through them, the
// directory entries they were made from; the view only shows them.
//
// A row keeps its figures as numbers and its texts are made when they are
// shown: a refresh of 100,000 entries then formats only the rows on screen, and
// a row takes about a fifth of the memory five stored texts took. The texts
// read back to the same figures (TString), so sums over the numbers equal sums
// over the texts.
#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QLocale>
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/directory_list.h"
#include "model/display_name.h"
#include "model/name_compare.h"
#include "scan/baseline.h"

// Columns 0 to 5: name, disk bytes, file bytes, dirs, files, date; column 6,
// the change of the disk bytes since an earlier look, is shown after the disk
// bytes when changes are shown and hidden otherwise.
inline constexpr int kUsageColumns = 7;
inline constexpr int kChangeColumn = 6;
inline const QColor kGrey(0x80, 0x80, 0x80);

// One line of the list: an entry with its figures (disk bytes, file bytes,
// dirs, files: columns 1 to 4) and its date, or the placeholder caption, or
// an entry of the baseline that is gone (its old figures and name; nothing
// there to act on, so no entry).
struct TUsageRow {
  // How the row's disk bytes compare with the baseline's.
  enum class Change : uint8_t { None, Same, Changed, New, Gone };
  std::unique_ptr<TDirectoryItem> entry;  // owned; null for the placeholder row
  std::array<double, 4> figures{};        // what columns 1..4 show
  uint64_t fileTime = 0;                  // the date column's file time (UTC)
  QString caption;                        // the placeholder's text; entries show their name
  bool unreadable = false;                // a folder not wholly read: its name in italics
  bool unreadableItself = false;          // ...and none of it: the folder itself could not be opened

  Change change = Change::None;           // None while no baseline is compared with
  int64_t diskChange = 0;                 // disk bytes now less the baseline's
  std::string goneName;                   // the name of a gone row, its bytes

  bool isPlaceholder() const { return !entry && change != Change::Gone; }
  bool isGone() const { return change == Change::Gone; }
  std::string_view nameView() const { return entry ? entry->Name() : isGone() ? std::string_view(goneName) : std::string_view(); }
  std::string name() const { return entry ? entry->GetName() : isGone() ? goneName : caption.toStdString(); }
  // The text of column 0..5 as the list shows it: the name as DisplayName
  // shows it (the bytes are nameView's).
  QString text(int column, const QLocale& locale = QLocale()) const;
  // Column 0's text with where its escapes stand.
  TDisplayName displayName() const;
};

// The sort order of the list. NAME: folders first, then names folded a-z.
// FIGURES: by value (the figure texts, shorter first, then by text, order the
// same way). DATE: by the date as its text shows it (to the second, or to the
// minute where the locale's time has no seconds). Descending negates
// everything, folders-first included; ties keep their order (stable).
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
  // Appends rows in one insertion: the view hears of them once.
  void appendRows(std::vector<TUsageRow>& rows);
  // Room for this many rows in all, before a refresh appends them.
  void reserveRows(size_t rows);
  // Frees every row and the entry it owns.
  void clearRows();
  // Stable sort; selections and other persistent indexes follow their rows.
  void sortRows(int column, bool ascending);
  const TUsageRow& row(int index) const { return m_rows.at(index); }
  // The list's font colour: grey for the placeholder row, else window text.
  void setGreyText(bool grey);
  bool greyText() const { return m_greyText; }
  // Each row's change against baseline, and the rows of baseline that are
  // gone appended (those of an earlier comparison taken away first). Without
  // a baseline: no changes, no gone rows.
  void compareWith(const scan::Baseline* baseline);
  // The rows that are there now, before the gone ones.
  int presentRowCount() const { return m_presentRows; }

 private:
  QIcon iconFor(const TDirectoryItem& entry) const;

  std::vector<TUsageRow> m_rows;
  int m_presentRows = 0;  // gone rows follow these, in every order
  bool m_greyText = false;
  mutable QHash<QString, QIcon> m_iconsByType;  // one icon per MIME type
};
