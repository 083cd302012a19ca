// The program's message boxes as they appear: names shown as they are, never
// as markup; every box within the screen with its buttons in view, however
// long the names and however many; No the default of a question.
#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/message_box.h"
#include "box_look.h"
#include "qt_print.h"

using testsupport::SeenBox;
using testsupport::seeAndAnswer;

namespace {

std::string str(const QRect& r) {
  return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
         std::to_string(r.height());
}

QString longName(int bytes) { return QString(bytes - 4, QLatin1Char('n')) + QStringLiteral(".txt"); }

}  // namespace

TEST(MessageBox, NamesShowAsPlainTextAndEveryBoxFitsTheScreenWithItsButtons) {
  platform::setMessageObserver(nullptr);
  const QString name254 = longName(254);
  std::vector<QString> many;
  for (int i = 0; i < 300; ++i) many.push_back(QStringLiteral("%1-").arg(i, 3, 10, QLatin1Char('0')) + longName(250));
  const platform::BoxText forGood{"These items cannot be moved to the trash:", many,
                                  "\n\nDelete them for good? They cannot be restored."};
  QString allNames;
  for (const QString& n : many) allNames += (allNames.isEmpty() ? "" : "\n") + n;
  struct Case {
    const char* what;
    std::function<bool()> show;
    QString shownStarts;  // the text as the box shows it begins so
    QString shownEnds;    // and ends so
    QString details;      // the whole text behind a shortened one
  };
  const Case cases[] = {
      {"a name that reads as markup",
       [] { return platform::askConfirm(nullptr, "Are you sure you want to remove '<s>struck.txt'?"); },
       "Are you sure you want to remove '<s>struck.txt'?", "", ""},
      {"a 254-byte name",
       [&] { return platform::askConfirm(nullptr, "Are you sure you want to remove '" + name254 + "'?"); },
       "Are you sure you want to remove 'nnn", "nnn.txt'?", "Are you sure you want to remove '" + name254 + "'?"},
      {"300 items of 254 bytes",
       [&] { return platform::askConfirm(nullptr, forGood); },
       "These items cannot be moved to the trash:\n000-nnn", "and 290 more\n\nDelete them for good? They cannot be restored.",
       allNames},
      {"an error naming a long path",
       [&] {
         platform::showError(nullptr, "Cannot access /home/<i>x</i>/" + name254 + " (code -3).");
         return false;
       },
       "Cannot access /home/<i>x</i>/n", "nnn.txt (code -3).", "Cannot access /home/<i>x</i>/" + name254 + " (code -3)."},
      {"200 lines of someone else's making",
       [&] {
         QString text = "Failed:";
         for (int i = 0; i < 200; ++i) text += "\nline " + QString::number(i);
         platform::showWarning(nullptr, text);
         return false;
       },
       "Failed:\nline 0\n", "\u2026", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool answer = true;
    const bool question = QString(c.what) != "an error naming a long path" && QString(c.what) != "200 lines of someone else's making";
    const SeenBox seen = seeAndAnswer([&] { answer = c.show(); }, question ? QMessageBox::No : QMessageBox::Ok);
    ASSERT_TRUE(seen.appeared);
    EXPECT_FALSE(answer);
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_TRUE(seen.text.startsWith(c.shownStarts)) << seen.text.toStdString();
    EXPECT_TRUE(seen.text.endsWith(c.shownEnds)) << seen.text.toStdString();
    if (!c.details.isEmpty()) EXPECT_EQ(seen.details, c.details);
    EXPECT_TRUE(seen.room.contains(seen.frame)) << str(seen.frame) << " on " << str(seen.room);
    EXPECT_TRUE(seen.buttonsShown);
    ASSERT_FALSE(seen.buttons.empty());
    for (const QRect& b : seen.buttons) EXPECT_TRUE(QRect(QPoint(0, 0), seen.frame.size()).contains(b)) << str(b);
    if (question) EXPECT_EQ(seen.defaultButton, QMessageBox::No);
    // The box wraps its text at spaces; no word is wider than half the screen.
    for (const QString& word : QString(seen.text).replace('\n', ' ').split(' '))
      EXPECT_LE(QFontMetrics(QApplication::font()).horizontalAdvance(word), seen.room.width() / 2) << word.toStdString();
  }
  // What an observer reads: at most ten names, then "and N more"; ten are all listed.
  const QString listed = forGood.listed();
  EXPECT_EQ(listed.count('\n'), 10 + 1 + 2);
  EXPECT_TRUE(listed.contains("\n" + many[9] + "\nand 290 more\n")) << listed.toStdString();
  const platform::BoxText ten{"Ten:", std::vector<QString>(many.begin(), many.begin() + 10), ""};
  EXPECT_TRUE(ten.listed().endsWith("\n" + many[9]));
}
