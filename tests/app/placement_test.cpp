// The window's size and place from the settings file, whatever numbers it
// holds, and the sizes it remembers across restarts: the full size while in
// totals only, the folder tree's width while the tree is hidden.
#include <QScreen>
#include <QSplitter>
#include <QTreeView>
#include <climits>

#include "form_fixture.h"
#include "model/window_placement.h"  // KeepRectOnScreen: the tables of its own test
#include "platform/registry_store.h"
#include "views/status_bar.h"

namespace {

using Values = std::vector<std::pair<std::string, int32_t>>;

class PlacementTest : public FormTest {
 protected:
  void store(const Values& values) {
    platform::RegistryKey key(TDiskUsageForm::kSettingsKey);
    for (const auto& [name, value] : values) key.writeInteger(name, value);
    ASSERT_TRUE(key.save());
  }
  std::optional<int32_t> stored(const std::string& name) const {
    return platform::RegistryKey(TDiskUsageForm::kSettingsKey).readInteger(name);
  }
  void clearStore() { ::unlink(platform::RegistryKey::defaultFilePath().c_str()); }
  static QRect available() { return QGuiApplication::primaryScreen()->availableGeometry(); }
  // The window with its frame lies wholly on the available area.
  static bool onScreen(const QWidget& w) { return available().contains(w.frameGeometry()); }
  // Opens the window on the settings, shows the stored layout, and closes it
  // without a full save.
  void restart() {
    form.reset();
    open({t.root()});
  }
};

Values placement(int32_t w, int32_t h, int32_t left, int32_t top, int32_t fullW, int32_t fullH, int32_t view) {
  return {{"Width", w},         {"Height", h},         {"Left", left},        {"Top", top},
          {"FullWidth", fullW}, {"FullHeight", fullH}, {"WindowState", 0}, {"View", view}};
}

}  // namespace

TEST_F(PlacementTest, EveryStoredSizeFitsTheScreenInEveryViewMode) {
  const QSize screen = available().size();
  struct Case {
    const char* what;
    int32_t width, height;
    QSize want;  // before the screen limits it; none: larger than the screen
  } sizes[] = {
      {"2^31 - 1 square", INT32_MAX, INT32_MAX, {}},
      {"5000 x 4000", 5000, 4000, {}},
      // A side of 0 or less is no size: the first start's.
      {"negative", -700, -500, {1000, 633}},
      {"most negative", INT32_MIN, INT32_MIN, {1000, 633}},
      {"zero", 0, 0, {1000, 633}},
      {"zero width", 0, 300, {1000, 300}},
      {"negative height", 700, -1, {700, 633}},
  };
  ASSERT_LT(screen.width(), 5000);
  for (const Case& c : sizes) {
    for (int view : {1, 2, 3}) {
      SCOPED_TRACE(std::string(c.what) + ", View " + std::to_string(view));
      clearStore();
      store(placement(c.width, c.height, 0, 0, c.width, c.height, view));
      TDiskUsageForm& f = open({t.root()});
      // The least sizes as far as the screen shows them, frame and all.
      const QSize fits = screen - (f.frameGeometry().size() - f.WindowSize());
      if (view == 3) {
        EXPECT_EQ(f.WindowSize(), QSize(f.MinFormWidth(), f.MinFormHeight()).boundedTo(fits));
        f.ListAndTotalsCmd->trigger();  // back to the remembered full size
      }
      if (!c.want.isValid()) {
        EXPECT_EQ(f.frameGeometry().size(), screen) << "the window with its frame fills the screen";
      } else {
        // As far as the screen shows it; never the least size that a full
        // view would then remember.
        EXPECT_EQ(f.WindowSize(), c.want.boundedTo(fits));
        EXPECT_GE(f.WindowSize().height(), f.MinFormHeight());
      }
      EXPECT_TRUE(onScreen(f)) << f.frameGeometry().x() << "," << f.frameGeometry().y() << " "
                               << f.frameGeometry().width() << "x" << f.frameGeometry().height();
      // What the next start reads is no larger: the placement is stored at every resize.
      f.resize(f.WindowSize() - QSize(1, 1));
      QCoreApplication::processEvents();
      EXPECT_GT(stored("Width").value_or(0), 0);
      EXPECT_GT(stored("Height").value_or(0), 0);
      for (const char* name : {"Width", "FullWidth"}) {
        EXPECT_LE(stored(name).value_or(INT32_MAX), screen.width()) << name;
        EXPECT_GE(stored(name).value_or(-1), 0) << name;
      }
      for (const char* name : {"Height", "FullHeight"}) {
        EXPECT_LE(stored(name).value_or(INT32_MAX), screen.height()) << name;
        EXPECT_GE(stored(name).value_or(-1), 0) << name;
      }
      form.reset();
    }
  }
}

