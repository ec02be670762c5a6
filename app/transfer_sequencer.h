// The connection supervisor and the read and write sequences, paced by the window's 100 ms
// timer. After the port opens, "ID;" is polled once per tick until the controller answers with
// status "200" or 150 polls went unanswered; Read and Write transfer one register per tick with
// a progress display. Replies are not awaited: they arrive through the packet reaction.
//
// Everything runs on the user-interface thread, one handler at a time, so no lock is needed.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/application_title.h"
#include "app/sequencer_window.h"

namespace tolvane {

inline constexpr int ProgressStep = 25;
inline constexpr int ProgressMin = 0;
inline constexpr int ProgressMax = 1000;
inline constexpr int ProgressPercentPerStep = 9;
inline constexpr std::string_view PercentSign = "%";
inline constexpr std::int32_t IdentificationPolls = 150;
inline constexpr std::string_view WrongDataMessage = "Wrong Data";
inline constexpr std::string_view WrongDataTitle = "Error";
inline constexpr std::string_view NoConnectionMessage = "No connection";
// "No connection" has no title of its own; its box carries the application title, like the
// application's general error report.
inline constexpr std::string_view NoConnectionTitle = ApplicationTitle;

class TTransferSequencer {
 public:
  explicit TTransferSequencer(TSequencerWindow& Window) : Window_(Window) {}

  // One timer tick: the read part, the write part and the identification part, in this order,
  // each only if the port is open when the part starts. A port error propagates and skips the
  // rest of the tick; the step already counted is not repeated.
  void StatusTimer();
  void ButtonReadClick();
  // Checks the eleven fields; on success marks the write sequence running, then writes the
  // settings file and shows the progress panel. If the settings file fails, its error
  // propagates and the sequence still runs, without the progress panel being shown.
  void ButtonWriteClick();
  // The after-open reaction's step: start polling for identification.
  void ArmIdentification();
  // The packet reaction's step on an "ID" reply with status "200".
  void ConfirmIdentification();
  // The line is gone: the read and write sequences and the identification end (a closing by
  // Disconnect only pauses them), and the progress panel is hidden.
  void EndAll();
  // Window creation: both sequences inactive.
  void Reset();

  bool ReadSeq() const { return ReadSeq_; }
  bool WriteSeq() const { return WriteSeq_; }
  std::int32_t SeqStep() const { return SeqStep_; }
  bool WaitID() const { return WaitID_; }
  std::int32_t IdTicks() const { return IdTicks_; }

 private:
  enum class TDirection { Read, Write };

  void StartSequence(bool& Running);
  void SequencePart(bool& Running, TDirection Direction);
  void IdentificationPart();
  bool AllFieldsValid() const;

  TSequencerWindow& Window_;
  bool ReadSeq_ = false;
  bool WriteSeq_ = false;
  std::int32_t SeqStep_ = 0;  // one step counter shared by both sequences
  bool WaitID_ = false;
  std::int32_t IdTicks_ = 0;
};

}  // namespace tolvane
