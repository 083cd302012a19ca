// Texts are never cut: the totals' captions and values, the status panels and
// the list's captions and dates show whole in the font in use, at the
// window's own font and at a larger one, in English (United States) and in
// German, whose separators and dates differ. Also run on a 120-dpi screen.
#include <QFrame>
#include <QHeaderView>
#include <QLabel>

#include "engine/usage_engine.h"
#include "form_fixture.h"
#include "views/figure_format.h"
#include "views/gauge.h"
#include "views/status_bar.h"

namespace {

struct FontCase {
  const char* name;
  double points;  // 0: the window's own
};
const FontCase kFonts[] = {{"window font", 0}, {"larger font", 12}};
const QLocale kLocales[] = {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany)};

// The locale of the whole program for the length of a scope.
class LocaleScope {
 public:
  explicit LocaleScope(const QLocale& l) { QLocale::setDefault(l); }
  ~LocaleScope() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

void applyFont(TDiskUsageForm& f, const FontCase& c) {
  if (c.points == 0) return;
  QFont font = f.font();
  font.setPointSizeF(c.points);
  f.setFont(font);
  QCoreApplication::processEvents();
}

// A value label shows text whole: its text fits the label, the label lies
// inside its box, to the right of the box's caption.
void expectWhole(QLabel* value, const QString& text) {
  SCOPED_TRACE(text.toStdString());
  value->setText(text);
  const QFontMetrics fm(value->font());
  EXPECT_LE(fm.horizontalAdvance(text), value->contentsRect().width());
  EXPECT_GE(value->height(), fm.height());
  auto* box = static_cast<QFrame*>(value->parentWidget());
  EXPECT_TRUE(box->contentsRect().contains(value->geometry())) << "box " << box->width() << " value ends at " << value->geometry().right();
  for (QLabel* caption : box->findChildren<QLabel*>()) {
    if (caption == value || caption->text().isEmpty()) continue;
    EXPECT_LE(QFontMetrics(caption->font()).horizontalAdvance(caption->text()), caption->width()) << caption->text().toStdString();
    EXPECT_LT(caption->geometry().right() + fm.horizontalAdvance(text), value->geometry().right())
        << "the value runs into \"" << caption->text().toStdString() << "\"";
    EXPECT_TRUE(box->contentsRect().contains(caption->geometry()));
  }
  EXPECT_LE(box->geometry().right(), box->parentWidget()->width()) << "the box inside its group";
}

}  // namespace

TEST_F(FormTest, TotalsAndStatusTextsShowWholeInTheFontInUse) {
  for (const QLocale& locale : kLocales)
    for (const FontCase& fc : kFonts) {
      SCOPED_TRACE(locale.name().toStdString() + ", " + fc.name);
      LocaleScope scope(locale);
      TDiskUsageForm& f = open({t.root()});
      // Run at 120 dpi too: Qt draws everything 1.25 times as large, and the
      // glyphs' advances need not grow in step with the boxes.
      if (!qEnvironmentVariableIsEmpty("TALLORIN_TEST_DPR"))
        EXPECT_EQ(f.devicePixelRatioF(), qEnvironmentVariable("TALLORIN_TEST_DPR").toDouble());
      applyFont(f, fc);
      // The totals: the longest counts and byte figures, every drive letter,
      // a full efficiency.
      expectWhole(f.FilesValLabel, FormatFigure(2147483647.0, locale));
      expectWhole(f.DirectoriesValLabel, FormatFigure(2147483647.0, locale));
      expectWhole(f.FileBytesValLabel, FormatFigure(999999999999.0, locale));
      expectWhole(f.DiskBytesValLabel, FormatFigure(999999999999999.0, locale));
      expectWhole(f.MapDriveValLabel, "W:");
      expectWhole(f.EfficiencyValLabel, "100%");
      EXPECT_GE(f.MinFormWidth(), f.TotalsGroup->width()) << "the window holds the whole group";
      EXPECT_GE(f.StatPanel->height(), f.TotalsGroup->height());

      // The status panels: each text between its panel's edges, panel 1's
      // share apart from the text before it.
      TStatusBar* bar = f.StatusBar;
      const QFontMetrics fm(bar->font());
      EXPECT_GE(bar->height(), fm.height() + 3) << "the text's whole height";
      struct Panel {
        int panel;
        QString text;
      } panels[] = {
          {0, "1234 selections"},
          {0, ItemCountText(1234, locale)},
          {0, ItemCountText(99999, locale)},
          {1, FreeSpaceText(4000000, 100000000, 1024, locale)},
          {1, FreeSpaceText(2000000000, 2100000000, 4096, locale)},  // 7,629G of 8,010G: a big volume
          {2, ClusterText(4096, locale)},
          {2, ClusterText(1023, locale)},
          {2, ClusterText(0, locale)},
          {3, "ext4"},
          {3, "fuse.sshfs"},
      };
      for (const Panel& p : panels) {
        SCOPED_TRACE(p.text.toStdString());
        bar->setPanelText(p.panel, p.text);
        const QRect r = bar->panelRect(p.panel);
        const int share = TStatusBar::SharePercent(p.text);
        if (p.panel == 1 && share >= 0) {
          const QString before = p.text.left(p.text.indexOf('(') - 1), percent = QString::number(share) + "%";
          EXPECT_LT(2 + fm.horizontalAdvance(before), r.width() - 3 - fm.horizontalAdvance(percent));
        } else {
          EXPECT_LE(2 + fm.horizontalAdvance(p.text), r.width());
        }
        for (int q = p.panel + 1; q < 4; ++q) EXPECT_GT(bar->panelRect(q).left(), r.right()) << "panel " << q;
      }
      EXPECT_LE(bar->panelRect(3).right(), bar->width());
      form.reset();
    }
}