TEST_F(PlacementTest, AnyStoredPositionGivesAWindowOnTheScreen) {
  const QRect area = available();
  struct Case {
    const char* what;
    int32_t left, top;
  } cases[] = {
      {"far right and below (top + height overflows)", 0x7ffffc18, 0x7ffffd87},
      {"2^31 - 1", INT32_MAX, INT32_MAX},
      {"negative", -1000, -633},
      {"most negative", INT32_MIN, INT32_MIN},
      {"left of the screen, far below", -5000, 0x7fffffff - 10},
      {"inside", 10, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clearStore();
    store(placement(600, 400, c.left, c.top, 600, 400, 1));
    TDiskUsageForm& f = open({t.root()});
    EXPECT_EQ(f.pos(), KeepRectOnScreen(c.left, c.top, f.frameGeometry().size(), area));
    EXPECT_TRUE(onScreen(f)) << f.frameGeometry().x() << "," << f.frameGeometry().y();
    // Every layout command keeps it there, and it is stored there.
    f.TotalsOnlyCmd->trigger();
    EXPECT_TRUE(onScreen(f));
    f.ListAndTotalsCmd->trigger();
    EXPECT_TRUE(onScreen(f));
    EXPECT_TRUE(area.contains(QPoint(stored("Left").value_or(INT32_MIN), stored("Top").value_or(INT32_MIN))));
    form.reset();
  }
}

TEST_F(PlacementTest, TheFullSizeSurvivesRestartsInTotalsOnly) {
  const QSize full = available().size() - QSize(40, 30);
  TDiskUsageForm& f = open({t.root()});
  f.resize(full);
  QCoreApplication::processEvents();
  f.TotalsOnlyCmd->trigger();
  f.SaveSettingsNowCmd->trigger();  // "Save Settings on Exit" stays unchecked
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE("restart " + std::to_string(run + 1));
    restart();
    EXPECT_TRUE(form->TotalsOnlyCmd->isChecked());
    const QSize fits = available().size() - (form->frameGeometry().size() - form->WindowSize());
    EXPECT_EQ(form->WindowSize(), QSize(form->MinFormWidth(), form->MinFormHeight()).boundedTo(fits));
    QCoreApplication::processEvents();
    form->ExitCmdClick();
    EXPECT_EQ(stored("FullWidth"), full.width());
    EXPECT_EQ(stored("FullHeight"), full.height());
  }
  restart();
  form->ListAndTotalsCmd->trigger();
  EXPECT_EQ(form->WindowSize(), full) << "the size before the restarts";
  // Left for good: from now on the full size follows the window again.
  form->resize(full - QSize(100, 100));
  QCoreApplication::processEvents();
  form->TotalsOnlyCmd->trigger();
  restart();
  form->ListOnlyCmd->trigger();
  EXPECT_EQ(form->WindowSize(), full - QSize(100, 100));
}

