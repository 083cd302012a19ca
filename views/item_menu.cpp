#include "views/item_menu.h"

#include <QIcon>

TItemMenu::TItemMenu(const QStringList& applications, bool isLink, QWidget* parent) : QMenu(parent) {
  OpenAct = addAction(QIcon::fromTheme(QStringLiteral("document-open")), QStringLiteral("&Open"));
  setDefaultAction(OpenAct);
  OpenWithMenu = addMenu(QStringLiteral("Open &With"));
  for (const QString& app : applications) OpenWithActs << OpenWithMenu->addAction(app);
  if (applications.isEmpty()) OpenWithMenu->addAction(QStringLiteral("No application for this type"))->setEnabled(false);
  if (isLink) OpenContainingAct = addAction(QStringLiteral("Open Containing &Folder"));
  addSeparator();
  CutAct = addAction(QIcon::fromTheme(QStringLiteral("edit-cut")), QStringLiteral("Cu&t"));
  CopyAct = addAction(QIcon::fromTheme(QStringLiteral("edit-copy")), QStringLiteral("&Copy"));
  CopyPathAct = addAction(QStringLiteral("Copy &Path"));
  addSeparator();
  RenameAct = addAction(QStringLiteral("Rena&me..."));
  TrashAct = addAction(QIcon::fromTheme(QStringLiteral("user-trash")), QStringLiteral("Move to T&rash"));
  addSeparator();
  PropertiesAct = addAction(QIcon::fromTheme(QStringLiteral("document-properties")), QStringLiteral("P&roperties..."));
}
