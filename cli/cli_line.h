// The command line's side of the transfer sequencer: the port with its packet assembler, driven
// by a loop of its own instead of a window. The loop ticks the sequencer every 100 ms, as the
// window's timer does, and between ticks serves the port's deliveries: the event thread's
// wake-up writes to an eventfd the loop waits on, and the loop drains the dispatcher on this
// thread, so the packet reaction runs here, one step at a time, as in the window.
//
// The "fields" are the eleven texts of this run, the boxes are collected for the command to
// report, progress goes to stderr only when it is a terminal, and Settings.ini is never written.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/wake_up.h"
#include "logic/files/history_backups.h"
#include "logic/transfer/transfer_sequencer.h"
#include "serialport/dispatch/com_dispatcher.h"
#include "serialport/packet/com_data_packet.h"
#include "serialport/port/com_port.h"

namespace tolvane {

// A backup store that passes every save on and remembers the files written.
class TNotedBackups : public TValueBackups {
 public:
  explicit TNotedBackups(TValueBackups& Inner) : Inner_(Inner) {}
  std::string Save(const TRegisterTexts& Values, TBackupEvent Event) override {
    Files.push_back(Inner_.Save(Values, Event));
    return Files.back();
  }
  std::vector<std::string> Files;

 private:
  TValueBackups& Inner_;
};

class TCliLine : public TTransferHost {
 public:
  // Progress: whether progress lines go to stderr.
  TCliLine(TValueBackups& Backups, bool Progress);
  ~TCliLine() override;
  TCliLine(const TCliLine&) = delete;
  TCliLine& operator=(const TCliLine&) = delete;

  TComPort& Port() { return Port_; }
  TTransferSequencer& Sequencer() { return Sequencer_; }
  const std::vector<std::string>& Boxes() const { return Boxes_; }
  // The changes of a Write with an implausible one, as the guard listed them; empty without.
  const std::vector<TValueChange>& Questioned() const { return Questioned_; }
  // Whether such a Write goes ahead (--force).
  void SetForce(bool Force) { Force_ = Force; }
  const std::vector<std::string>& BackupFiles() const { return Backups_.Files; }
  // The transfers that ran to their end, in order.
  const std::vector<TRegisterTransfer>& Finished() const { return Finished_; }
  // The system's error code when the line was lost; nothing while it was not.
  std::optional<std::int32_t> LineLost() const { return LineLost_; }

  // Opens the port; raises its EComPort.
  void Open();
  // Ticks and serves the port until the controller has identified (true) or Polls polls went
  // unanswered, the handshake gave up or the line was lost (false).
  bool Identify(int Polls);
  // Ticks and serves the port until no transfer runs, the line is lost or a quit signal came;
  // the signal ends the transfer between two ticks, so the register in flight is written whole.
  void RunTransfer();
  // A quit signal ended the identification or the transfer.
  bool Quit() const { return Quit_; }
  // The last result line: "Write stopped on quitting: 6 of 11 written, none verified at 14:02".
  const std::string& LastResult() const { return LastResult_; }
  void SetFields(const TRegisterTexts& Values);

  // --- TTransferHost ---
  std::string FieldText(std::size_t Row) const override { return Fields_.at(Row); }
  void SetFieldText(std::size_t Row, const std::string& Text) override { Fields_.at(Row) = Text; }
  bool PortConnected() override { return Port_.Connected(); }
  void WritePacket(const std::string& Packet) override;
  void ClosePort() override { Port_.ClosePort(); }
  void ShowProgress(bool Visible) override;
  int ProgressPosition() override { return Position_; }
  void SetProgressPosition(int Position) override { Position_ = Position; }
  void SetProgressLabel(const std::string& Caption) override;
  void RepaintProgress() override {}
  void SetProgressNote(const std::string& Note) override { Note_ = Note; }
  void DisableTransferButtons() override {}
  void SetTransferRunning(bool) override {}
  void MarkField(std::size_t, const std::string&) override {}
  void ClearFieldMarks() override {}
  void FocusField(std::size_t) override {}
  void ShowTransferResult(const std::string& Result) override;
  std::string ClockTime() override;
  void ShowError(const std::string& Text, const std::string& Title) override;
  // The guard's question is answered by --force; it is kept for the report either way.
  bool AskToWrite(const std::vector<TValueChange>& Changes) override {
    Questioned_ = Changes;
    return Force_;
  }
  void StoreSet() override {}

 private:
  // One turn: waits for a delivery or the next tick, whichever comes first, and runs it.
  void Turn();
  void LoseLine(std::int32_t SystemErrorCode);
  // Whether a quit signal came; the first time, the running transfer ends.
  bool Quitting();

  TWakeUp Wake_;  // before the dispatcher that signals it, so that it outlives the port
  TComDispatcher Dispatcher_;
  TComPort Port_{nullptr};
  TComDataPacket Packets_{nullptr};
  TTransferSequencer Sequencer_{*this};
  TNotedBackups Backups_;
  bool Progress_;
  std::int64_t NextTickNs_ = 0;
  std::array<std::string, RegisterCount> Fields_;
  std::vector<std::string> Boxes_;
  std::vector<TValueChange> Questioned_;
  bool Force_ = false;
  std::vector<TRegisterTransfer> Finished_;
  std::optional<std::int32_t> LineLost_;
  bool Quit_ = false;
  std::string LastResult_;
  int Position_ = 0;
  std::string Note_;
};

}  // namespace tolvane
