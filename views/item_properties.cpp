#include "views/item_properties.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

TItemProperties::TItemProperties(const QString& name, const std::vector<std::pair<QString, QString>>& rows,
                                 QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(name + QStringLiteral(" Properties"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  // Names and paths are plain text, whatever they look like.
  auto* title = new QLabel(name);
  title->setTextFormat(Qt::PlainText);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  title->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(title);
  for (const auto& [caption, value] : rows) {
    auto* v = new QLabel(value);
    v->setTextFormat(Qt::PlainText);
    v->setTextInteractionFlags(Qt::TextSelectableByMouse);
    v->setObjectName(caption);
    form->addRow(caption + QLatin1Char(':'), v);
  }
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}
