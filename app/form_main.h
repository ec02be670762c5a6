// The main window: the adjustments, terminal and control views stacked in one resizable client
// area, the menu, the status line, the serial port with its packet assembler, and the 100 ms
// timer that paces the controller traffic. Every operator action, menu command and tick runs inside
// the general error report's guard.
#pragma once

#include <QColorDialog>
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/form_about.h"
#include "app/views/adjustments_view.h"
#include "app/views/control_view.h"
#include "app/views/main_menu.h"
#include "app/views/status_line.h"
#include "app/views/terminal_view.h"
#include "app/views/values_menu.h"
#include "logic/files/com_port_section.h"
#include "logic/files/history_backups.h"
#include "logic/files/settings_file.h"
#include "logic/transfer/transfer_host.h"
#include "logic/transfer/transfer_sequencer.h"
#include "serialport/packet/com_data_packet.h"
#include "serialport/port/background_opening.h"
#include "serialport/port/com_port.h"

namespace tolvane {

inline constexpr int StatusInterval = 100;  // ms
inline constexpr QPoint DesignedPosition(224, 129);
inline constexpr QSize ClientSize(457, 169);
// A field marked by the last transfer carries this property set to true, with the reason as its
// tool tip.
inline constexpr const char* FieldMarkProperty = "transferMark";

class TForm1 : public QMainWindow, public TTransferHost {
 public:
  // Runs a modal dialog and returns its result; replaced by tests so nothing blocks.
  using TModalRunner = std::function<int(QDialog& Dialog)>;

  // SettingsPath names the settings file; empty means "Settings.ini" where the location rule
  // puts it (app/settings_path.h).
  explicit TForm1(const QString& SettingsPath = QString());
  ~TForm1() override;

  TComPort& ComPort() { return *ComPort_; }
  TComDataPacket& ComDataPacket1() { return *ComDataPacket1_; }
  const TTransferSequencer& Sequencer() const { return Sequencer_; }
  // The settings file read now.
  QString SettingsPath() const;
  TFormAbout* About() const { return About_; }
  // How the last transfer ended ("Read 11 of 11 at 14:02"); empty before the first.
  QString TransferResult() const { return TransferResult_; }
  void SetModalRunner(TModalRunner Runner) { ModalRunner_ = std::move(Runner); }
  void SetFileDialogRunner(TFileDialogRunner Runner) { FileDialogRunner_ = std::move(Runner); }
  // Where the backups of the controller's values go: $XDG_STATE_HOME/tolvane/history/ as it was
  // when the window was made.
  const THistoryBackups& Backups() const { return Backups_; }

  // --- Operator actions and menu commands ---
  // Connect, Disconnect, or, while a network port opens, the end of that opening.
  void Button_OpenClick();
  // Escape: ends a network port's opening under way; nothing otherwise.
  void CancelOpening();
  // True while a network port opens in the background.
  bool Opening() const { return Opening_ != nullptr; }
  void Button4Click();
  void Button5Click();
  void MMExitClick();
  void MMControlClick();
  void MMTerminalClick();
  void MMAdjustmentsClick();
  void MMCOMPortSettingsClick();
  void MMAboutClick();
  void MMColorClick();
  void ButtonReadClick();
  void ButtonWriteClick();
  void StatusTimer();
  // Values files and the comparison (app/form_main_values.cpp).
  void MMOpenValuesClick();
  void MMSaveValuesClick();
  void MMCompareClick();

  // --- Reactions of the port and the packet assembler ---
  void ComPortOpen();
  void ComPortClose();
  // The port's line is gone: everything running ends, the port closes without "DI;" and one box
  // names the device and the system's reason. Nothing happens once the port is closed.
  void ComPortLineLost(std::int32_t SystemErrorCode);
  // Str lies in the assembler's buffer for the duration of the call; nothing keeps it.
  void ComDataPacket1Packet(TObject* Sender, std::string_view Str);

