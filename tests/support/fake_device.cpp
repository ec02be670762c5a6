#include "tests/support/fake_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "serialport/dispatch/stop_signal_posix.h"
#include "serialport/port/com_port.h"

namespace tolvane {

TFakeDevice::TFakeDevice() : WakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (WakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TFakeDevice::~TFakeDevice() {
  close(WakeFd_);
}

int TFakeDevice::Enter(const std::string& Line, bool NeedsOpen) {
  Calls_.push_back(Line);
  const std::string Name = Line.substr(0, Line.find(' '));
  if (auto Once = FailOnce_.find(Name); Once != FailOnce_.end()) {
    const int Error = Once->second;
    FailOnce_.erase(Once);
    return Error;
  }
  if (auto Always = FailAlways_.find(Name); Always != FailAlways_.end()) return Always->second;
  if (NeedsOpen && !Open_) return EBADF;
  return 0;
}

void TFakeDevice::Wake() const {
  const std::uint64_t One = 1;
  [[maybe_unused]] ssize_t Written = write(WakeFd_, &One, sizeof One);
}

int TFakeDevice::Open(const std::string& Path) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("Open " + Path, false)) return Error;
  if (Open_) return EBUSY;
  Open_ = true;
  LineError_ = 0;
  return 0;
}

int TFakeDevice::Close() {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("Close", true)) return Error;
  Open_ = false;
  LineError_ = 0;  // a line lost is lost until the device is closed
  Wake();
  return 0;
}

bool TFakeDevice::IsOpen() const {
  std::lock_guard Lock(Mutex_);
  return Open_;
}

int TFakeDevice::SetupComm(std::int32_t InputSize, std::int32_t OutputSize) {
  std::lock_guard Lock(Mutex_);
  return Enter("SetupComm " + std::to_string(InputSize) + " " + std::to_string(OutputSize), true);
}

int TFakeDevice::SetCommState(const TDcb& Dcb) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("SetCommState", true)) return Error;
  // What no line can carry is refused, as every device does; the rest is taken as it is.
  if (Dcb.ByteSize < 5 || Dcb.ByteSize > 8 || Dcb.Parity > SPACEPARITY ||
      Dcb.StopBits > TWOSTOPBITS)
    return EINVAL;
  LastDcb_ = Dcb;
  return 0;
}

int TFakeDevice::SetCommTimeouts(const TCommTimeouts& Timeouts) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("SetCommTimeouts", true)) return Error;
  LastTimeouts_ = Timeouts;
  return 0;
}

int TFakeDevice::WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("WriteFile " + std::to_string(Count), true)) return Error;
  const std::uint32_t Accepted = std::min(Count, WriteLimit_);
  Written_.append(static_cast<const char*>(Buffer), Accepted);
  Overlapped = TOverlapped{true, Accepted, 0};
  return 0;
}

int TFakeDevice::ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("ReadFile " + std::to_string(Count), true)) return Error;
  const auto Delivered = static_cast<std::uint32_t>(
      std::min<std::size_t>({Count, Input_.size(), std::size_t{ReadLimit_}}));
  std::memcpy(Buffer, Input_.data(), Delivered);
  Input_.erase(0, Delivered);
  Overlapped = TOverlapped{true, Delivered, 0};
  return 0;
}

int TFakeDevice::GetOverlappedResult(const TOverlapped& Overlapped, std::uint32_t& Transferred) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("GetOverlappedResult", true)) return Error;
  Transferred = Overlapped.Transferred;
  return Overlapped.Error;
}

int TFakeDevice::PurgeComm(std::uint32_t Flags) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("PurgeComm " + std::to_string(Flags), true)) return Error;
  if ((Flags & PURGE_RXCLEAR) != 0) Input_.clear();
  return 0;
}

int TFakeDevice::ClearCommError(std::uint32_t& Errors, std::uint32_t& InQueue) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("ClearCommError", true)) return Error;
  Errors = LineErrors_;
  LineErrors_ = 0;
  InQueue = static_cast<std::uint32_t>(Input_.size());
  return 0;
}

int TFakeDevice::InputCount(std::uint32_t& InQueue) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("InputCount", true)) return Error;
  InQueue = static_cast<std::uint32_t>(Input_.size());
  return 0;
}

int TFakeDevice::GetCommModemStatus(std::uint32_t& Status) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("GetCommModemStatus", true)) return Error;
  Status = ModemStatus_;
  return 0;
}

int TFakeDevice::SetCommMask(std::uint32_t Mask) {
  std::lock_guard Lock(Mutex_);
  if (const int Error = Enter("SetCommMask " + std::to_string(Mask), true)) return Error;
  EventMask_ = Mask;
  if (Mask == 0 && Waiters_ > 0) MaskCleared_ = true;
  Wake();
  return 0;
}

