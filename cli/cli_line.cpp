#include "cli/cli_line.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "cli/quit_signal.h"
#include "logic/files/designed_port.h"
#include "logic/protocol/controller_protocol.h"
#include "logic/transfer/packet_reaction.h"
#include "serialport/base/com_error.h"
#include "serialport/base/system_error_cause.h"

namespace tolvane {
namespace {

constexpr std::int64_t TickNs = 100'000'000;  // the window's 100 ms timer
constexpr const char* PacketStopString = ";";

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

TCliLine::TCliLine(TValueBackups& Backups, bool Progress) : Backups_(Backups), Progress_(Progress) {
  // The wake-up outlives every signal: the port's event thread has ended before the destructor
  // destroys it.
  Dispatcher_.SetWakeUp([this] { Wake_.Signal(); });
  ApplyDesignedPortSettings(Port_);
  Port_.SetDispatcher(Dispatcher_);
  Port_.OnLineLost = [this](TObject*, std::int32_t Code) { LoseLine(Code); };
  Packets_.SetStopString(PacketStopString);
  Packets_.SetComPort(&Port_);
  Packets_.OnPacket = [this](TObject*, const std::string& Str) {
    ApplyReceivedPacket(Str, *this, Sequencer_);
  };
  Sequencer_.SetBackups(&Backups_);
  Sequencer_.OnFinished = [this](const TRegisterTransfer& Done) { Finished_.push_back(Done); };
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    Fields_[Row] = std::string(RegisterTable[Row].Default);
  }
}

TCliLine::~TCliLine() {
  // As the window's Disconnect does, the controller is told; a line already gone is no error.
  try {
    if (Port_.Connected()) Port_.WriteString(std::string(DisconnectPacket));
  } catch (const EComPort&) {
  }
  Port_.ClosePort();
  Packets_.SetComPort(nullptr);
  Dispatcher_.SetWakeUp({});
}

void TCliLine::Open() {
  Port_.OpenPort();
  Sequencer_.ArmIdentification();
  NextTickNs_ = NowNs() + TickNs;
}

bool TCliLine::Identify(int Polls) {
  if (Progress_) std::fprintf(stderr, "Waiting for the controller on %s ...", Port_.Port().c_str());
  while (Port_.Connected() && !Sequencer_.Identified() && Sequencer_.IdTicks() < Polls &&
         !Quitting())
    Turn();
  // The poll of the last tick may still be answered: one more turn without a tick serves it.
  if (Port_.Connected() && !Sequencer_.Identified() && !Quit_) {
    const std::int64_t LastReply = NextTickNs_;
    while (NowNs() < LastReply && !Sequencer_.Identified()) Turn();
  }
  if (Progress_) std::fprintf(stderr, Sequencer_.Identified() ? " identified\n" : "\n");
  return Port_.Connected() && Sequencer_.Identified();
}

void TCliLine::RunTransfer() {
  while (Port_.Connected() && Sequencer_.Running() && !Quitting()) Turn();
}

bool TCliLine::Quitting() {
  if (Quit_) return true;
  if (!QuitRequested()) return false;
  Quit_ = true;
  const std::string Stopped = Sequencer_.EndTransfer(TTransferStop::Quit);
  if (!Stopped.empty()) Boxes_.push_back(Stopped);
  return true;
}

void TCliLine::SetFields(const TRegisterTexts& Values) {
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) Fields_[Row] = Values[Row];
}

void TCliLine::Turn() {
  const std::int64_t Left = NextTickNs_ - NowNs();
  if (Left > 0) {
    if (Wake_.WaitFor(std::chrono::nanoseconds(Left))) {
      Dispatcher_.Drain();
      return;
    }
  }
  // Late ticks are not made up for: the next one is a whole tick after this one.
  NextTickNs_ = NowNs() + TickNs;
  Sequencer_.StatusTimer();
}

void TCliLine::WritePacket(const std::string& Packet) {
  try {
    Port_.WriteString(Packet);
  } catch (const EComPort& Error) {
    if (!IsLineLostError(Error.SystemErrorCode())) throw;
    LoseLine(Error.SystemErrorCode());
  }
}

// As in the window: whatever runs ends, and the device is let go.
void TCliLine::LoseLine(std::int32_t SystemErrorCode) {
  if (!Port_.Connected()) return;
  LineLost_ = SystemErrorCode;
  const std::string Stopped = Sequencer_.EndAll();
  if (!Stopped.empty()) Boxes_.push_back(Stopped);
  Port_.ClosePort();
}

void TCliLine::ShowProgress(bool Visible) {
  if (Progress_ && !Visible) std::fprintf(stderr, "\r\033[K");
}

void TCliLine::SetProgressLabel(const std::string& Caption) {
  if (!Progress_ || !Sequencer_.Transfer()) return;
  const char* Doing = "Reading";
  if (!Note_.empty()) {
    Doing = Note_.c_str();
  } else if (Sequencer_.Transfer()->Kind() == TRegisterTransferKind::Write) {
    Doing = "Writing and reading back";
  }
  std::fprintf(stderr, "\r\033[K%s: %s", Doing, Caption.c_str());
}

void TCliLine::ShowTransferResult(const std::string& Result) {
  if (Result.empty()) return;
  LastResult_ = Result;
  if (Progress_) std::fprintf(stderr, "\r\033[K%s\n", Result.c_str());
}

std::string TCliLine::ClockTime() {
  const std::time_t Now = std::time(nullptr);
  std::tm Local{};
  Local = *std::localtime(&Now);  // the main thread is the only one that asks
  char Text[8];
  std::strftime(Text, sizeof Text, "%H:%M", &Local);
  return Text;
}

void TCliLine::ShowError(const std::string& Text, const std::string&) {
  Boxes_.push_back(Text);
}

}  // namespace tolvane