TEST_F(PlacementTest, TheTreeComesBackAtTheWidthItHadWhenLastShown) {
  TDiskUsageForm& f = open({t.root()});
  const int total = f.Splitter->sizes().value(0) + f.Splitter->sizes().value(1);
  f.Splitter->setSizes({321, total - 321});
  ASSERT_EQ(f.TreeView->width(), 321);
  f.TreeViewCmd->trigger();
  EXPECT_FALSE(f.TreeView->isVisible());
  f.SaveSettingsNowCmd->trigger();
  EXPECT_EQ(stored("TreeViewWidth"), 321);

  restart();
  EXPECT_FALSE(form->TreeView->isVisible());
  form->TreeViewCmd->trigger();
  EXPECT_TRUE(form->TreeView->isVisible());
  EXPECT_EQ(form->TreeView->width(), 321);
  // Saved while shown: its width now.
  form->Splitter->setSizes({280, total - 280});
  form->SaveSettingsNowCmd->trigger();
  EXPECT_EQ(stored("TreeViewWidth"), 280);
}

TEST_F(PlacementTest, HidingTheTreeKeepsTheSplitterBarAndDraggingItShowsTheTreeAgain) {
  TDiskUsageForm& f = open({t.root()});
  f.TreeViewCmd->trigger();
  ASSERT_FALSE(f.TreeView->isVisible());
  QWidget* bar = f.Splitter->handle(1);
  EXPECT_TRUE(bar->isVisible()) << "only the tree hides";
  EXPECT_EQ(bar->geometry().left(), 0) << "the list takes the freed width";
  EXPECT_EQ(bar->width(), 6);
  // The user drags the bar to the right: the tree is back, with its mark.
  const QPoint from = bar->mapToGlobal(bar->rect().center());
  auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
    // The bar moves with the drag: each point is mapped from where it is now.
    QMouseEvent e(type, bar->mapFromGlobal(global), global,
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(bar, &e);
  };
  send(QEvent::MouseButtonPress, from, Qt::LeftButton);
  send(QEvent::MouseMove, from + QPoint(100, 0), Qt::LeftButton);
  send(QEvent::MouseMove, from + QPoint(200, 0), Qt::LeftButton);
  send(QEvent::MouseButtonRelease, from + QPoint(200, 0), Qt::NoButton);
  EXPECT_TRUE(f.TreeViewCmd->isChecked());
  EXPECT_TRUE(f.TreeView->isVisible());
  EXPECT_NEAR(f.TreeView->width(), 200, 10);
  // Dragged past the window's edge: the bar stops where the list keeps a third.
  const QPoint at = bar->mapToGlobal(bar->rect().center());
  send(QEvent::MouseButtonPress, at, Qt::LeftButton);
  send(QEvent::MouseMove, at + QPoint(3000, 0), Qt::LeftButton);
  send(QEvent::MouseButtonRelease, at + QPoint(3000, 0), Qt::NoButton);
  const int total = f.Splitter->sizes().value(0) + f.Splitter->sizes().value(1);
  EXPECT_GE(3 * f.Splitter->widget(1)->width(), total);
  EXPECT_GE(3 * f.TreeView->width(), 2 * total - 3);
}

TEST_F(PlacementTest, AStoredTreeWidthLeavesTheListAUsableWidthAndIsStoredAsShown) {
  // The list keeps at least a third of the splitter's width (and its own
  // least width); nothing above zero means "no width": the tree's default.
  struct Case {
    const char* what;
    int32_t stored;
    int shown;  // 0: as wide as the list lets it be
  } cases[] = {
      {"2^31 - 1", INT32_MAX, 0},
      {"wider than the screen", 5000, 0},
      {"as wide as the window", 700, 0},
      {"fits", 300, 300},
      {"zero", 0, 250},
      {"negative", -40, 250},
      {"most negative", INT32_MIN, 250},
  };
  for (bool treeShownAtStart : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (treeShownAtStart ? "" : ", tree hidden at the start"));
      clearStore();
      Values values = placement(700, 500, 0, 0, 700, 500, 1);
      values.push_back({"TreeViewWidth", c.stored});
      values.push_back({"TreeView", treeShownAtStart ? 1 : 0});
      store(values);
      TDiskUsageForm& f = open({t.root()});
      if (!treeShownAtStart) {
        // Saved while hidden: the width it will come back at.
        f.SaveSettingsNowCmd->trigger();
        const int32_t saved = stored("TreeViewWidth").value_or(-1);
        f.TreeViewCmd->trigger();
        EXPECT_EQ(saved, f.TreeView->width()) << "the hidden tree's stored width is the one it shows";
      }
      ASSERT_TRUE(f.TreeView->isVisible());
      const QList<int> sizes = f.Splitter->sizes();
      const int total = sizes.value(0) + sizes.value(1);
      QWidget* list = f.Splitter->widget(1);
      EXPECT_GE(3 * list->width(), total) << "tree " << f.TreeView->width() << " of " << total;
      EXPECT_GE(list->width(), list->minimumSizeHint().width());
      if (c.shown)
        EXPECT_EQ(f.TreeView->width(), c.shown);
      else
        EXPECT_GE(3 * f.TreeView->width(), 2 * total - 3) << "as wide as the list lets it be";
      f.SaveSettingsNowCmd->trigger();
      EXPECT_EQ(stored("TreeViewWidth"), f.TreeView->width()) << "what is stored is what is shown";
      form.reset();
    }
  }
}

