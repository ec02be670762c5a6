#include "app/adjustments_view.h"

#include "app/glyphs.h"
#include "app/speed_button.h"
#include "app/transfer_sequencer.h"

namespace tolvane {

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

QString TextOf(std::string_view Text) {
  return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
}

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

    auto* Label = new QLabel(TextOf(Place.Label), GroupSettings);
    Label->setObjectName("Label_" + TextOf(Place.Field));
    Label->setFont(FieldFont);
    Label->move(Left, LabelTops[Row]);
    Label->adjustSize();
    Label->setEnabled(Place.Enabled);

    auto* Edit = new QLineEdit(TextOf(Place.InitialText), GroupSettings);
    Edit->setObjectName(TextOf(Place.Field));
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
  ProgressBar1->setRange(ProgressMin, ProgressMax);
  ProgressBar1->setValue(ProgressMin);
  ProgressBar1->setTextVisible(false);

  LabelProgress = new QLabel(ProgressStartCaption, PaneProgress);
  LabelProgress->setObjectName("LabelProgress");
  // Wide enough for the largest caption the sequences show, "108%".
  LabelProgress->setGeometry(278, 16, 40, 13);

  PaneProgress->hide();
}

}  // namespace tolvane
