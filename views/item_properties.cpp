#include "views/item_properties.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/window_room.h"

namespace {

// A label whose text, when longer than the room the window has for it (a
// name of 255 bytes, a deep folder), is shown elided in the middle with the
// whole of it in its tool tip, rather than widening the window past the
// screen. text() is always the whole text; a text shown whole is selectable
// as any label's.
class TElidingLabel : public QLabel {
 public:
  explicit TElidingLabel(const QString& text) : QLabel(text) {
    setTextFormat(Qt::PlainText);  // names and paths are plain text, whatever they look like
    setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  QSize minimumSizeHint() const override {
    return QSize(std::min(QLabel::sizeHint().width(), fontMetrics().averageCharWidth() * 12), QLabel::minimumSizeHint().height());
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    setToolTip(elided() ? text() : QString());
  }
  void paintEvent(QPaintEvent* event) override {
    if (!elided()) {
      QLabel::paintEvent(event);
      return;
    }
    QPainter p(this);
    const QRect r = contentsRect();
    p.setPen(palette().color(foregroundRole()));
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(text(), Qt::ElideMiddle, r.width()));
  }

 private:
  bool elided() const { return fontMetrics().horizontalAdvance(text()) > contentsRect().width(); }
};

}  // namespace

TItemProperties::TItemProperties(const QString& name, const std::vector<std::pair<QString, QString>>& rows,
                                 QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(name + QStringLiteral(" Properties"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  // Names and paths are plain text, whatever they look like.
  auto* title = new TElidingLabel(name);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  layout->addWidget(title);
  for (const auto& [caption, value] : rows) {
    auto* v = new TElidingLabel(value);
    v->setObjectName(caption);
    form->addRow(caption + QLatin1Char(':'), v);
  }
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  // Wide enough for every text where the screen has room, else elided.
  platform::fitToScreen(*this, sizeHint(), parent);
}
