// Line settings, writing, purging and the event side of the network device.
#include <algorithm>
#include <climits>
#include <utility>

#include "serialport/base/system_error_codes.h"
#include "serialport/device/network/network_device.h"
#include "serialport/device/read_plan.h"
#include "serialport/dispatch/stop_signal.h"

namespace tolvane {
namespace {

using TClock = std::chrono::steady_clock;
using TMilliseconds = std::chrono::milliseconds;

// How many of Count data bytes a telnet stream has carried once Sent of its bytes are out.
std::uint32_t DataBytesSent(const std::uint8_t* Data, std::uint32_t Count, std::size_t Sent) {
  std::size_t Wire = 0;
  std::uint32_t Done = 0;
  while (Done < Count) {
    Wire += Data[Done] == telnet::Iac ? 2 : 1;
    if (Wire > Sent) break;
    ++Done;
  }
  return Done;
}

}  // namespace

int TNetworkDevice::Send(const std::vector<std::uint8_t>& Bytes, std::size_t& Sent,
                         std::optional<TMilliseconds> Limit, const std::uint64_t* Aborts) {
  std::optional<TClock::time_point> Deadline;
  if (Limit) Deadline = TClock::now() + *Limit;
  const std::intptr_t Wakes[] = {TxWake_.Native()};
  while (Sent < Bytes.size()) {
    bool CommandsWait = false;
    {
      std::lock_guard Lock(Mutex_);
      if (Closing_) return NotOpenErrorCode;
      if (Cancelled_) return CancelledErrorCode;
      if (LineError_ != 0) return LineError_;
      if (Aborts != nullptr && TxAborts_ != *Aborts) return CancelledErrorCode;
      // Commands queued before these bytes go first; once these have begun, later ones wait
      // for their end, so that nothing lands inside them.
      if (Sent == 0) {
        FlushUnsentLocked();
        CommandsWait = !Unsent_.empty();
      }
    }
    if (!CommandsWait) {
      const TSocketIo Out = Socket_.Send(Bytes.data() + Sent, Bytes.size() - Sent);
      if (Out.Status == TSocketIo::Failed) return Out.Error;
      if (Out.Count > 0) {
        Sent += Out.Count;
        continue;
      }
    }
    int Timeout = -1;
    if (Deadline) {
      const auto Left = std::chrono::ceil<TMilliseconds>(*Deadline - TClock::now()).count();
      if (Left <= 0) return 0;
      Timeout = static_cast<int>(std::min<decltype(Left)>(Left, INT_MAX));
    }
    TSocketReady Ready;
    if (const int Error = Socket_.Wait(WaitWritable, Wakes, 1, Timeout, Ready)) return Error;
    if (Ready.Woken != 0) TxWake_.Consume();
  }
  return 0;
}

int TNetworkDevice::SendCommands(const std::vector<TComPortCommand>& Commands) {
  std::vector<std::uint8_t> Wire;
  for (const TComPortCommand& Command : Commands)
    TTelnetCodec::AppendSubnegotiation(Wire, telnet::ComPort, Command.Payload());
  {
    std::lock_guard Lock(Mutex_);
    if (Closing_) return NotOpenErrorCode;
    if (LineError_ != 0) return LineError_;
  }
  // A server that takes no more commands is noticed by the missing answers.
  QueueWhole(Wire);
  return 0;
}

void TNetworkDevice::QueueWhole(const std::vector<std::uint8_t>& Bytes) {
  {
    std::lock_guard Lock(Mutex_);
    if (!Connected_ || Closing_) return;
    Unsent_.insert(Unsent_.end(), Bytes.begin(), Bytes.end());
  }
  FlushUnsent();
}

void TNetworkDevice::FlushUnsent() {
  std::unique_lock Sending(SendMutex_, std::try_to_lock);
  if (!Sending) return;
  std::lock_guard Lock(Mutex_);
  FlushUnsentLocked();
}

void TNetworkDevice::FlushUnsentLocked() {
  if (!Connected_ || Closing_) return;
  while (!Unsent_.empty()) {
    const TSocketIo Out = Socket_.Send(Unsent_.data(), Unsent_.size());
    if (Out.Count > 0) {
      Unsent_.erase(Unsent_.begin(), Unsent_.begin() + static_cast<std::ptrdiff_t>(Out.Count));
      continue;
    }
    if (Out.Status == TSocketIo::Failed) Unsent_.clear();  // the loss shows on the reading side
    break;
  }
  // The reader watches for room while something is left.
  if (!Unsent_.empty()) ReaderWake_.Signal();
}

int TNetworkDevice::AwaitAnswers(const std::vector<TComPortCommand>& Commands,
                                 std::uint64_t Since) {
  const auto Answered = [&](const TComPortCommand& Command) {
    return Answers_[AnswerKind(Command.Code, Command.Value)].Serial > Since;
  };
  std::unique_lock Lock(Mutex_);
  Changed_.wait_for(Lock, TMilliseconds(AnswerTimeoutMs), [&] {
    return Closing_ || Cancelled_ || LineError_ != 0 ||
           std::all_of(Commands.begin(), Commands.end(), [&](const TComPortCommand& Command) {
             return !Command.AwaitsAnswer || Answered(Command);
           });
  });
  if (Closing_) return NotOpenErrorCode;
  if (Cancelled_) return CancelledErrorCode;
  if (LineError_ != 0) return LineError_;
  bool Silent = false;
  for (const TComPortCommand& Command : Commands) {
    if (!Command.AwaitsAnswer) continue;
    if (!Answered(Command)) {
      Silent = true;
      continue;
    }
    // The server answers with what it has set; anything else means it could not set what was
    // asked, and the line is in a state nobody asked for.
    if (Answers_[AnswerKind(Command.Code, Command.Value)].Value != Command.Value) {
      Applied_.reset();
      return InvalidArgumentErrorCode;
    }
  }
  Lock.unlock();
  if (Silent) NoteOnce("the server did not answer a change of line settings; going on without");
  return 0;
}

void TNetworkDevice::NoteOnce(const std::string& What) {
  std::lock_guard Lock(Mutex_);
  NoteOnceLocked(What);
}

void TNetworkDevice::NoteOnceLocked(const std::string& What) {
  if (Noted_) return;
  Noted_ = true;
  Note_ = Address_ + ": " + What;
}

std::string TNetworkDevice::TakeNote() {
  std::lock_guard Lock(Mutex_);
  return std::exchange(Note_, {});
}

int TNetworkDevice::SetCommState(const TDcb& Dcb) {
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  const bool Telnet = Protocol_ == TNetworkProtocol::Rfc2217;
  if (const int Error = Telnet ? CheckDcbForComPort(Dcb) : CheckDcbIsSane(Dcb)) return Error;
  if (Telnet) {
    std::vector<TComPortCommand> Commands;
    std::uint64_t Since = 0;
    {
      std::lock_guard Lock(Mutex_);
      Commands = ComPortCommandsFor(Dcb, Applied_);
      Since = AnswerSerial_;
    }
    if (!Commands.empty()) {
      if (const int Error = SendCommands(Commands)) return Error;
      if (const int Error = AwaitAnswers(Commands, Since)) return Error;
    }
  }
  std::lock_guard Lock(Mutex_);
  if (Telnet) Applied_ = Dcb;
  // The server's stream carries no error marks, so only the null bytes and the event character
  // matter here.
  ConfigureQueueLocked(Dcb);
  return 0;
}

int TNetworkDevice::WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) {
  Overlapped = {};
  TUse Use(*this);
  if (Use.Error() != 0) return CompleteTransfer(Overlapped, 0, Use.Error());
  std::optional<TMilliseconds> Limit;
  std::uint64_t Aborts = 0;
  {
    std::lock_guard Lock(Mutex_);
    Limit = WriteTimeLimit(Timeouts_, Count);
    Aborts = TxAborts_;
  }
  const auto* In = static_cast<const std::uint8_t*>(Buffer);
  const bool Telnet = Protocol_ == TNetworkProtocol::Rfc2217;
  std::vector<std::uint8_t> Wire;
  if (Telnet)
    TTelnetCodec::AppendData(Wire, In, Count);
  else
    Wire.assign(In, In + Count);
  std::size_t Sent = 0;
  int Error = 0;
  {
    std::lock_guard Sending(SendMutex_);
    Error = Send(Wire, Sent, Limit, &Aborts);
    std::lock_guard Lock(Mutex_);
    // A doubled IAC cut in half would make the server read the next byte as a command: its
    // second half goes first of all that follows.
    const std::uint32_t Whole = Telnet ? DataBytesSent(In, Count, Sent) : Sent;
    if (Error == 0 && Telnet && Sent < Wire.size() && Whole < Count && Sent > 0 &&
        Wire[Sent - 1] == telnet::Iac && In[Whole] == telnet::Iac) {
      Unsent_.insert(Unsent_.begin(), telnet::Iac);
      ++Sent;
    }
    FlushUnsentLocked();
  }
  const std::uint32_t Written =
      Telnet ? DataBytesSent(In, Count, Sent) : static_cast<std::uint32_t>(Sent);
  std::lock_guard Lock(Mutex_);
  // The bytes are on their way once TCP has them; when they leave the server's line is not
  // something the server tells.
  if (Written > 0) AddEventsLocked(EV_TXEMPTY);
  if (IsLineLostError(Error)) LoseLineLocked(Error);
  return CompleteTransfer(Overlapped, Written, Error);
}