TWaitResult TFakeDevice::WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) {
  std::unique_lock Lock(Mutex_);
  if (Enter("WaitCommEvent", true) != 0) return TWaitResult::Failed;
  ++Waiters_;
  WaiterChanged_.notify_all();
  TWaitResult Result = TWaitResult::Failed;
  for (;;) {
    if (WaitMustFail_ || !Open_) {
      WaitMustFail_ = false;
      break;
    }
    if (MaskCleared_) {
      // Clearing the mask ends a wait in progress with no events.
      MaskCleared_ = false;
      Mask = 0;
      Result = TWaitResult::Event;
      break;
    }
    if (const std::uint32_t Selected = PendingEvents_ & EventMask_; Selected != 0) {
      PendingEvents_ = 0;
      Mask = Selected;
      Result = TWaitResult::Event;
      break;
    }
    // Like a real device, events that came before the loss are reported first.
    if (LineError_ != 0) {
      Result = TWaitResult::LineLost;
      break;
    }
    Lock.unlock();
    pollfd Fds[2] = {{StopSignalFd(Stop), POLLIN, 0}, {WakeFd_, POLLIN, 0}};
    const int Ready = poll(Fds, 2, -1);
    const int PollError = errno;
    Lock.lock();
    if (Ready < 0 && PollError != EINTR) break;
    if ((Fds[0].revents & POLLIN) != 0) {
      Result = TWaitResult::Stopped;
      break;
    }
    if ((Fds[1].revents & POLLIN) != 0) {
      std::uint64_t Count = 0;
      [[maybe_unused]] ssize_t Read = read(WakeFd_, &Count, sizeof Count);
    }
  }
  --Waiters_;
  WaiterChanged_.notify_all();
  return Result;
}

std::vector<std::string> TFakeDevice::Calls() const {
  std::lock_guard Lock(Mutex_);
  return Calls_;
}

std::vector<std::string> TFakeDevice::CallsNamed(const std::string& Name) const {
  std::lock_guard Lock(Mutex_);
  std::vector<std::string> Named;
  for (const std::string& Line : Calls_) {
    if (Line.substr(0, Line.find(' ')) == Name) Named.push_back(Line);
  }
  return Named;
}

void TFakeDevice::ClearCalls() {
  std::lock_guard Lock(Mutex_);
  Calls_.clear();
}

TDcb TFakeDevice::LastDcb() const {
  std::lock_guard Lock(Mutex_);
  return LastDcb_;
}

TCommTimeouts TFakeDevice::LastTimeouts() const {
  std::lock_guard Lock(Mutex_);
  return LastTimeouts_;
}

std::uint32_t TFakeDevice::EventMask() const {
  std::lock_guard Lock(Mutex_);
  return EventMask_;
}

std::string TFakeDevice::Written() const {
  std::lock_guard Lock(Mutex_);
  return Written_;
}

std::size_t TFakeDevice::InputQueued() const {
  std::lock_guard Lock(Mutex_);
  return Input_.size();
}

void TFakeDevice::InjectInput(const std::string& Bytes) {
  std::lock_guard Lock(Mutex_);
  Input_ += Bytes;
}

void TFakeDevice::SetLineErrors(std::uint32_t CeFlags) {
  std::lock_guard Lock(Mutex_);
  LineErrors_ |= CeFlags;
}

void TFakeDevice::SetModemStatus(std::uint32_t MsBits) {
  std::lock_guard Lock(Mutex_);
  ModemStatus_ = MsBits;
}

void TFakeDevice::LimitReads(std::uint32_t Limit) {
  std::lock_guard Lock(Mutex_);
  ReadLimit_ = Limit;
}

void TFakeDevice::LimitWrites(std::uint32_t Limit) {
  std::lock_guard Lock(Mutex_);
  WriteLimit_ = Limit;
}

void TFakeDevice::FailNext(const std::string& Name, int Error) {
  std::lock_guard Lock(Mutex_);
  FailOnce_[Name] = Error;
}

void TFakeDevice::FailAlways(const std::string& Name, int Error) {
  std::lock_guard Lock(Mutex_);
  FailAlways_[Name] = Error;
}

void TFakeDevice::ClearFailures() {
  std::lock_guard Lock(Mutex_);
  FailOnce_.clear();
  FailAlways_.clear();
}

void TFakeDevice::RaiseEvents(std::uint32_t Mask) {
  std::lock_guard Lock(Mutex_);
  PendingEvents_ |= Mask;
  Wake();
}

int TFakeDevice::LineError() const {
  std::lock_guard Lock(Mutex_);
  return LineError_;
}

void TFakeDevice::LoseLine(int Error) {
  std::lock_guard Lock(Mutex_);
  LineError_ = Error;
  Wake();
}

void TFakeDevice::FailWait() {
  std::lock_guard Lock(Mutex_);
  WaitMustFail_ = true;
  Wake();
}

bool TFakeDevice::WaitForWaiter(std::chrono::milliseconds Limit) const {
  std::unique_lock Lock(Mutex_);
  return WaiterChanged_.wait_for(Lock, Limit, [this] { return Waiters_ > 0; });
}

TFakeDevice& InstallFakeDevice(TCustomComPort& Port) {
  auto Device = std::make_unique<TFakeDevice>();
  TFakeDevice& Installed = *Device;
  Port.SetDevice(std::move(Device));
  return Installed;
}

}  // namespace tolvane
