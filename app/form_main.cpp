#include "app/form_main.h"

#include <QCoreApplication>
#include <QDir>
#include <QLayout>

#include "app/application_title.h"
#include "app/error_report.h"
#include "app/glyphs.h"
#include "app/window_fonts.h"

namespace tolvane {
namespace {

constexpr const char* SettingsFileName = "Settings.ini";
constexpr const char* DesignedPortName = "COM1";
constexpr const char* DisconnectPacket = "DI;";
constexpr const char* PacketStopString = ";";
constexpr int WindowFontHeight = 11;

QString SettingsFileBesideExecutable() {
  return QDir(QCoreApplication::applicationDirPath()).filePath(SettingsFileName);
}

// Packets are byte strings: one character of the send line per byte on the wire.
std::string PacketBytes(const QString& Text) {
  return Text.toLatin1().toStdString();
}

void PaintBackground(QWidget* Panel, const QColor& Colour) {
  QPalette Palette = Panel->palette();
  Palette.setColor(QPalette::Window, Colour);
  Panel->setPalette(Palette);
  Panel->setAutoFillBackground(true);
}

}  // namespace

TForm1::TForm1(const QString& SettingsPath)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      ComPort_(std::make_unique<TComPort>(nullptr)),
      ComDataPacket1_(std::make_unique<TComDataPacket>(nullptr)),
      SettingsPath_(SettingsPath),
      ModalRunner_([](QDialog& Dialog) { return Dialog.exec(); }) {
  BuildWindow();
  ConfigurePort();
  BindHandlers();
  Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
  // The port closes as it goes and its after-close reaction must leave the controls alone.
  TearingDown_ = true;
  Status->stop();
  ComDataPacket1_.reset();
  ComPort_.reset();
}

void TForm1::BuildWindow() {
  setObjectName("Form1");
  setWindowTitle(WindowCaption);
  setWindowIcon(ApplicationIcon());
  setFont(SansFont(WindowFontHeight));

  Menu = std::make_unique<TMainMenu>(menuBar());

  auto* Client = new QWidget(this);
  Client->setObjectName("Client");
  Client->setFixedSize(ClientSize);
  setCentralWidget(Client);
  // The window takes exactly the size of its menu and client area and cannot be resized.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  move(DesignedPosition);

  PanelControl = new TControlView(Client);
  PanelTerminal = new TTerminalView(Client);
  PanelTuning = new TAdjustmentsView(Client);
  PanelControl->hide();
  PanelTerminal->hide();

  Status = new QTimer(this);
  Status->setObjectName("Status");
  Status->setInterval(StatusInterval);

  ColorDialog1 = new QColorDialog(this);
  ColorDialog1->setObjectName("ColorDialog1");
}

void TForm1::ConfigurePort() {
  TComPort& Port = *ComPort_;
  Port.SetName("ComPort");
  Port.SetPort(DesignedPortName);
  Port.SetBaudRate(TBaudRate::br9600);
  Port.SetDataBits(TDataBits::dbEight);
  Port.SetStopBits(TStopBits::sbOneStopBit);
  Port.Parity().SetBits(TParityBits::prNone);
  Port.SetDiscardNull(true);
  Port.SetEvents(AllComEvents);
  TComFlowControl& Flow = Port.FlowControl();
  Flow.SetOutCTSFlow(false);
  Flow.SetOutDSRFlow(false);
  Flow.SetControlDTR(TDTRFlowControl::dtrEnable);
  Flow.SetControlRTS(TRTSFlowControl::rtsDisable);
  Flow.SetXonXoffOut(false);
  Flow.SetXonXoffIn(false);
  Port.OnAfterOpen = [this](TObject*) { ComPortOpen(); };
  Port.OnAfterClose = [this](TObject*) { ComPortClose(); };

  ComDataPacket1_->SetName("ComDataPacket1");
  ComDataPacket1_->SetStopString(PacketStopString);
  ComDataPacket1_->SetComPort(&Port);
  ComDataPacket1_->OnPacket = [this](TObject* Sender, const std::string& Str) {
    ComDataPacket1Packet(Sender, Str);
  };
}

void TForm1::Bind(QAction* Trigger, void (TForm1::*Handler)()) {
  connect(Trigger, &QAction::triggered, this,
          [this, Handler] { Guarded([&] { (this->*Handler)(); }); });
}

void TForm1::Bind(QToolButton* Trigger, void (TForm1::*Handler)()) {
  connect(Trigger, &QToolButton::clicked, this,
          [this, Handler] { Guarded([&] { (this->*Handler)(); }); });
}

void TForm1::BindHandlers() {
  // The Connect button latches, but only the port's reactions may press or release it: the
  // toggle of the click itself is undone before the handler runs.
  connect(PanelTuning->Button_Open, &QToolButton::clicked, this, [this](bool Checked) {
    PanelTuning->Button_Open->setChecked(!Checked);
    Guarded([this] { Button_OpenClick(); });
  });
  Bind(Menu->MMConnect, &TForm1::Button_OpenClick);
  Bind(Menu->MMExit, &TForm1::MMExitClick);
  Bind(Menu->MMControl, &TForm1::MMControlClick);
  Bind(Menu->MMTerminal, &TForm1::MMTerminalClick);
  Bind(Menu->MMAdjustments, &TForm1::MMAdjustmentsClick);
  Bind(Menu->MMColor, &TForm1::MMColorClick);
  Bind(Menu->MMCOMPortSettings, &TForm1::MMCOMPortSettingsClick);
  Bind(Menu->MMAbout, &TForm1::MMAboutClick);
  Bind(PanelTerminal->Button4, &TForm1::Button4Click);
  Bind(PanelTerminal->Button5, &TForm1::Button5Click);
}

void TForm1::FormCreate() {
  if (SettingsPath_.isEmpty()) SettingsPath_ = SettingsFileBesideExecutable();
  ViewFace();
}

void TForm1::SetTransferButtonsEnabled(bool Enabled) {
  PanelTerminal->Button4->setEnabled(Enabled);
  PanelTerminal->Button5->setEnabled(Enabled);
  PanelTuning->Button6->setEnabled(Enabled);
  PanelTuning->Button7->setEnabled(Enabled);
}

void TForm1::Button_OpenClick() {
  if (ComPort_->Connected()) {
    SetTransferButtonsEnabled(false);
    ComPort_->WriteString(DisconnectPacket);
    ComPort_->ClosePort();
  } else {
    ComPort_->OpenPort();
    SetTransferButtonsEnabled(true);
  }
}

void TForm1::SavePortSettings() {
  ComPort_->SaveSettings(TSettingsStore::ssIniFile, SettingsPath_.toStdString());
}

void TForm1::ComPortOpen() {
  SavePortSettings();
  Menu->MMConnect->setText(DisconnectItemCaption);
  PanelTuning->Button_Open->setChecked(true);
  PanelTerminal->ClearLog();
  PanelTuning->Button_Open->setToolTip(ConnectedHint);
  Menu->MMCOMPortSettings->setEnabled(false);
}

void TForm1::ComPortClose() {
  if (TearingDown_) return;
  Menu->MMConnect->setText(ConnectItemCaption);
  PanelTuning->Button_Open->setChecked(false);
  PanelTuning->Button_Open->setToolTip(DisconnectedHint);
  Menu->MMCOMPortSettings->setEnabled(true);
}

void TForm1::ComDataPacket1Packet(TObject* /*Sender*/, const std::string& Str) {
  PanelTerminal->AppendPacket(Str);
}

void TForm1::Button4Click() {
  const QString Text = PanelTerminal->Edit_Data->text();
  if (Text.isEmpty()) return;
  ComPort_->WriteString(PacketBytes(Text));
}

void TForm1::Button5Click() {
  PanelTerminal->ClearLog();
  PanelTerminal->Edit_Data->clear();
}

void TForm1::MMExitClick() {
  close();
}

void TForm1::SelectView(QAction* Item) {
  for (QAction* ViewItem : {Menu->MMControl, Menu->MMTerminal, Menu->MMAdjustments}) {
    ViewItem->setChecked(ViewItem == Item);
  }
  ViewFace();
}

void TForm1::MMControlClick() {
  SelectView(Menu->MMControl);
}
void TForm1::MMTerminalClick() {
  SelectView(Menu->MMTerminal);
}
void TForm1::MMAdjustmentsClick() {
  SelectView(Menu->MMAdjustments);
}

void TForm1::ViewFace() {
  const std::pair<QAction*, QWidget*> Views[] = {{Menu->MMControl, PanelControl},
                                                 {Menu->MMTerminal, PanelTerminal},
                                                 {Menu->MMAdjustments, PanelTuning}};
  for (const auto& [Item, Panel] : Views) {
    if (!Item->isChecked()) continue;
    for (const auto& Other : Views) Other.second->setVisible(Other.second == Panel);
  }
}

void TForm1::MMCOMPortSettingsClick() {
  ComPort_->ShowPortSetup();
}

void TForm1::MMAboutClick() {
  if (About_ == nullptr) About_ = new TFormAbout(this);
  About_->CentreOverOwner();
  ModalRunner_(*About_);
}

void TForm1::MMColorClick() {
  // A cancelled dialog leaves the panels as they are.
  if (ModalRunner_(*ColorDialog1) != QDialog::Accepted) return;
  const QColor Chosen = ColorDialog1->currentColor();
  for (QWidget* Panel : {static_cast<QWidget*>(PanelControl), static_cast<QWidget*>(PanelTerminal),
                         static_cast<QWidget*>(PanelTuning)}) {
    if (!Panel->isHidden()) PaintBackground(Panel, Chosen);
  }
}

}  // namespace tolvane
