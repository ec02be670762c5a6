#include "app/views/control_view.h"

#include <QGridLayout>
#include <array>

#include "app/views/glyphs.h"
#include "app/views/window_fonts.h"

namespace tolvane {
namespace {

constexpr const char* ReadoutCaption = "------";
const QColor Silver(192, 192, 192);

struct TReadoutRow {
  int Top;
  const char* ChannelOneName;
  const char* ChannelTwoName;
  const char* Unit;
  QColor Colour;
};

const std::array<TReadoutRow, 3> ReadoutRows = {{
    {32, "Panel_U_A", "Panel_U_B", "V", QColor(0, 255, 0)},
    {72, "Panel_I_A", "Panel_I_B", "A", QColor(255, 0, 0)},
    {112, "Panel_P_A", "Panel_P_B", "W", QColor(255, 255, 0)},
}};

void Colour(QWidget* Widget, const QColor& Background, const QColor& Text) {
  QPalette Palette = Widget->palette();
  Palette.setColor(QPalette::Window, Background);
  Palette.setColor(QPalette::WindowText, Text);
  Widget->setPalette(Palette);
  Widget->setAutoFillBackground(true);
}

// A raised panel with a centred caption, as the read-outs and unit boxes are.
QLabel* MakeCaptionPanel(QWidget* Parent, const QString& Name, const QString& Caption,
                         const QRect& Geometry, const QColor& Background, const QColor& Text) {
  auto* Panel = new QLabel(Caption, Parent);
  Panel->setObjectName(Name);
  Panel->setGeometry(Geometry);
  Panel->setAlignment(Qt::AlignCenter);
  Panel->setFrameShape(QFrame::Panel);
  Panel->setFrameShadow(QFrame::Raised);
  Panel->setFont(SansFont(32, true));
  Colour(Panel, Background, Text);
  return Panel;
}

QFrame* MakeChannelPanel(QWidget* Parent, const char* Name, const char* Title, int Left,
                         bool ChannelOne) {
  auto* Panel = new QFrame(Parent);
  Panel->setObjectName(Name);
  Panel->setGeometry(Left, 8, 161, 153);
  Panel->setFrameShape(QFrame::Panel);
  Panel->setFrameShadow(QFrame::Raised);

  auto* TitleLabel = new QLabel(Title, Panel);
  TitleLabel->setObjectName(QString(Name) + "_Title");
  TitleLabel->setFont(SansFont(16, true));
  TitleLabel->move(64, 6);
  TitleLabel->adjustSize();

  for (const TReadoutRow& Row : ReadoutRows) {
    const QString ReadoutName = ChannelOne ? Row.ChannelOneName : Row.ChannelTwoName;
    MakeCaptionPanel(Panel, ReadoutName, ReadoutCaption, QRect(8, Row.Top, 113, 33), Qt::black,
                     Row.Colour);
    MakeCaptionPanel(Panel, ReadoutName + "_Unit", Row.Unit, QRect(120, Row.Top, 33, 33), Qt::black,
                     Row.Colour);
  }
  return Panel;
}

}  // namespace

TControlView::TControlView(QWidget* Parent) : QFrame(Parent) {
  setObjectName("PanelControl");
  setGeometry(0, 0, 457, 169);
  Colour(this, Silver, Qt::black);

  // The display keeps its designed size and stays in the middle of a larger window.
  auto* Face = new QWidget(this);
  Face->setObjectName("ControlFace");
  Face->setFixedSize(457, 169);
  auto* Centre = new QGridLayout(this);
  Centre->setContentsMargins(0, 0, 0, 0);
  Centre->addWidget(Face, 0, 0, Qt::AlignCenter);

  Panel1 = MakeChannelPanel(Face, "Panel1", "CH 1", 8, true);
  Panel2 = MakeChannelPanel(Face, "Panel2", "CH 2", 184, false);

  img1 = new QLabel(Face);
  img1->setObjectName("img1");
  img1->setGeometry(360, 32, 73, 73);
  img1->setFrameShape(QFrame::Box);
  img1->setAlignment(Qt::AlignCenter);
  img1->setPixmap(DialPicture());
}

}  // namespace tolvane