TEST_F(PlacementTest, TheTreeWidthIsLimitedByTheFullSizeNotByTheTotalsOnlyWindow) {
  Values values = placement(700, 500, 0, 0, 700, 500, 3);
  values.push_back({"TreeViewWidth", 400});
  store(values);
  TDiskUsageForm& f = open({t.root()});
  ASSERT_TRUE(f.TotalsOnlyCmd->isChecked());
  f.SaveSettingsNowCmd->trigger();
  EXPECT_EQ(stored("TreeViewWidth"), 400) << "the narrow totals window does not cut the stored width";
  f.ListAndTotalsCmd->trigger();
  EXPECT_EQ(f.TreeView->width(), 400);
}

TEST_F(PlacementTest, NoWayOfOpeningOrChangingTheLayoutGivesAWindowLargerThanTheScreen) {
  // Also run on an 800 x 600 screen and on one narrower than the totals.
  const QRect area = available();
  const auto whole = [&](const char* step) {
    SCOPED_TRACE(step);
    TDiskUsageForm& f = *form;
    const QRect frame = f.frameGeometry();
    EXPECT_TRUE(area.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height()
                                      << " on " << area.width() << "x" << area.height();
    if (f.StatusBar->isVisible()) {
      const QRect bar(f.StatusBar->mapToGlobal(QPoint(0, 0)), f.StatusBar->size());
      EXPECT_TRUE(area.contains(bar)) << "the status bar is on the screen";
    }
  };
  struct Start {
    const char* what;
    Values values;  // none: the first start
  } starts[] = {
      {"first start", {}},
      {"stored larger than the screen", placement(5000, 4000, 0, 0, 5000, 4000, 1)},
      {"stored in totals only, full size larger than the screen", placement(5000, 4000, 0, 0, 5000, 4000, 3)},
      {"stored in detail only, 2^31 - 1", placement(INT32_MAX, INT32_MAX, 0, 0, INT32_MAX, INT32_MAX, 2)},
  };
  for (const Start& s : starts) {
    SCOPED_TRACE(s.what);
    clearStore();
    if (!s.values.empty()) store(s.values);
    open({t.root()});
    whole("opened");
    form->TotalsOnlyCmd->trigger();
    whole("totals only");
    form->StatusBarCmd->trigger();
    form->StatusBarCmd->trigger();
    whole("status bar off and on in totals only");
    form->ListAndTotalsCmd->trigger();
    whole("detail and totals");
    form->ListOnlyCmd->trigger();
    whole("detail only");
    form->ToolBarCmd->trigger();
    form->ToolBarCmd->trigger();
    whole("tool bar off and on");
    form->ListAndTotalsCmd->trigger();
    whole("detail and totals again");
    form->ExitCmdClick();
    restart();
    whole("after a restart");
    form.reset();
  }
}

TEST_F(PlacementTest, TheFullSizeStoredIsTheOneTheWindowHadLastInAFullView) {
  const QSize full = available().size() - QSize(40, 30);
  store(placement(600, 200, 0, 0, full.width(), full.height(), 3));
  open({t.root()});
  form->ListAndTotalsCmd->trigger();
  ASSERT_EQ(form->WindowSize(), full);
  form->resize(full - QSize(100, 100));  // changed in detail and totals, never back in totals only
  QCoreApplication::processEvents();
  form->ExitCmdClick();
  EXPECT_EQ(stored("FullWidth"), full.width() - 100);
  EXPECT_EQ(stored("FullHeight"), full.height() - 100);
  restart();
  ASSERT_TRUE(form->TotalsOnlyCmd->isChecked()) << "the view is stored by a full save only";
  form->ListAndTotalsCmd->trigger();
  EXPECT_EQ(form->WindowSize(), full - QSize(100, 100));
}

TEST_F(PlacementTest, ASizeOnlyThisScreenLimitedKeepsTheStoredOneUntilTheUserResizes) {
  // As a large font on a small screen: the stored sizes are more than the
  // screen shows. Changing views is no resize by the user.
  for (int view : {1, 3}) {
    SCOPED_TRACE("View " + std::to_string(view));
    clearStore();
    store(placement(5000, 4000, 0, 0, 5000, 4000, view));
    open({t.root()});
    form->TotalsOnlyCmd->trigger();
    form->ListAndTotalsCmd->trigger();
    EXPECT_EQ(form->frameGeometry().size(), available().size());
    form->ExitCmdClick();
    EXPECT_EQ(stored("FullWidth"), 5000);
    EXPECT_EQ(stored("FullHeight"), 4000);
    EXPECT_EQ(stored("Width"), 5000);
    EXPECT_EQ(stored("Height"), 4000);
    // The user's own resize is stored as it is.
    restart();
    if (form->TotalsOnlyCmd->isChecked()) form->ListAndTotalsCmd->trigger();
    const QSize smaller = form->WindowSize() - QSize(10, 10);
    form->resize(smaller);
    QCoreApplication::processEvents();
    form->ExitCmdClick();
    EXPECT_EQ(stored("FullWidth"), smaller.width());
    EXPECT_EQ(stored("Width"), smaller.width());
    form.reset();
  }
}

TEST_F(PlacementTest, ADamagedSizeIsNotStoredAgainButALargerScreensSizeIs) {
  // 2^31 - 1 is no size any desktop had: the next start reads a size no
  // larger than the largest remembered. 9000 x 5000 may be two screens'.
  struct Case {
    int32_t stored;
    int32_t expected;
  } cases[] = {{INT32_MAX, kLargestRememberedSide}, {kLargestRememberedSide + 1, kLargestRememberedSide}, {9000, 9000}};
  for (const Case& c : cases) {
    for (int view : {1, 3}) {
      SCOPED_TRACE(std::to_string(c.stored) + ", View " + std::to_string(view));
      clearStore();
      store(placement(c.stored, c.stored, 0, 0, c.stored, c.stored, view));
      open({t.root()});
      form->ExitCmdClick();
      // In totals only, the window's own size is the small one it shows.
      for (const char* name : {"FullWidth", "FullHeight"}) EXPECT_EQ(stored(name), c.expected) << name;
      if (view == 1)
        for (const char* name : {"Width", "Height"}) EXPECT_EQ(stored(name), c.expected) << name;
      form.reset();
    }
  }
}

TEST_F(PlacementTest, StartsAndExitsLeaveTheStoredPositionWhereItWasInEveryView) {
  // What is restored is what was stored: the window's frame at Left and Top.
  for (int view : {1, 2, 3}) {
    for (bool saveOnExit : {true, false}) {
      SCOPED_TRACE("View " + std::to_string(view) + (saveOnExit ? ", saved on exit" : ", detail and totals at each start"));
      clearStore();
      Values values = placement(560, 400, 100, 100, 560, 400, view);  // on the 800 x 600 test screen
      values.push_back({"SaveOnExit", saveOnExit ? 1 : 0});
      store(values);
      for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE("start " + std::to_string(run + 1));
        restart();
        EXPECT_EQ(form->frameGeometry().topLeft(), QPoint(100, 100));
        if (!saveOnExit) form->ListAndTotalsCmd->trigger();
        EXPECT_EQ(form->frameGeometry().topLeft(), QPoint(100, 100));
        QCoreApplication::processEvents();
        form->ExitCmdClick();
        EXPECT_EQ(stored("Left"), 100);
        EXPECT_EQ(stored("Top"), 100);
      }
      form.reset();
    }
  }
}

