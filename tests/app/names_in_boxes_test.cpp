// Names in the window's boxes, tool tips and labels: shown as they are called
// (never read as markup), within the screen however long or many, and the
// Delete command acting on exactly the rows shown selected.
#include <QComboBox>
#include <QLabel>
#include <QTextDocument>
#include <QTimer>
#include <set>

#include "awkward_names.h"
#include "box_look.h"
#include "form_fixture.h"
#include "views/item_properties.h"

using testsupport::SeenBox;
using testsupport::seeAndAnswer;

namespace {

class NamesInBoxesTest : public FormTest {
 protected:
  void select(TDiskUsageForm& f, const Names& names) {
    f.UsageList->clearSelection();
    for (int i = 0; i < f.UsageModel->rowCount(); ++i)
      for (const std::string& n : names)
        if (f.UsageModel->row(i).name() == n)
          f.UsageList->selectionModel()->select(f.UsageModel->index(i, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  // The delete question as it appears, answered No.
  SeenBox askDelete(TDiskUsageForm& f) {
    platform::setMessageObserver(nullptr);
    SeenBox seen = seeAndAnswer([&] { f.DeleteCmd->trigger(); }, QMessageBox::No);
    platform::setMessageObserver([this](platform::MessageKind, const QString& caption, const QString& text) {
      messages.push_back(caption + ": " + text);
      return false;
    });
    return seen;
  }
};

// What a rich text shows a reader.
QString rendered(const QString& text) {
  QTextDocument doc;
  if (Qt::mightBeRichText(text))
    doc.setHtml(text);
  else
    doc.setPlainText(text);
  return doc.toPlainText();
}

}  // namespace

TEST_F(NamesInBoxesTest, TheDeleteQuestionShowsTheNameAsItIsAndFitsTheScreen) {
  const std::string markup = "<s>struck.txt", long254 = std::string(250, 'n') + ".txt";
  t.file(markup, 3);
  t.file(long254, 4);
  t.dir("many");
  for (int i = 0; i < 300; ++i) t.file("many/" + std::to_string(1000 + i) + std::string(246, 'm') + ".txt", 1);
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  ASSERT_EQ(long254.size(), 254u);
  struct Case {
    const char* what;
    std::function<void()> choose;
    QString starts, ends;
  } cases[] = {
      {"a name that reads as markup", [&] { select(f, {markup}); },
       "Are you sure you want to remove '<s>struck.txt'?", "'<s>struck.txt'?"},
      {"a 254-byte name", [&] { select(f, {long254}); }, "Are you sure you want to remove 'nnnn", "nnnn.txt'?"},
      {"300 items with long names",
       [&] {
         f.SelectFolderPath(t.path("many"));
         f.SelectAllCmd->trigger();
       },
       "Are you sure you want to remove the 300 selected files/folders?\n", "and 290 more"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.choose();
    const SeenBox seen = askDelete(f);
    ASSERT_TRUE(seen.appeared);
    EXPECT_EQ(seen.caption, "Confirm");
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_TRUE(seen.text.startsWith(c.starts)) << seen.text.toStdString();
    EXPECT_TRUE(seen.text.endsWith(c.ends)) << seen.text.toStdString();
    EXPECT_TRUE(seen.fits());
    EXPECT_EQ(seen.defaultButton, QMessageBox::No);
  }
  EXPECT_TRUE(exists(t.path(markup)) && exists(t.path(long254))) << "No deletes nothing";
}

TEST_F(NamesInBoxesTest, ToolTipsAndPropertiesShowNamesAsTheyAre) {
  const std::string markup = "<b>bold<b>  &amp; <s>struck.txt";  // no "/" in a name
  t.file(markup, 3);
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  int row = -1;
  for (int i = 0; i < f.UsageModel->rowCount(); ++i)
    if (f.UsageModel->row(i).name() == markup) row = i;
  ASSERT_GE(row, 0);
  EXPECT_EQ(rendered(f.UsageModel->index(row, 0).data(Qt::ToolTipRole).toString()).toStdString(), t.path(markup))
      << "the list's tool tip: the whole path as it is";

  std::vector<std::pair<Qt::TextFormat, QString>> labels;
  QTimer::singleShot(0, [&] {
    auto* dialog = f.findChild<TItemProperties*>("ItemProperties");
    if (!dialog) return;
    for (QLabel* l : dialog->findChildren<QLabel*>()) labels.emplace_back(l->textFormat(), l->text());
    dialog->reject();
  });
  f.ShowItemProperties(t.path(markup));
  ASSERT_FALSE(labels.empty());
  bool named = false;
  for (const auto& [format, text] : labels) {
    if (text == QString::fromStdString(markup)) named = true;
    if (text.contains("<s>")) EXPECT_EQ(format, Qt::PlainText) << text.toStdString();
  }
  EXPECT_TRUE(named) << "the properties name the item as it is called";
}

// Names that differ only in case are different items: Yes removes the rows
// shown selected and nothing else.
TEST_F(NamesInBoxesTest, DeleteRemovesExactlyTheRowsShownSelected) {
  t.file("ax", 7);
  t.file("AX", 8);
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  platform::setMessageObserver([](platform::MessageKind, const QString&, const QString&) { return true; });
  const QRect r = f.UsageList->visualRect(f.UsageModel->index([&] {
    for (int i = 0; i < f.UsageModel->rowCount(); ++i)
      if (f.UsageModel->row(i).name() == "Ax") return i;
    return -1;
  }(), 0));
  QTest::mouseClick(f.UsageList->viewport(), Qt::LeftButton, {}, r.center());
  f.RefreshCmd->trigger();
  ASSERT_EQ(selectedNames(), Names{"Ax"});
  f.DeleteCmd->trigger();
  EXPECT_FALSE(exists(t.path("Ax")));
  EXPECT_TRUE(exists(t.path("ax")));
  EXPECT_TRUE(exists(t.path("AX")));
  EXPECT_TRUE(exists(configHome.path("data/Trash/files/Ax")));
}

// Names that look alike where their bytes are shown as they are read apart
// in the delete question, one line each, and the caption names its folder
// on one line.
TEST_F(NamesInBoxesTest, NoTwoNamesReadAlikeInTheDeleteQuestionOrTheCaption) {
  const std::vector<std::string> names = testsupport::awkwardNames();
  t.dir("awk");
  for (const std::string& n : names) t.file("awk/" + n, 1);
  TDiskUsageForm& f = open({t.path("awk")});
  f.NumbersCmd->trigger();
  ASSERT_EQ(f.UsageModel->rowCount(), static_cast<int>(names.size()));
  std::set<QString> questions;
  for (const std::string& n : names) {
    select(f, {n});
    messages.clear();
    f.DeleteCmd->trigger();
    ASSERT_EQ(messages.size(), 1u);
    const QString& q = messages.front();
    EXPECT_TRUE(q.startsWith("Confirm: Are you sure you want to remove '")) << q.toStdString();
    EXPECT_FALSE(q.contains(QLatin1Char('\n')) || q.contains(QLatin1Char('\r'))) << q.toStdString();
    EXPECT_TRUE(questions.insert(q).second) << "asked alike for another name: " << q.toStdString();
  }
  // All of them: one line a name in the box's details, none alike.
  f.SelectAllCmd->trigger();
  const SeenBox seen = askDelete(f);
  ASSERT_TRUE(seen.appeared);
  const QStringList lines = seen.details.split(QLatin1Char('\n'));
  EXPECT_EQ(lines.size(), static_cast<qsizetype>(names.size())) << seen.details.toStdString();
  EXPECT_EQ(std::set<QString>(lines.begin(), lines.end()).size(), names.size());
  for (const std::string& n : names) EXPECT_TRUE(exists(t.path("awk/" + n))) << "No deletes nothing";

  std::set<QString> captions;
  for (const char* folder : {"new\nline", "new\\nline", "bad\xFE", "bad\xFF", "evil\xE2\x80\xAEtxt"}) {
    SCOPED_TRACE(folder);
    t.dir(folder);
    f.SelectFolderPath(t.path(folder));
    const QString caption = f.windowTitle();
    EXPECT_FALSE(caption.contains(QLatin1Char('\n')) || caption.contains(QChar(0x202E)) ||
                 caption.contains(QChar::ReplacementCharacter))
        << caption.toStdString();
    EXPECT_TRUE(captions.insert(caption).second) << caption.toStdString();
    EXPECT_EQ(f.CurrentDirBox->currentText(), caption.mid(caption.indexOf(" - ") + 3)) << "the folder box names it alike";
  }
}
