#include "app/adjustments_view.h"

#include "app/glyphs.h"
#include "app/speed_button.h"

namespace tolvane {

const std::array<TFieldPlace, FieldCount> FieldPlaces = {{
    {"Ua max, V", "Edit_Ua_max", "03200", true},
    {"Ia max, mA", "Edit_Ia_max", "00999", true},
    {"Ug max, V", "Edit_Ug_max", "00650", true},
    {"Ig max, mA", "Edit_Ig_max", "00250", true},
    {"Time ON", "Edit_Time_ON", "00020", true},
    {"Time OFF", "Edit_Time_OFF", "00040", true},
    {"Time Light", "Edit_Time_Light", "00002", true},
    {"Time Sleep", "Edit_Time_Sleep", "00010", true},
    {"SWR HI", "Edit_SWR_HI", "00005", true},
    {"VOX Delay", "Edit_VOX_Delay", "00010", true},
    {"Switch Delay", "Edit_Switch_Delay", "00050", true},
    {"Setting1", "Edit9", "0", false},
    {"Setting2", "Edit10", "0", false},
    {"Setting3", "Edit11", "0", false},
    {"Setting4", "Edit12", "0", false},
    {"Setting5", "Edit13", "0", false},
    {"Setting6", "Edit14", "0", false},
    {"Setting7", "Edit15", "0", false},
    {"Setting8", "Edit16", "0", false},
    {"Setting9", "Edit17", "0", false},
}};

namespace {

constexpr const char* GroupCaption = "Settings";
constexpr const char* ReadCaption = "Read";
constexpr const char* ReadHint = "Read EEPROM";
constexpr const char* WriteCaption = "Write";
constexpr const char* WriteHint = "Write EEPROM";
constexpr const char* ProgressCaption = "Progress:";
constexpr const char* ProgressStartCaption = "0";

constexpr std::array<int, 5> ColumnLefts = {6, 78, 150, 222, 294};
constexpr std::array<int, FieldRows> LabelTops = {13, 48, 83, 118};
constexpr std::array<int, FieldRows> FieldTops = {27, 62, 97, 132};
constexpr QSize FieldSize(60, 21);

}  // namespace

TAdjustmentsView::TAdjustmentsView(QWidget* Parent) : QFrame(Parent) {
  setObjectName("PanelTuning");
  setGeometry(0, 0, 457, 169);

  GroupSettings = new QGroupBox(GroupCaption, this);
  GroupSettings->setObjectName("GroupSettings");
  GroupSettings->setGeometry(8, 0, 361, 161);
  // The bold font is the caption's; every control inside goes back to the window's font.
  QFont CaptionFont = font();
  CaptionFont.setBold(true);
  GroupSettings->setFont(CaptionFont);
  BuildFields();

  Button_Open = MakeSpeedButton(this, "Button_Open", ConnectCaption, ConnectHint, ConnectGlyph(),
                                QRect(376, 8, 73, 25));
  Button_Open->setCheckable(true);
  Button6 =
      MakeSpeedButton(this, "Button6", ReadCaption, ReadHint, ReadGlyph(), QRect(376, 104, 73, 25));
  Button6->setEnabled(false);
  Button7 = MakeSpeedButton(this, "Button7", WriteCaption, WriteHint, WriteGlyph(),
                            QRect(376, 136, 73, 25));
  Button7->setEnabled(false);

  BuildProgressPanel();
}

QLineEdit* TAdjustmentsView::Field(const QString& Name) const {
  for (QLineEdit* Edit : Fields) {
    if (Edit->objectName() == Name) return Edit;
  }
  return nullptr;
}

void TAdjustmentsView::BuildFields() {
  const QFont FieldFont = font();
  for (int Index = 0; Index < FieldCount; ++Index) {
    const TFieldPlace& Place = FieldPlaces[Index];
    const int Left = ColumnLefts[Index / FieldRows];
    const int Row = Index % FieldRows;

    auto* Label = new QLabel(Place.Label, GroupSettings);
    Label->setObjectName(QString("Label_") + Place.Field);
    Label->setFont(FieldFont);
    Label->move(Left, LabelTops[Row]);
    Label->adjustSize();
    Label->setEnabled(Place.Enabled);

    auto* Edit = new QLineEdit(Place.InitialText, GroupSettings);
    Edit->setObjectName(Place.Field);
    Edit->setFont(FieldFont);
    Edit->setGeometry(QRect(QPoint(Left, FieldTops[Row]), FieldSize));
    Edit->setEnabled(Place.Enabled);

    Labels[Index] = Label;
    Fields[Index] = Edit;
    if (Index > 0) setTabOrder(Fields[Index - 1], Edit);
  }
}

void TAdjustmentsView::BuildProgressPanel() {
  PaneProgress = new QFrame(this);
  PaneProgress->setObjectName("PaneProgress");
  PaneProgress->setGeometry(24, 72, 329, 41);
  PaneProgress->setFrameShape(QFrame::Panel);
  PaneProgress->setFrameShadow(QFrame::Raised);
  PaneProgress->setAutoFillBackground(true);

  LabProgress = new QLabel(ProgressCaption, PaneProgress);
  LabProgress->setObjectName("LabProgress");
  LabProgress->move(8, 14);
  LabProgress->adjustSize();

  ProgressBar1 = new QProgressBar(PaneProgress);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(56, 8, 209, 25);
  ProgressBar1->setRange(0, ProgressMaximum);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  LabelProgress = new QLabel(ProgressStartCaption, PaneProgress);
  LabelProgress->setObjectName("LabelProgress");
  // Wide enough for the largest caption the sequences show, "108%".
  LabelProgress->setGeometry(278, 16, 40, 13);

  PaneProgress->hide();
}

}  // namespace tolvane
