// The connection supervisor and the Read and Write transfers, paced by the window's 100 ms
// timer. After the port opens, "ID;" is polled once per tick until the controller answers with
// status "200" or 150 polls went unanswered. Read and Write move one register per tick with a
// progress display; one transfer runs at a time, and none sends a register packet before the
// controller has identified on this opening of the port: a transfer pressed earlier waits for
// it. A Write sends the values checked at the press and then reads every register back; a
// transfer ends with a result line, and with one box naming every register that did not answer
// or does not hold what was sent. Disconnect and a lost line end a transfer; nothing resumes.
//
// A Compare reads the eleven registers without touching the fields and names in one box every
// field whose window value the controller does not hold.
//
// With a backup store, every Write first saves the controller's present values: those of the
// last complete Read, Compare or verified Write of this connection, or else those of a read made
// for the purpose, after which the Write goes on by itself. A Write goes ahead only once its
// backup is written; a read for it that stays incomplete, or a backup that fails, stops it with
// one box. Every complete Read is saved as well.
//
// Once the present values are known, and before the backup, each value that will change is set
// against the one the controller holds (plausibility_guard.h): a Write with an implausible change
// asks the operator first, listing every change; a Write without one asks nothing.
//
// Everything runs on the user-interface thread, one handler at a time, so no lock is needed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "logic/transfer/application_title.h"
#include "logic/transfer/register_transfer.h"
#include "logic/transfer/transfer_host.h"
#include "logic/transfer/transfer_report.h"
#include "logic/transfer/value_backups.h"

namespace tolvane {

inline constexpr int ProgressMin = 0;
inline constexpr int ProgressMax = 1000;
inline constexpr std::string_view PercentSign = "%";
inline constexpr std::int32_t IdentificationPolls = 150;
inline constexpr std::string_view WrongDataMessage = "Wrong Data";
inline constexpr std::string_view WrongDataTitle = "Error";
inline constexpr std::string_view NoConnectionMessage = "No connection";
// "No connection" has no title of its own; its box carries the application title, like the
// application's general error report. So do the boxes that end a transfer.
inline constexpr std::string_view NoConnectionTitle = ApplicationTitle;
inline constexpr std::string_view TransferBoxTitle = ApplicationTitle;
inline constexpr std::string_view WaitingForIdentificationNote =
    "Waiting for the controller to identify";
inline constexpr std::string_view WaitingForRepliesNote = "Waiting for replies";

class TTransferSequencer {
 public:
  explicit TTransferSequencer(TTransferHost& Host) : Host_(Host) {}

  // One timer tick: the transfer part, then the identification part, each only if the port is
  // open when the part starts. A port error propagates and skips the rest of the tick; the step
  // already counted is not repeated, and a request that did not go out is asked again.
  void StatusTimer();
  // Starts a Read; ignored while a transfer runs or the port is closed.
  void ButtonReadClick();
  // Checks the eleven fields first: the first that fails gets "Wrong Data" naming it, and the
  // keyboard focus. Otherwise takes the eleven texts as they are now, starts the Write and
  // writes the settings file; a failing settings file is reported and the Write goes on. With a
  // backup store the Write is preceded by its backup (see the top of this file).
  void ButtonWriteClick();
  // Starts a Compare of the controller's values with the fields' texts as they are now; ignored
  // while a transfer runs or the port is closed.
  void ButtonCompareClick();
  // Where the controller's values are saved before every Write and after every complete Read;
  // none: no backups. Not owned.
  void SetBackups(TValueBackups* Backups) { Backups_ = Backups; }
  // The after-open reaction's step: start polling for identification.
  void ArmIdentification();
  // The packet reaction's step on an "ID" reply with status "200".
  void ConfirmIdentification();
  // The packet reaction's step on a register value for table row Row.
  void RegisterValueReceived(std::size_t Row, const std::string& Value);
  // Whether a register value for Row belongs in its field: not while a Compare or the read for a
  // backup runs, nor a late answer to one of their requests, nor, while a transfer runs, a value
  // that does not pass the field check.
  bool ShowsReply(std::size_t Row, const std::string& Value) const;
  // Disconnect, or quitting: the running transfer ends, and every field it did not confirm is
  // marked. Returns the box for a Write cut short, else empty.
  std::string EndTransfer(TTransferStop Why = TTransferStop::Disconnect);
  // The line is gone: the transfer and the identification end, with the marks of EndTransfer.
  // Returns the lines to add to the lost-line box for a Write cut short, else empty.
  std::string EndAll();
  // The port has closed: the controller must identify again on the next opening.
  void PortClosed();
  // Window creation: nothing runs.
  void Reset();

  // A transfer runs or waits for the identification.
  bool Running() const { return Transfer_.has_value(); }
  const TRegisterTransfer* Transfer() const { return Transfer_ ? &*Transfer_ : nullptr; }
  bool Identified() const { return Identified_; }
  bool WaitID() const { return WaitID_; }
  std::int32_t IdTicks() const { return IdTicks_; }
  // The controller's values as last seen whole on this connection, if they were.
  const std::optional<TRegisterTexts>& KnownValues() const { return KnownValues_; }

  // Called with every transfer that ran to its end, after its marks, result line and box.
  std::function<void(const TRegisterTransfer&)> OnFinished;

 private:
  void Start(TRegisterTransfer Transfer);
  void StartWrite(const TRegisterTexts& Values, const std::string& BackupFile);
  // The present values are known: the guard's question where a change is implausible, then the
  // backup, then the Write.
  // Present is a copy: the question's nested loop may forget the known values meanwhile.
  void WriteOver(TRegisterTexts Present, const TRegisterTexts& Values);
  // False when a change is implausible and the operator did not choose Write.
  bool ConfirmedChanges(const TRegisterTexts& Present, const TRegisterTexts& Values);
  // Saves Values as the backup of Event and gives the file; a failure is shown in one box and
  // gives nothing.
  std::optional<std::string> BackUp(const TRegisterTexts& Values, TBackupEvent Event);
  void LearnFrom(const TRegisterTransfer& Done);
  void IgnoreLateRepliesOf(const TRegisterTransfer& Transfer);
  std::string RunningNote() const;
  void TransferPart();
  void IdentificationPart();
  void ShowProgressOf(const TRegisterTransfer& Transfer);
  void Finish();
  std::string Stop(TTransferStop Why);
  // Ends the transfer without a word, for the handshake giving up.
  void Drop();

  TTransferHost& Host_;
  std::optional<TRegisterTransfer> Transfer_;
  TValueBackups* Backups_ = nullptr;
  std::optional<TRegisterTexts> KnownValues_;
  // Rows whose Compare request is still unanswered after that Compare ended.
  std::array<bool, RegisterCount> LateRepliesIgnored_{};
  bool Identified_ = false;
  bool WaitID_ = false;
  std::int32_t IdTicks_ = 0;
};

}  // namespace tolvane