TEST_F(PlacementTest, AWindowStartedMaximisedIsRestoredWithinTheScreen) {
  const QRect area = available();
  for (int32_t side : {INT32_MAX, 5000}) {
    SCOPED_TRACE(side);
    clearStore();
    Values values = placement(side, side, 0, 0, side, side, 1);
    values.push_back({"WindowState", 2});
    store(values);
    TDiskUsageForm& f = open({t.root()});
    ASSERT_TRUE(f.windowState() & Qt::WindowMaximized);
    f.showNormal();  // the title bar's restore button
    QTRY_VERIFY(!(f.windowState() & Qt::WindowMaximized));
    QTRY_VERIFY(area.contains(f.frameGeometry()));
    const QRect bar(f.StatusBar->mapToGlobal(QPoint(0, 0)), f.StatusBar->size());
    EXPECT_TRUE(area.contains(bar)) << "the status bar is on the screen";
    f.ExitCmdClick();
    EXPECT_TRUE(area.contains(QPoint(stored("Left").value_or(-1), stored("Top").value_or(-1))));
    form.reset();
  }
}

TEST_F(PlacementTest, AMaximisedWindowShowsItsTotalsOnlyAtTheirSizeAndComesBackMaximised) {
  // Within one run, and across a restart in totals only.
  TDiskUsageForm& f = open({t.root()});
  f.resize(600, 420);
  f.move(40, 30);
  QCoreApplication::processEvents();
  f.showMaximized();
  QTRY_VERIFY(f.windowState() & Qt::WindowMaximized);
  f.TotalsOnlyCmd->trigger();
  QCoreApplication::processEvents();
  EXPECT_FALSE(f.windowState() & Qt::WindowMaximized) << "totals only has its own fixed size";
  EXPECT_EQ(f.WindowSize(), QSize(f.MinFormWidth(), f.MinFormHeight()));
  EXPECT_TRUE(available().contains(f.frameGeometry()));
  f.SaveSettingsNowCmd->trigger();
  EXPECT_EQ(stored("WindowState"), 2) << "the state the full view comes back in";
  EXPECT_EQ(stored("FullWidth"), 600);
  EXPECT_EQ(stored("FullHeight"), 420);
  f.ListAndTotalsCmd->trigger();
  QTRY_VERIFY(f.windowState() & Qt::WindowMaximized);
  f.showNormal();  // the title bar's restore button
  QTRY_VERIFY(!(f.windowState() & Qt::WindowMaximized));
  QTRY_COMPARE(f.WindowSize(), QSize(600, 420));

  // Saved maximised in totals only (as above): the next start shows the
  // totals at their size, not a maximised totals window, and the full view
  // comes back maximised with its normal size.
  f.showMaximized();
  QTRY_VERIFY(f.windowState() & Qt::WindowMaximized);
  f.TotalsOnlyCmd->trigger();
  QCoreApplication::processEvents();
  f.SaveSettingsNowCmd->trigger();
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE("start " + std::to_string(run + 1));
    restart();
    ASSERT_TRUE(form->TotalsOnlyCmd->isChecked());
    EXPECT_FALSE(form->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form->WindowSize(), QSize(form->MinFormWidth(), form->MinFormHeight()));
    form->ExitCmdClick();  // no full save: the stored state stays
    EXPECT_EQ(stored("WindowState"), 2);
  }
  restart();
  form->ListAndTotalsCmd->trigger();
  QTRY_VERIFY(form->windowState() & Qt::WindowMaximized);
  form->showNormal();
  QTRY_COMPARE(form->WindowSize(), QSize(600, 420));
}

