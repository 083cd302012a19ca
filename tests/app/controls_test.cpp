// How the tool bar's controls look and what the folder box offers.
#include <QComboBox>
#include <QToolButton>
#include <QTreeView>
#include <cmath>

#include "form_fixture.h"

namespace {

// Relative luminance and contrast ratio as the web's accessibility rules
// define them: 4.5 is what a normal text needs against its background.
double luminance(QColor c) {
  auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double contrast(QColor a, QColor b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The share of a picture's visible pixels that stand out from the tool bar
// at least as much as a normal text must.
double shareOfClearPixels(const QToolButton* button) {
  const QImage image = button->icon().pixmap(QSize(16, 16), QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32);
  const QColor background = button->palette().color(QPalette::Button);
  int visible = 0, clear = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() < 200) continue;
      ++visible;
      if (contrast(c, background) >= 4.5) ++clear;
    }
  return visible ? double(clear) / visible : 0;
}

}  // namespace

TEST_F(FormTest, UpAndRefreshDoNotLookDisabled) {
  TDiskUsageForm& f = open({t.root()});
  for (QToolButton* b : {f.ParentDirBtn, f.RefreshBtn}) {
    SCOPED_TRACE(b->toolTip().toStdString());
    EXPECT_TRUE(b->isEnabled());
    EXPECT_FALSE(b->icon().isNull());
    EXPECT_GE(shareOfClearPixels(b), 0.25) << "a quarter of the picture at least reads as clearly as a text";
  }
}

TEST_F(FormTest, TheFolderBoxOffersTheParentsOfTheCurrentFolder) {
  TDiskUsageForm& f = open({t.path("Alpha/y")});
  ASSERT_EQ(f.currentFolderPath(), t.path("Alpha/y") + "/");
  std::vector<std::string> parents;
  for (std::string p = t.path("Alpha/y"); p != "/";) {
    p = p.substr(0, p.rfind('/'));
    if (p.empty()) p = "/";
    parents.push_back(p);
  }
  for (const std::string& p : parents)
    EXPECT_GE(f.CurrentDirBox->findData(QByteArray::fromStdString(p)), 0) << p << " is offered";
  // Picking the grandparent goes there, and the box still offers the way back up.
  const int at = f.CurrentDirBox->findData(QByteArray::fromStdString(t.root()));
  ASSERT_GE(at, 0);
  f.CurrentDirBox->setCurrentIndex(at);
  emit f.CurrentDirBox->activated(at);
  ASSERT_TRUE(waitUntil([&] { return f.currentFolderPath() == t.root() + "/"; }));
  EXPECT_EQ(f.CurrentDirBox->currentText(), QString::fromStdString(t.root()));
  EXPECT_GE(f.CurrentDirBox->findData(QByteArray::fromStdString(parents.back())), 0);
  EXPECT_LT(f.CurrentDirBox->findData(QByteArray::fromStdString(t.path("Alpha/y"))), 0)
      << "what lies below the current folder is not offered";
}