  // Shows the view whose View item is checked; with several checked the last one wins.
  void ViewFace();
  // Write and read the settings file: the port's section and the eleven settings fields.
  void StoreSet() override;
  void LoadSet();
  // The terminal's line end, in a section of its own of the settings file.
  void LoadLineEnd();
  void StoreLineEnd(TLineEnd LineEnd);

  std::unique_ptr<TMainMenu> Menu;
  TAdjustmentsView* PanelTuning;
  TTerminalView* PanelTerminal;
  TControlView* PanelControl;
  QTimer* Status;
  QColorDialog* ColorDialog1;
  TStatusLine* StatusLine;
  std::unique_ptr<TValuesMenu> ValuesMenu;

 protected:
  // Exit, Ctrl+Q and the window's close button end here. While a transfer runs the operator is
  // asked once whether to stop it; Go On keeps it running and the window open.
  void closeEvent(QCloseEvent* Event) override;

 private:
  // Whether the window may close now; Stop and Quit ends the running transfer as Disconnect
  // does, with its marks and box, and nothing more goes out.
  bool MayQuit();
  void BuildWindow();
  void BindHandlers();
  void BuildValuesMenu();
  void ConfigurePort();
  void FormCreate();
  void ReportUnreadableSettings();
  // Runs Handler inside the general error report's guard when Trigger fires.
  void Bind(QAction* Trigger, void (TForm1::*Handler)());
  void Bind(QToolButton* Trigger, void (TForm1::*Handler)());

  // The first step of the after-open reaction: the port's own settings go to the file.
  void SavePortSettings();
  void SetTransferButtonsEnabled(bool Enabled);
  // A network port opens on a thread of its own (TBackgroundOpening), so the window goes on
  // painting and answering; the port itself is opened here once the device is, in FinishOpening.
  void StartOpening();
  void FinishOpening();
  // The Connect button's pressed look, set by the window alone.
  void SetConnectPressed(bool Pressed);
  // Read, Write and Compare, as buttons and as menu items.
  void SetReadWriteEnabled(bool Enabled);
  // WriteString; a write that finds the line gone is handled as the loss itself (one box, port
  // closed) and returns, any other failure propagates.
  void WriteToPort(const std::string& Packet);
  void SelectView(QAction* Item);
  // The status line follows the port, its device and the identification.
  void ShowConnectionState();

  // The sequencer's view of the window.
  bool PortConnected() override;
  void WritePacket(const std::string& Packet) override;
  void ClosePort() override;
  void ShowProgress(bool Visible) override;
  int ProgressPosition() override;
  void SetProgressPosition(int Position) override;
  void SetProgressLabel(const std::string& Caption) override;
  void RepaintProgress() override;
  void SetProgressNote(const std::string& Note) override;
  void DisableTransferButtons() override;
  void SetTransferRunning(bool Running) override;
  void MarkField(std::size_t Row, const std::string& Reason) override;
  void ClearFieldMarks() override;
  void FocusField(std::size_t Row) override;
  void ShowTransferResult(const std::string& Result) override;
  std::string ClockTime() override;
  void ShowError(const std::string& Text, const std::string& Title) override;
  bool AskToWrite(const std::vector<TValueChange>& Changes) override;
  std::string FieldText(std::size_t Row) const override;
  void SetFieldText(std::size_t Row, const std::string& Text) override;

  std::unique_ptr<TComPort> ComPort_;
  std::unique_ptr<TComDataPacket> ComDataPacket1_;
  TComPortSection PortSection_{*ComPort_};
  std::unique_ptr<TSettingsFile> SettingsFile_;  // made once the path is known
  TTransferSequencer Sequencer_{*this};
  THistoryBackups Backups_{UserHistoryDirectory()};
  TFileDialogRunner FileDialogRunner_;
  QString SettingsPath_;
  TFormAbout* About_ = nullptr;
  TModalRunner ModalRunner_;
  QString TransferResult_;
  bool TearingDown_ = false;
  bool AskingToQuit_ = false;
  std::unique_ptr<TBackgroundOpening> Opening_;
  bool SettingConnectLook_ = false;
};

}  // namespace tolvane