TEST_F(FormTest, ListCaptionsAndDatesShowWholeInTheFontInUse) {
  // 22:58:58 on 28 December: the widest date and time of the year.
  const QDateTime widest(QDate(2026, 12, 28), QTime(22, 58, 58));
  t.file("late", 10, widest.toSecsSinceEpoch());
  for (const QLocale& locale : kLocales)
    for (const FontCase& fc : kFonts) {
      SCOPED_TRACE(locale.name().toStdString() + ", " + fc.name);
      LocaleScope scope(locale);
      TDiskUsageForm& f = open({t.root()});
      f.NumbersCmdClick();
      applyFont(f, fc);
      f.RefreshCmdClick();
      const QString date = cell("late", 5);
      ASSERT_EQ(date, DateText(uint64_t(widest.toSecsSinceEpoch() + 11644473600LL) * 10000000ULL, locale));
      ASSERT_TRUE(date.contains("22") || date.contains("10")) << "with its time: " << date.toStdString();
      QHeaderView* h = f.UsageList->header();
      const QFontMetrics fm(f.UsageList->font());
      // The delegate leaves the focus frame's margin and a pixel on each side.
      const int margins = 2 * (f.UsageList->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, f.UsageList) + 1);
      EXPECT_LE(fm.horizontalAdvance(date) + margins, h->sectionSize(5)) << date.toStdString();
      for (int c = 1; c <= 5; ++c) {
        // Each caption with room for the sort arrow, whichever column is sorted.
        f.SortByColumn(c);
        const QFontMetrics hm(h->font());
        const QString caption = f.UsageModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        const int arrow = h->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, h);
        EXPECT_LE(hm.horizontalAdvance(caption) + arrow, h->sectionSize(c)) << caption.toStdString();
      }
      form.reset();
    }
}

TEST_F(FormTest, AHugeEfficiencyFromASparseFileShowsAsComputedAndWhole) {
  // 1 TiB with one block written: file bytes 2^40, disk bytes one block.
  t.sparse("sparse", 1ULL << 40);
  TDiskUsageForm& f = open({t.root()});
  ASSERT_TRUE(TUsageEngine::truth(f.engine().TlrSetOption("AllocatedBlocks", "1")));
  f.RefreshCmdClick();
  long double sumFile = 0, sumDisk = 0;
  for (int i = 0; i < f.UsageModel->rowCount(); ++i) {
    sumDisk += f.UsageModel->row(i).figures[0];
    sumFile += f.UsageModel->row(i).figures[1];
  }
  const long long e = static_cast<long long>(sumFile * 100 / sumDisk);
  ASSERT_GT(e, 2147483647LL) << "past a 32-bit int";
  const QString text = QString::number(e) + "%";
  EXPECT_EQ(f.EfficiencyValLabel->text(), text);
  EXPECT_EQ(f.EfficiencyGuage->progress(), 0) << "all sky blue";
  const QFontMetrics fm(f.EfficiencyValLabel->font());
  EXPECT_LE(fm.horizontalAdvance(text), f.EfficiencyValLabel->width());
  EXPECT_LE(f.EfficiencyGuage->parentWidget()->geometry().right(), f.TotalsGroup->width());
  EXPECT_GE(f.width(), f.TotalsGroup->width());
}
