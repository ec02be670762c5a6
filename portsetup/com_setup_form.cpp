#include "portsetup/com_setup_form.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "portsetup/form_translation.h"
#include "portsetup/mnemonics.h"
#include "serialport/base/gettext_translator.h"

namespace tolvane {
namespace {

constexpr int DesignedClientWidth = 231;
constexpr int ClientHeight = 216;
constexpr int LabelLeft = 8;
constexpr int ComboLeft = 80;
constexpr int ComboWidth = 129;
constexpr int GroupLeft = 8;
constexpr int GroupRightMargin = 8;  // between the lists and the group's right edge
constexpr int FormRightMargin = 6;
constexpr int ButtonGap = 5;
constexpr int ComboHeight = 21;
constexpr int ButtonTop = 184;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int FontPixels = 11;

// "MS Sans Serif" at 11 pixels, or the closest sans face installed here.
QFont DialogFont() {
  const QStringList Installed = QFontDatabase::families();
  QString Family = "MS Sans Serif";
  for (const char* Candidate : {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}) {
    if (Installed.contains(Candidate)) {
      Family = Candidate;
      break;
    }
  }
  QFont Font(Family);
  Font.setPixelSize(FontPixels);
  Font.setStyleHint(QFont::SansSerif);
  return Font;
}

// The port box is as wide as an adapter's stable name, so that none is cut at the edge.
int PortComboWidth(const QFont& Font) {
  QComboBox Sample;
  Sample.setEditable(true);
  Sample.setFont(Font);
  Sample.addItem(LongestExpectedPortName);
  return std::max(ComboWidth, Sample.sizeHint().width());
}

QString TranslateDialogText(const QString& Text) {
  return QString::fromStdString(TranslateIn(SetupDialogDomain, Text.toStdString()));
}

}  // namespace

TComSetupFrm::TComSetupFrm(QWidget* Parent) : QDialog(Parent) {
  setObjectName("ComSetupFrm");
  setWindowTitle("Setup");
  setFont(DialogFont());
  const int PortWidth = PortComboWidth(font());
  const int GroupWidth = ComboLeft + PortWidth + GroupRightMargin;
  const int ClientWidth = std::max(DesignedClientWidth, GroupLeft + GroupWidth + FormRightMargin);
  setFixedSize(ClientWidth, ClientHeight);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  GroupBox1 = new QGroupBox(" Settings ", this);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(GroupLeft, 8, GroupWidth, 169);

  Label1 = AddLabel("Label1", "Port", 24);
  Label2 = AddLabel("Label2", "Baud rate", 48);
  Label3 = AddLabel("Label3", "Data bits", 72);
  Label4 = AddLabel("Label4", "Stop bits", 96);
  Label5 = AddLabel("Label5", "Parity", 120);
  Label6 = AddLabel("Label6", "Flow control", 144);

  Combo1 = AddCombo("Combo1", TComProperty::cpPort, 16);
  Combo2 = AddCombo("Combo2", TComProperty::cpBaudRate, 40);
  Combo3 = AddCombo("Combo3", TComProperty::cpDataBits, 64);
  Combo4 = AddCombo("Combo4", TComProperty::cpStopBits, 88);
  Combo5 = AddCombo("Combo5", TComProperty::cpParity, 112);
  Combo6 = AddCombo("Combo6", TComProperty::cpFlowControl, 136);
  Combo1->resize(PortWidth, ComboHeight);
  // Any device can be typed, a network name too: the list holds the installed ports only.
  Combo1->SetEditable(true);
  // The whole name of the port, also when it is longer still.
  const auto ShowPortName = [this] { Combo1->setToolTip(Combo1->currentText()); };
  connect(Combo1, &QComboBox::currentTextChanged, this, ShowPortName);
  ShowPortName();

  // "OK" and "Cancel" stay at the right edge.
  const int CancelLeft = ClientWidth - FormRightMargin - ButtonWidth;
  Button1 = AddButton("Button1", "OK", CancelLeft - ButtonGap - ButtonWidth);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  Button2 = AddButton("Button2", "Cancel", CancelLeft);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  QWidget* Previous = Combo1;
  for (QWidget* Next :
       {static_cast<QWidget*>(Combo2), static_cast<QWidget*>(Combo3), static_cast<QWidget*>(Combo4),
        static_cast<QWidget*>(Combo5), static_cast<QWidget*>(Combo6),
        static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2)}) {
    setTabOrder(Previous, Next);
    Previous = Next;
  }

  if (const QScreen* Screen = QGuiApplication::primaryScreen()) {
    move(Screen->availableGeometry().center() - rect().center());
  }

  FormCreate();
}

std::array<TComComboBox*, 6> TComSetupFrm::Combos() const {
  return {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6};
}

QLabel* TComSetupFrm::AddLabel(const char* Name, const char* Text, int Top) {
  auto* Label = new QLabel(Text, GroupBox1);
  Label->setObjectName(Name);
  Label->move(LabelLeft, Top);
  Label->adjustSize();
  return Label;
}

TComComboBox* TComSetupFrm::AddCombo(const char* Name, TComProperty Property, int Top) {
  auto* Combo = new TComComboBox(GroupBox1);
  Combo->setObjectName(Name);
  Combo->setGeometry(ComboLeft, Top, ComboWidth, ComboHeight);
  Combo->SetAutoApply(false);
  Combo->SetComProperty(Property);
  return Combo;
}

QPushButton* TComSetupFrm::AddButton(const char* Name, const char* Text, int Left) {
  auto* Button = new QPushButton(Text, this);
  Button->setObjectName(Name);
  Button->setGeometry(Left, ButtonTop, ButtonWidth, ButtonHeight);
  return Button;
}

void TComSetupFrm::FormCreate() {
  // The lists show the names the selectors parse back, so they are never translated.
  const QSet<QString> Untranslated = {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5", "Combo6"};
  TranslateForm(*this, Untranslated, TranslateDialogText);
  // Each label names its list for a screen reader and gives it an Alt letter of the words shown.
  const std::array<QLabel*, 6> Labels = {Label1, Label2, Label3, Label4, Label5, Label6};
  const std::array<TComComboBox*, 6> Lists = Combos();
  QStringList Captions;
  for (QLabel* Label : Labels) Captions << Label->text();
  const QStringList Marked = WithMnemonics(Captions, QString());
  for (std::size_t Row = 0; Row < Labels.size(); ++Row) {
    Labels[Row]->setText(Marked[qsizetype(Row)]);
    Labels[Row]->setBuddy(Lists[Row]);
    Labels[Row]->adjustSize();
  }
}

}  // namespace tolvane
