#pragma once
// The menu of one item of the list: what one does with a file or folder.
// It holds actions only; the window carries them out. "Open Containing
// Folder" is there only for a link.
#include <QMenu>
#include <QStringList>

class TItemMenu : public QMenu {
  Q_OBJECT
 public:
  // applications: the names of the applications that open the item's type.
  TItemMenu(const QStringList& applications, bool isLink, QWidget* parent = nullptr);

  QAction* OpenAct = nullptr;
  QMenu* OpenWithMenu = nullptr;
  QList<QAction*> OpenWithActs;  // in the order of the applications given
  QAction* OpenContainingAct = nullptr;  // null unless a link
  QAction* CutAct = nullptr;
  QAction* CopyAct = nullptr;
  QAction* CopyPathAct = nullptr;
  QAction* RenameAct = nullptr;
  QAction* TrashAct = nullptr;
  QAction* PropertiesAct = nullptr;
};
