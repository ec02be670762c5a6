#include "app/form_main.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QShortcut>
#include <QTime>

#include "app/error_report.h"
#include "app/message_presenter.h"
#include "app/views/glyphs.h"
#include "app/views/window_fonts.h"
#include "logic/files/designed_port.h"
#include "logic/files/settings_path.h"
#include "logic/protocol/controller_protocol.h"
#include "logic/transfer/application_title.h"
#include "logic/transfer/line_lost_message.h"
#include "logic/transfer/packet_reaction.h"
#include "logic/transfer/stopped_report.h"
#include "serialport/base/error_detail.h"
#include "serialport/base/gettext_translator.h"
#include "serialport/base/system_error_cause.h"
#include "serialport/device/device_factory.h"

namespace tolvane {
namespace {

constexpr const char* PacketStopString = ";";
constexpr int WindowFontHeight = 11;
constexpr const char* UnreadableSettingsText =
    "Settings.ini could not be read, so the fields show the default values.";
constexpr const char* UnreadableSettingsMark = "Default value: Settings.ini could not be read.";
constexpr const char* StopAndQuitButton = "Stop and Quit";
constexpr const char* GoOnButton = "Go On";
constexpr const char* MarkedFieldStyle = "QLineEdit { border: 2px solid #d00000; }";
// The question before a Write with an implausible change; Return and Escape both cancel, so only
// a deliberate choice of Write sends such a value.
constexpr const char* ImplausibleWriteCaption = "Write";
constexpr const char* ImplausibleCancelCaption = "Cancel";

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
                               Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      ComPort_(std::make_unique<TComPort>(nullptr)),
      ComDataPacket1_(std::make_unique<TComDataPacket>(nullptr)),
      SettingsPath_(SettingsPath),
      ModalRunner_([](QDialog& Dialog) { return Dialog.exec(); }) {
  BuildWindow();
  ConfigurePort();
  BindHandlers();
  BuildValuesMenu();
  Guarded([this] { FormCreate(); });
  ShowConnectionState();
  Status->start();
}

TForm1::~TForm1() {
  // The port closes as it goes and its after-close reaction must leave the controls alone.
  TearingDown_ = true;
  Status->stop();
  Opening_.reset();
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
  setCentralWidget(Client);
  StatusLine = new TStatusLine(this);
  setStatusBar(StatusLine);

  PanelControl = new TControlView(Client);
  PanelTerminal = new TTerminalView(Client);
  PanelTuning = new TAdjustmentsView(Client);
  // The views lie on top of one another; the hidden ones keep their room, so the window's
  // minimum size holds every view and does not jump when the view changes.
  auto* Views = new QGridLayout(Client);
  Views->setContentsMargins(0, 0, 0, 0);
  for (QWidget* View : {static_cast<QWidget*>(PanelControl), static_cast<QWidget*>(PanelTerminal),
                        static_cast<QWidget*>(PanelTuning)}) {
    QSizePolicy Policy = View->sizePolicy();
    Policy.setRetainSizeWhenHidden(true);
    View->setSizePolicy(Policy);
    Views->addWidget(View, 0, 0);
  }
  PanelControl->hide();
  PanelTerminal->hide();

  // The designed client area is the starting size, with the menu above it and the status line
  // below; the window can grow and shrink down to what its views need.
  Client->resize(ClientSize);
  resize(ClientSize.width(),
         menuBar()->sizeHint().height() + ClientSize.height() + StatusLine->sizeHint().height());
  move(DesignedPosition);

  // F10 opens the menu bar as on other desktop programs.
  auto* MenuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(MenuKey, &QShortcut::activated, this, [this] { Menu->OpenFirstMenu(); });
  // Escape ends a network opening under way; it is free otherwise, so dialogs keep it.
  auto* CancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(CancelKey, &QShortcut::activated, this, [this] { Guarded([this] { CancelOpening(); }); });

  Status = new QTimer(this);
  Status->setObjectName("Status");
  Status->setInterval(StatusInterval);

  ColorDialog1 = new QColorDialog(this);
  ColorDialog1->setObjectName("ColorDialog1");
}

void TForm1::ConfigurePort() {
  TComPort& Port = *ComPort_;
  ApplyDesignedPortSettings(Port);
  Port.OnAfterOpen = [this](TObject*) { ComPortOpen(); };
  Port.OnAfterClose = [this](TObject*) { ComPortClose(); };
  // The notification comes through the port's delivery, whose caller is the event thread: an
  // error must be reported here or nowhere.
  Port.OnLineLost = [this](TObject*, std::int32_t SystemErrorCode) {
    Guarded([this, SystemErrorCode] { ComPortLineLost(SystemErrorCode); });
  };

  ComDataPacket1_->SetName("ComDataPacket1");
  ComDataPacket1_->SetStopString(PacketStopString);
  ComDataPacket1_->SetComPort(&Port);
  // Taken as a view: the assembler hands each packet where it lies, building no string.
  ComDataPacket1_->OnPacket = [this](TObject* Sender, std::string_view Str) {
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
  // toggle of a click (or of a screen reader's "Toggle" action, which does not click) is undone
  // before the handler runs.
  connect(PanelTuning->Button_Open, &QToolButton::toggled, this, [this](bool Checked) {
    if (SettingConnectLook_) return;
    SetConnectPressed(!Checked);
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
  Bind(PanelTuning->Button6, &TForm1::ButtonReadClick);
  Bind(PanelTuning->Button7, &TForm1::ButtonWriteClick);
  Bind(Menu->MMRead, &TForm1::ButtonReadClick);
  Bind(Menu->MMWrite, &TForm1::ButtonWriteClick);
  PanelTerminal->OnLineEndChanged = [this](TLineEnd LineEnd) {
    Guarded([this, LineEnd] { StoreLineEnd(LineEnd); });
  };
  connect(Status, &QTimer::timeout, this, [this] { Guarded([this] { StatusTimer(); }); });
}

void TForm1::SetConnectPressed(bool Pressed) {
  SettingConnectLook_ = true;
  PanelTuning->Button_Open->setChecked(Pressed);
  SettingConnectLook_ = false;
}

void TForm1::FormCreate() {
  const std::string Given = SettingsPath_.toStdString();
  SettingsFile_ =
      std::make_unique<TSettingsFile>(Given.empty() ? SettingsFileLocation(RunningProgramPlaces())
                                                    : TSettingsLocation{Given, Given},
                                      PortSection_, *this);
  if (!SettingsFile_->Exists()) StoreSet();
  LoadSet();
  LoadLineEnd();
  ReportUnreadableSettings();
  Sequencer_.Reset();
  ViewFace();
}

// A file that exists but cannot be read must not pass for a fresh start: a Write would put the
// defaults into the controller without anyone noticing.
void TForm1::ReportUnreadableSettings() {
  const std::optional<int> Code = SettingsFile_->ReadError();
  if (!Code) return;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    MarkField(Row, UnreadableSettingsMark);
  }
  // The window's own text is English only, so its detail is English too: one language per box.
  const TTranslator English = [](const std::string& Text) { return Text; };
  ShowError(UnreadableSettingsText + std::string("\n") +
                DeviceErrorDetail(SettingsFile_->ReadPath(), *Code, English),
            std::string(ApplicationTitle));
}

void TForm1::SetTransferButtonsEnabled(bool Enabled) {
  PanelTerminal->Button4->setEnabled(Enabled);
  PanelTerminal->Button5->setEnabled(Enabled);
  SetReadWriteEnabled(Enabled);
}

void TForm1::SetReadWriteEnabled(bool Enabled) {
  PanelTuning->Button6->setEnabled(Enabled);
  PanelTuning->Button7->setEnabled(Enabled);
  Menu->MMRead->setEnabled(Enabled);
  Menu->MMWrite->setEnabled(Enabled);
  ValuesMenu->MMCompare->setEnabled(Enabled);
}

void TForm1::Button_OpenClick() {
  if (Opening_) {
    CancelOpening();
  } else if (ComPort_->Connected()) {
    // A transfer ends here rather than resuming on the next opening, perhaps on another device.
    const std::string Stopped = Sequencer_.EndTransfer();
    SetTransferButtonsEnabled(false);
    WriteToPort(std::string(DisconnectPacket));
    ComPort_->ClosePort();
    if (!Stopped.empty()) ShowError(Stopped, std::string(TransferBoxTitle));
  } else if (IsNetworkPortName(ComPort_->Port())) {
    StartOpening();
  } else {
    ComPort_->OpenPort();
    SetTransferButtonsEnabled(true);
  }
}

void TForm1::StartOpening() {
  // The opening thread's news comes back as a queued call; one that arrives after its opening
  // was ended finds nothing finished to take.
  Opening_ = std::make_unique<TBackgroundOpening>(*ComPort_, [this] {
    QMetaObject::invokeMethod(
        this, [this] { Guarded([this] { FinishOpening(); }); }, Qt::QueuedConnection);
  });
  Menu->MMCOMPortSettings->setEnabled(false);
  ShowConnectionState();
}

void TForm1::FinishOpening() {
  if (!Opening_ || !Opening_->Finished()) return;
  const std::unique_ptr<TBackgroundOpening> Opened = std::move(Opening_);
  Menu->MMCOMPortSettings->setEnabled(true);
  ShowConnectionState();
  Opened->Finish(*ComPort_);  // the port's own opening: its events, or its error for the box
  SetTransferButtonsEnabled(true);
}

void TForm1::CancelOpening() {
  if (!Opening_) return;
  Opening_.reset();  // its waits give up at once, and a device it opened is closed
  Menu->MMCOMPortSettings->setEnabled(true);
  ShowConnectionState();
}

QString TForm1::SettingsPath() const {
  return SettingsFile_ ? QString::fromStdString(SettingsFile_->ReadPath()) : SettingsPath_;
}

void TForm1::SavePortSettings() {
  SettingsFile_->StorePortSection();
}

void TForm1::ComPortOpen() {
  SavePortSettings();
  Menu->MMConnect->setText(DisconnectItemCaption);
  SetConnectPressed(true);
  PanelTerminal->ClearLog();
  if (const std::string Note = ComPort_->Device().TakeNote(); !Note.empty())
    PanelTerminal->AppendNote(Note);
  PanelTuning->Button_Open->setToolTip(ConnectedHint);
  Menu->MMCOMPortSettings->setEnabled(false);
  Sequencer_.ArmIdentification();
  ShowConnectionState();
}

void TForm1::ComPortClose() {
  if (TearingDown_) return;
  Sequencer_.PortClosed();
  Menu->MMConnect->setText(ConnectItemCaption);
  SetConnectPressed(false);
  PanelTuning->Button_Open->setToolTip(DisconnectedHint);
  Menu->MMCOMPortSettings->setEnabled(true);
  ShowConnectionState();
}

void TForm1::ShowConnectionState() {
  StatusLine->ShowPort(DeviceAddressFor(ComPort_->Port()));
  StatusLine->ShowConnection({ComPort_->Connected(), Sequencer_.WaitID(), Sequencer_.IdTicks(),
                              IdentificationPolls,
                              Opening_ ? DeviceAddressFor(Opening_->PortName()) : std::string()});
}

void TForm1::ComPortLineLost(std::int32_t SystemErrorCode) {
  // The write that met the dead line and the port's own notification both end up here; whichever
  // comes second finds the port closed.
  if (!ComPort_->Connected()) return;
  const std::string Stopped = Sequencer_.EndAll();
  SetTransferButtonsEnabled(false);
  StatusLine->ShowLineLost();
  ComPort_->ClosePort();
  // Everything is settled before the modal box, whose nested loop keeps the timer ticking.
  std::string Text = LineLostMessage(DeviceAddressFor(ComPort_->Port()), SystemErrorCode);
  if (!Stopped.empty()) Text += "\n\n" + Stopped;
  // In the operator's language when the catalogs have its texts; a transfer's note is English.
  ShowErrorBox(QString::fromUtf8(ApplicationTitle), QString::fromStdString(Text),
               Stopped.empty() && !TranslationLanguage().empty());
}

void TForm1::WriteToPort(const std::string& Packet) {
  // Every packet the window writes passes here, so the log shows them all, each before any
  // reply to it.
  PanelTerminal->AppendSent(Packet);
  try {
    ComPort_->WriteString(Packet);
  } catch (const EComPort& Error) {
    if (!IsLineLostError(Error.SystemErrorCode())) throw;
    ComPortLineLost(Error.SystemErrorCode());
  }
}

void TForm1::ComDataPacket1Packet(TObject* /*Sender*/, std::string_view Str) {
  ApplyReceivedPacket(Str, *this, Sequencer_);
  PanelTerminal->AppendPacket(Str);
  ShowConnectionState();
}

void TForm1::Button4Click() {
  const QString Text = PanelTerminal->Edit_Data->text();
  if (Text.isEmpty()) return;
  PanelTerminal->LineSent();
  WriteToPort(PacketBytes(Text) + std::string(LineEndRow(PanelTerminal->LineEnd()).Bytes));
}

void TForm1::LoadLineEnd() {
  const std::string Name = SettingsFile_->ReadKey(LineEndSection, LineEndKey,
                                                  std::string(LineEndRow(TLineEnd::leNone).Name));
  PanelTerminal->SetLineEnd(LineEndNamed(Name).value_or(TLineEnd::leNone));
}

void TForm1::StoreLineEnd(TLineEnd LineEnd) {
  SettingsFile_->StoreKey(LineEndSection, LineEndKey, std::string(LineEndRow(LineEnd).Name));
}

void TForm1::Button5Click() {
  PanelTerminal->ClearLog();
  PanelTerminal->Edit_Data->clear();
}

void TForm1::MMExitClick() {
  close();
}

void TForm1::closeEvent(QCloseEvent* Event) {
  bool Quit = false;
  Guarded([&] { Quit = MayQuit(); });
  if (Quit) {
    QMainWindow::closeEvent(Event);
  } else {
    Event->ignore();
  }
}

bool TForm1::MayQuit() {
  if (AskingToQuit_) return false;  // the question is open already
  if (!Sequencer_.Running()) return true;
  AskingToQuit_ = true;
  // The question's nested loop keeps the timer ticking, so the transfer goes on meanwhile.
  TMessageBox Question{QString::fromUtf8(ApplicationTitle),
                       QString::fromStdString(QuitQuestionText(*Sequencer_.Transfer()))};
  Question.Buttons = {StopAndQuitButton, GoOnButton};
  Question.DefaultButton = 1;
  Question.EscapeButton = 1;
  const bool Stop = AskQuestion(Question) == 0;
  AskingToQuit_ = false;
  if (!Stop) return false;
  Status->stop();
  // It may have ended by itself while the question was open; then there is nothing to stop.
  const std::string Stopped = Sequencer_.EndTransfer(TTransferStop::Quit);
  if (!Stopped.empty()) ShowError(Stopped, std::string(TransferBoxTitle));
  return true;
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
  ShowConnectionState();
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
  StoreSet();
}

void TForm1::StoreSet() {
  SettingsFile_->StoreSet();
}
void TForm1::LoadSet() {
  SettingsFile_->LoadSet();
}

void TForm1::ButtonReadClick() {
  Sequencer_.ButtonReadClick();
}
void TForm1::ButtonWriteClick() {
  Sequencer_.ButtonWriteClick();
}
void TForm1::StatusTimer() {
  // A remark the device made since, such as a server that broke its telnet framing.
  if (ComPort_->Connected())
    if (const std::string Note = ComPort_->Device().TakeNote(); !Note.empty())
      PanelTerminal->AppendNote(Note);
  Sequencer_.StatusTimer();
  ShowConnectionState();
}

bool TForm1::PortConnected() {
  return ComPort_->Connected();
}
void TForm1::WritePacket(const std::string& Packet) {
  WriteToPort(Packet);
}
void TForm1::ClosePort() {
  ComPort_->ClosePort();
}
void TForm1::ShowProgress(bool Visible) {
  PanelTuning->PaneProgress->setVisible(Visible);
}
int TForm1::ProgressPosition() {
  return PanelTuning->ProgressBar1->value();
}
void TForm1::SetProgressPosition(int Position) {
  PanelTuning->ProgressBar1->setValue(Position);
}

void TForm1::SetProgressLabel(const std::string& Caption) {
  PanelTuning->LabelProgress->setText(QString::fromStdString(Caption));
}

void TForm1::RepaintProgress() {
  PanelTuning->ProgressBar1->repaint();
}
void TForm1::SetProgressNote(const std::string& Note) {
  QProgressBar* Bar = PanelTuning->ProgressBar1;
  Bar->setFormat(QString::fromStdString(Note));
  Bar->setTextVisible(!Note.empty());
}

void TForm1::DisableTransferButtons() {
  SetTransferButtonsEnabled(false);
}

void TForm1::SetTransferRunning(bool Running) {
  SetReadWriteEnabled(!Running && ComPort_->Connected());
  ValuesMenu->MMOpenValues->setEnabled(!Running);
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    PanelTuning->Fields.at(Row)->setReadOnly(Running);
  }
}

void TForm1::MarkField(std::size_t Row, const std::string& Reason) {
  QLineEdit* Field = PanelTuning->Fields.at(Row);
  Field->setProperty(FieldMarkProperty, true);
  Field->setStyleSheet(MarkedFieldStyle);
  Field->setToolTip(QString::fromStdString(Reason));
}

void TForm1::ClearFieldMarks() {
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    QLineEdit* Field = PanelTuning->Fields.at(Row);
    Field->setProperty(FieldMarkProperty, false);
    Field->setStyleSheet(QString());
    Field->setToolTip(QString());
  }
}

void TForm1::FocusField(std::size_t Row) {
  QLineEdit* Field = PanelTuning->Fields.at(Row);
  Field->setFocus(Qt::OtherFocusReason);
  Field->selectAll();
}

void TForm1::ShowTransferResult(const std::string& Result) {
  TransferResult_ = QString::fromStdString(Result);
  // A lasting place of the status line: a passing message would cover the port and the state.
  StatusLine->SetTransferResult(Result);
}

std::string TForm1::ClockTime() {
  return QTime::currentTime().toString("HH:mm").toStdString();
}

void TForm1::ShowError(const std::string& Text, const std::string& Title) {
  ShowErrorBox(QString::fromStdString(Title), QString::fromStdString(Text));
}

bool TForm1::AskToWrite(const std::vector<TValueChange>& Changes) {
  TMessageBox Box{QString::fromUtf8(ApplicationTitle),
                  QString::fromStdString(ImplausibleChangesText(Changes))};
  Box.Buttons = {ImplausibleWriteCaption, ImplausibleCancelCaption};
  Box.DefaultButton = 1;
  Box.EscapeButton = 1;
  return AskQuestion(Box) == 0;
}

// Field texts travel as byte strings, one character per byte.
std::string TForm1::FieldText(std::size_t Row) const {
  return PacketBytes(PanelTuning->Fields.at(Row)->text());
}

void TForm1::SetFieldText(std::size_t Row, const std::string& Text) {
  PanelTuning->Fields.at(Row)->setText(QString::fromLatin1(Text.data(), qsizetype(Text.size())));
}

}  // namespace tolvane
