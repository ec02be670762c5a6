#include "app/form_about.h"

#include "app/views/glyphs.h"
#include "app/views/window_fonts.h"
#include "logic/transfer/application_title.h"

namespace tolvane {
namespace {

constexpr QSize ClientSize(220, 113);
constexpr const char* OkCaption = "OK";

}  // namespace

TFormAbout::TFormAbout(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName("FormAbout");
  setWindowTitle(WindowCaption);
  setWindowIcon(ApplicationIcon());
  setFont(SansFont(11));
  setFixedSize(ClientSize);

  TitleLabel = new QLabel(WindowCaption, this);
  TitleLabel->setObjectName("Label_Title");
  TitleLabel->setFont(SerifFont(9, true));
  TitleLabel->setAlignment(Qt::AlignCenter);
  TitleLabel->setGeometry(8, 32, 204, 11);

  Button_OK = new QPushButton(OkCaption, this);
  Button_OK->setObjectName("Button_OK");
  Button_OK->setGeometry(72, 72, 73, 25);
  Button_OK->setDefault(true);
  Button_OK->setFocus();
  connect(Button_OK, &QPushButton::clicked, this, [this] { Button_OKClick(); });
}

void TFormAbout::CentreOverOwner() {
  const QWidget* Owner = parentWidget();
  if (Owner == nullptr) return;
  const QRect OwnerFrame = Owner->frameGeometry();
  move(OwnerFrame.center() - QPoint(width() / 2, height() / 2));
}

void TFormAbout::Button_OKClick() {
  accept();
}

}  // namespace tolvane
