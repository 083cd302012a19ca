#pragma once
// The about window: borderless, 327 x 249, the program's icon and name
// picture, the version and the legal notice read from the running file.
// Dragged with the left button anywhere but its button, once the pointer has
// gone past the drag distance; a double-click on the icon shows the credits.
#include <QDialog>
#include <QPoint>

class QFrame;
class QLabel;
class QPushButton;
class TAppInformation;

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  // info: where the texts come from; null for the running executable.
  explicit TAboutBox(QWidget* parent = nullptr, const TAppInformation* info = nullptr);

  // 255 draws the window normally; lower values make it translucent.
  void SetOpacity(int alpha);

  QFrame* Panel = nullptr;
  QLabel* ProgramIcon = nullptr;
  QLabel* ProgramNameImage = nullptr;
  QLabel* VersionLabel = nullptr;
  QLabel* CopyrightLabel = nullptr;
  QFrame* DivisionBevel = nullptr;
  QPushButton* OKButton = nullptr;

  // The credits window, while it is open (tests close it).
  QDialog* credits() const { return m_credits; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Hands the move to the window system, as a title bar would; false where
  // it has no move of its own (the window then follows the pointer itself).
  virtual bool StartSystemMove();

 private:
  void ShowCredits();
  bool DragEvent(QEvent* event);
  const TAppInformation* m_info;
  QDialog* m_credits = nullptr;
  // The left button's press, while it is held and no move has started.
  bool m_pressed = false;
  QPoint m_pressAt;   // the pointer, global
  QPoint m_windowAt;  // the window's position at the press
  bool m_followingPointer = false;  // moving the window by hand
};