int TNetworkDevice::PurgeLocked(std::uint32_t Flags) {
  if (Flags & PURGE_TXABORT) TxWake_.Signal();
  if ((Flags & PURGE_RXCLEAR) && ReaderStarved_) ReaderWake_.Signal();
  Changed_.notify_all();
  return 0;
}

int TNetworkDevice::PurgeUnlocked(std::uint32_t Flags) {
  const TComPortCommand Purge = PurgeCommandFor(Flags);
  if (Protocol_ != TNetworkProtocol::Rfc2217 || Purge.Code == 0) return 0;
  // A lost line is reported by the event wait; clearing a dead line's buffers has nothing left
  // to fail.
  const int Error = SendCommands({Purge});
  return IsLineLostError(Error) ? 0 : Error;
}

std::uint32_t TNetworkDevice::TakeLineErrorsLocked() {
  return std::exchange(LineErrors_, 0);
}

int TNetworkDevice::GetCommModemStatus(std::uint32_t& Status) {
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  std::lock_guard Lock(Mutex_);
  Status = ModemStatusOf(ModemState_);
  return 0;
}

int TNetworkDevice::MaskChanged() {
  std::vector<TComPortCommand> Masks;
  {
    std::lock_guard Lock(Mutex_);
    // An empty mask comes as the port closes; the server's masks do not matter then.
    if (Protocol_ == TNetworkProtocol::Rfc2217 && Mask_ != 0) {
      const TComPortCommand Line = LineStateMaskFor(Mask_);
      const TComPortCommand Modem = ModemStateMaskFor(Mask_);
      if (LineStateMask_ != Line.Value.front()) Masks.push_back(Line);
      if (ModemStateMask_ != Modem.Value.front()) Masks.push_back(Modem);
      LineStateMask_ = Line.Value.front();
      ModemStateMask_ = Modem.Value.front();
    }
  }
  if (Masks.empty()) return 0;
  const int Error = SendCommands(Masks);
  return IsLineLostError(Error) ? 0 : Error;
}

TWaitResult TNetworkDevice::WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) {
  Mask = 0;
  TUse Use(*this);
  if (Use.Error() != 0) return TWaitResult::Failed;
  std::uint64_t MaskChanges = 0;
  {
    std::lock_guard Lock(Mutex_);
    MaskChanges = MaskChanges_;
  }
  const std::intptr_t Wakes[] = {Stop.NativeHandle(), EventWake_.Native()};
  for (;;) {
    if (Stop.IsSet()) return TWaitResult::Stopped;
    {
      std::lock_guard Lock(Mutex_);
      if (const auto Outcome = WaitOutcomeLocked(MaskChanges, Mask)) return *Outcome;
      Polling_ = true;
    }
    TSocketReady Ready;
    const int Error = WaitForWakes(Wakes, 2, -1, Ready);
    {
      std::lock_guard Lock(Mutex_);
      Polling_ = false;
    }
    if (Error != 0) return TWaitResult::Failed;
    if (Ready.Woken & 1u) return TWaitResult::Stopped;
    if (Ready.Woken & 2u) EventWake_.Consume();
  }
}

}  // namespace tolvane