TEST_F(PlacementTest, AWindowRestoredFromAStoredMinimisedStateIsStoredAsRestored) {
  // Only an edited file holds 1 (minimising during a run stores nothing new
  // but the state): the user restores the window once, not at every start.
  Values values = placement(600, 420, 40, 30, 600, 420, 1);
  values.push_back({"WindowState", 1});
  store(values);
  TDiskUsageForm& f = open({t.root()});
  f.showNormal();
  QTRY_VERIFY(!(f.windowState() & Qt::WindowMinimized));
  QCoreApplication::processEvents();
  EXPECT_EQ(stored("WindowState"), 0);
  EXPECT_EQ(stored("Width"), 600);
}

TEST_F(PlacementTest, AWindowMovedByTheUserStaysThereWhenRestoredFromMaximised) {
  // The first start centres the window once it has its frame; later the
  // user's place holds.
  TDiskUsageForm& f = open({t.root()});
  f.resize(600, 420);
  f.move(30, 20);
  QCoreApplication::processEvents();
  const QPoint at = f.pos();
  f.showMaximized();
  QTRY_VERIFY(f.windowState() & Qt::WindowMaximized);
  f.showNormal();
  QTRY_VERIFY(!(f.windowState() & Qt::WindowMaximized));
  QCoreApplication::processEvents();
  EXPECT_EQ(f.pos(), at);
  EXPECT_EQ(f.WindowSize(), QSize(600, 420));
}

