#include "app/views/adjustments_view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/views/glyphs.h"
#include "app/views/speed_button.h"
#include "logic/transfer/transfer_sequencer.h"
#include "portsetup/mnemonics.h"

namespace tolvane {

namespace {

constexpr const char* GroupCaption = "Settings";
constexpr const char* ReadHint = "Read EEPROM";
constexpr const char* WriteHint = "Write EEPROM";
constexpr const char* ProgressCaption = "Progress:";
constexpr const char* ProgressStartCaption = "0";
constexpr const char* ReservedDescription = "Reserved, not used";

// What each register's field holds, for a screen reader, where its label is terse.
constexpr std::array<const char*, RegisterCount> FieldDescriptions = {
    "Anode voltage protection limit, in volts. Five digits, for example 03200.",
    "Anode current protection limit, in milliamperes. Five digits, for example 00999.",
    "Grid voltage protection limit, in volts. Five digits, for example 00650.",
    "Grid current protection limit, in milliamperes. Five digits, for example 00250.",
    "Switching time on. Five digits, for example 00020.",
    "Switching time off. Five digits, for example 00040.",
    "Switching time of the light. Five digits, for example 00002.",
    "Switching time to sleep. Five digits, for example 00010.",
    "Standing wave ratio protection limit. Five digits, for example 00005.",
    "VOX delay. Five digits, for example 00010.",
    "Switch delay. Five digits, for example 00050.",
};

constexpr QSize FieldSize(60, 21);
constexpr int ColumnSpacing = 10;
constexpr int RowSpacing = 1;     // between a field and the label of the next row
constexpr int InsideMargin = 4;   // between the group's frame and the fields
constexpr int TitleGap = 3;       // between the group's caption and the first labels
constexpr int ProgressLeft = 16;  // in the group, over the fields
constexpr int ProgressTop = 72;

QString TextOf(std::string_view Text) {
  return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
}

}  // namespace

TAdjustmentsView::TAdjustmentsView(QWidget* Parent) : QFrame(Parent) {
  setObjectName("PanelTuning");
  setGeometry(0, 0, 457, 169);

  GroupSettings = new QGroupBox(GroupCaption, this);
  GroupSettings->setObjectName("GroupSettings");
  // The bold font is the caption's; every control inside goes back to the window's font.
  QFont CaptionFont = font();
  CaptionFont.setBold(true);
  GroupSettings->setFont(CaptionFont);
  BuildFields();

  Button_Open = MakeSpeedButton(this, "Button_Open", ConnectButtonCaption, ConnectHint,
                                ConnectGlyph(), QRect(376, 8, 73, 25));
  Button_Open->setCheckable(true);
  Button6 = MakeSpeedButton(this, "Button6", ReadButtonCaption, ReadHint, ReadGlyph(),
                            QRect(376, 104, 73, 25));
  Button6->setEnabled(false);
  Button7 = MakeSpeedButton(this, "Button7", WriteButtonCaption, WriteHint, WriteGlyph(),
                            QRect(376, 136, 73, 25));
  Button7->setEnabled(false);

  BuildProgressPanel();
  LayOut();
}

void TAdjustmentsView::LayOut() {
  // Connect at the top, Read and Write at the bottom, beside the group.
  auto* Buttons = new QVBoxLayout;
  Buttons->setContentsMargins(0, 8, 0, 0);
  Buttons->addWidget(Button_Open);
  Buttons->addStretch(1);
  Buttons->addWidget(Button6);
  Buttons->addSpacing(7);
  Buttons->addWidget(Button7);

  auto* Content = new QHBoxLayout;
  Content->setSpacing(7);
  Content->addWidget(GroupSettings);
  Content->addLayout(Buttons);

  // The view keeps its designed size and stays in the middle of a larger window.
  auto* Face = new QWidget(this);
  Face->setObjectName("TuningFace");
  Face->setLayout(Content);
  Face->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  Content->setContentsMargins(8, 0, 8, 2);
  auto* Centre = new QGridLayout(this);
  Centre->setContentsMargins(0, 0, 0, 0);
  Centre->addWidget(Face, 0, 0, Qt::AlignCenter);

  setTabOrder(Fields[RegisterCount - 1], Button_Open);
  setTabOrder(Button_Open, Button6);
  setTabOrder(Button6, Button7);
  setTabOrder(Button7, Fields[RegisterCount]);
}

QLineEdit* TAdjustmentsView::Field(const QString& Name) const {
  for (QLineEdit* Edit : Fields) {
    if (Edit->objectName() == Name) return Edit;
  }
  return nullptr;
}

void TAdjustmentsView::BuildFields() {
  const QFont FieldFont = font();
  auto* Grid = new QGridLayout(GroupSettings);
  Grid->setHorizontalSpacing(ColumnSpacing);
  Grid->setVerticalSpacing(0);
  // The group's contents begin below its caption, whose line the first labels must not touch.
  Grid->setContentsMargins(InsideMargin, TitleGap, InsideMargin, InsideMargin);
  // The buttons' and the menus' Alt letters are taken; each label gives its field a free letter
  // of its caption and names the field for a screen reader.
  QStringList Captions;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) Captions << TextOf(FieldPlaces[Row].Label);
  const QStringList Marked = WithMnemonics(Captions, AdjustmentsTakenLetters);
  for (int Index = 0; Index < FieldCount; ++Index) {
    const TFieldPlace& Place = FieldPlaces[Index];
    const int Column = Index / FieldRows;
    const int Row = Index % FieldRows;

    auto* Label = new QLabel(Place.Enabled ? Marked[Index] : TextOf(Place.Label), GroupSettings);
    Label->setObjectName("Label_" + TextOf(Place.Field));
    Label->setFont(FieldFont);
    Label->setEnabled(Place.Enabled);

    auto* Edit = new QLineEdit(TextOf(Place.InitialText), GroupSettings);
    Edit->setObjectName(TextOf(Place.Field));
    Edit->setFont(FieldFont);
    Edit->setFixedSize(FieldSize);
    Edit->setEnabled(Place.Enabled);
    Label->setBuddy(Edit);
    Edit->setAccessibleDescription(Place.Enabled ? FieldDescriptions[std::size_t(Index)]
                                                 : ReservedDescription);

    // Each field under its label, the rows of pairs one pixel apart.
    Grid->addWidget(Label, 2 * Row, Column, Qt::AlignLeft | Qt::AlignBottom);
    Grid->addWidget(Edit, 2 * Row + 1, Column);
    if (Row > 0) Grid->setRowMinimumHeight(2 * Row, Label->sizeHint().height() + RowSpacing);

    Labels[Index] = Label;
    Fields[Index] = Edit;
    if (Index > 0) setTabOrder(Fields[Index - 1], Edit);
  }
}

void TAdjustmentsView::BuildProgressPanel() {
  // It covers the middle of the fields while a transfer runs, outside the group's layout.
  PaneProgress = new QFrame(GroupSettings);
  PaneProgress->setObjectName("PaneProgress");
  PaneProgress->setGeometry(ProgressLeft, ProgressTop, 329, 41);
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
  // The caption names the bar for a screen reader, whatever the transfer code sets it to.
  LabProgress->setBuddy(ProgressBar1);

  LabelProgress = new QLabel(ProgressStartCaption, PaneProgress);
  LabelProgress->setObjectName("LabelProgress");
  // Wide enough for the largest caption the sequences show, "108%".
  LabelProgress->setGeometry(278, 16, 40, 13);

  PaneProgress->hide();
}

}  // namespace tolvane
