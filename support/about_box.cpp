#include "support/about_box.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

#include "support/app_information.h"
#include "support/artwork.h"

namespace {

QFont aboutFont() {
  QFont f(QFontDatabase::families().contains(QStringLiteral("Tahoma")) ? QStringLiteral("Tahoma")
                                                                       : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
  f.setPixelSize(13);
  return f;
}

QLabel* whiteLabel(QWidget* parent, const QRect& geometry) {
  auto* l = new QLabel(parent);
  l->setGeometry(geometry);
  l->setFixedSize(geometry.size());
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, Qt::white);
  l->setPalette(pal);
  return l;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent, const TAppInformation* info)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_info(info) {
  setObjectName(QStringLiteral("AboutBox"));
  setFixedSize(327, 249);
  setFont(aboutFont());
  QPalette window = palette();
  window.setColor(QPalette::Window, QColor(231, 221, 199));
  setPalette(window);
  setAutoFillBackground(true);

  Panel = new QFrame(this);
  Panel->setGeometry(0, 0, 327, 249);
  Panel->setFrameStyle(QFrame::Box | QFrame::Plain);
  Panel->setLineWidth(1);
  QPalette panel = Panel->palette();
  panel.setColor(QPalette::Window, QColor(81, 113, 128));
  panel.setColor(QPalette::WindowText, QColor(40, 56, 64));
  Panel->setPalette(panel);
  Panel->setAutoFillBackground(true);

  ProgramIcon = new QLabel(Panel);
  ProgramIcon->setGeometry(8, 15, 48, 48);
  ProgramIcon->setPixmap(::ProgramIcon(48));
  ProgramNameImage = new QLabel(Panel);
  ProgramNameImage->setGeometry(64, 16, 244, 57);
  ProgramNameImage->setPixmap(::ProgramNameImage());
  VersionLabel = whiteLabel(Panel, QRect(72, 56, 161, 16));
  CopyrightLabel = whiteLabel(Panel, QRect(70, 81, 235, 42));
  CopyrightLabel->setWordWrap(true);
  CopyrightLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  DivisionBevel = new QFrame(Panel);
  DivisionBevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  DivisionBevel->setGeometry(70, 127, 235, 2);
  OKButton = new QPushButton(QStringLiteral("OK"), Panel);
  OKButton->setGeometry(243, 207, 62, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  for (QWidget* w : std::initializer_list<QWidget*>{this, Panel, ProgramIcon, ProgramNameImage, CopyrightLabel})
    w->installEventFilter(this);
}

void TAboutBox::SetOpacity(int alpha) { setWindowOpacity(alpha >= 255 ? 1.0 : std::max(0, alpha) / 255.0); }

void TAboutBox::showEvent(QShowEvent* event) {
  SetOpacity(255);
  const TAppInformation running;
  const TAppInformation& info = m_info ? *m_info : running;
  setWindowTitle(QStringLiteral("About ") + info.GetProductName());
  VersionLabel->setText(QStringLiteral("Version ") + info.GetShortVersion());
  CopyrightLabel->setText(info.GetLegalNotice());
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  QDialog::showEvent(event);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick && watched == ProgramIcon) {
    m_pressed = false;
    ShowCredits();
    return true;
  }
  if (DragEvent(event)) return true;
  return QDialog::eventFilter(watched, event);
}

// A window manager's move takes the pointer from the moment it starts: begun
// at the press, it swallows the second click of a double-click on the icon.
// So the move starts only once the pointer has gone as far as a drag must.
bool TAboutBox::DragEvent(QEvent* event) {
  const auto type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) return false;
  const auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint at = mouse->globalPosition().toPoint();
  switch (type) {
    case QEvent::MouseButtonPress:
      if (mouse->button() != Qt::LeftButton) return false;
      m_pressed = true;
      m_followingPointer = false;
      m_pressAt = at;
      m_windowAt = pos();
      return true;
    case QEvent::MouseMove:
      if (!m_pressed || !(mouse->buttons() & Qt::LeftButton)) return false;
      if (!m_followingPointer) {
        if ((at - m_pressAt).manhattanLength() < QApplication::startDragDistance()) return true;
        if (StartSystemMove()) {
          m_pressed = false;  // the window system has the pointer until the button goes up
          return true;
        }
        m_followingPointer = true;
      }
      move(m_windowAt + (at - m_pressAt));
      return true;
    default:
      if (mouse->button() != Qt::LeftButton || !m_pressed) return false;
      m_pressed = false;
      m_followingPointer = false;
      return true;
  }
}

bool TAboutBox::StartSystemMove() {
  QWindow* w = windowHandle();
  return w && w->startSystemMove();
}

void TAboutBox::ShowCredits() {
  QDialog credits(this, Qt::Dialog | Qt::FramelessWindowHint);
  credits.setObjectName(QStringLiteral("Credits"));
  auto* layout = new QVBoxLayout(&credits);
  auto* text = new QLabel(QStringLiteral(
      "<b>Tallorin</b><br>Written by the Tallorin developers at Quorlan.<br><br>"
      "Built with Qt 6 and the C++ standard library.<br>Its usage engine, tlr32, walks folders with "
      "its own threads.<br><br>Thanks to everyone who measured, tried and reported."));
  text->setWordWrap(true);
  layout->addWidget(text);
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setFlat(true);  // an outline to click, as the credits ask
  ok->setStyleSheet(QStringLiteral("QPushButton { border: 1px solid #51717f; padding: 3px 18px; }"));
  connect(ok, &QPushButton::clicked, &credits, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignRight);
  m_credits = &credits;
  credits.exec();
  m_credits = nullptr;
}