TEST_F(PlacementTest, AMoveAloneIsStoredOnceItHasSettled) {
  TDiskUsageForm& f = open({t.root()});
  for (const QPoint& to : {QPoint(30, 20), QPoint(31, 21), QPoint(40, 25)}) f.move(to);  // a drag
  QTRY_COMPARE(stored("Left"), std::optional<int32_t>(40));
  EXPECT_EQ(stored("Top"), 25);
}

TEST_F(PlacementTest, AWindowStartedMaximisedShowsItsTotalsOnlyWhereItsNormalPlaceWas) {
  Values values = placement(600, 420, 40, 30, 600, 420, 1);
  values.push_back({"WindowState", 2});
  store(values);
  TDiskUsageForm& f = open({t.root()});
  ASSERT_TRUE(f.windowState() & Qt::WindowMaximized);
  f.TotalsOnlyCmd->trigger();
  QCoreApplication::processEvents();
  EXPECT_FALSE(f.windowState() & Qt::WindowMaximized);
  // Moved there once the window manager has restored the normal frame.
  QTRY_COMPARE(f.pos(), QPoint(40, 30));
  QTRY_COMPARE(stored("Left"), std::optional<int32_t>(40));
  EXPECT_EQ(stored("Top"), 30);
}

TEST_F(PlacementTest, ATotalsOnlyWindowAtTheScreensBottomStaysThere) {
  // Kept on the screen at its own height, not at the full view's least one.
  store(placement(541, 82, 30, 0, 700, 500, 3));
  open({t.root()});
  const QSize totals = form->WindowSize();
  const int top = available().y() + available().height() - form->frameGeometry().height();
  form.reset();
  clearStore();
  store(placement(totals.width(), totals.height(), 30, top, 700, 500, 3));
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE("start " + std::to_string(run + 1));
    restart();
    EXPECT_EQ(form->frameGeometry().top(), top);
    form->ExitCmdClick();
    EXPECT_EQ(stored("Top"), top);
  }
}

TEST_F(PlacementTest, AFullViewStartOpensAtTheFullSizeWhenTheLastPlacementWasInTotalsOnly) {
  // Totals only, then closed without a full save: the view stored is still
  // the full one, the placement the totals'. The full size is not lost.
  store(placement(700, 500, 40, 30, 700, 500, 1));
  TDiskUsageForm& f = open({t.root()});
  ASSERT_EQ(f.WindowSize(), QSize(700, 500));
  f.TotalsOnlyCmd->trigger();
  QCoreApplication::processEvents();
  f.ExitCmdClick();
  ASSERT_EQ(stored("View"), 1) << "no full save";
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE("start " + std::to_string(run + 1));
    restart();
    EXPECT_EQ(form->WindowSize(), QSize(700, 500));
    form->ExitCmdClick();
    EXPECT_EQ(stored("FullWidth"), 700);
    EXPECT_EQ(stored("FullHeight"), 500);
  }
}
