#pragma once
// The about window: borderless, 327 x 249, the program's icon and name
// picture, the version and the legal notice read from the running file.
// Dragged with the left button anywhere but its button; a double-click on the
// icon shows the credits.
#include <QDialog>

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

 private:
  void ShowCredits();
  const TAppInformation* m_info;
  QDialog* m_credits = nullptr;
};
