// The production device on Linux: a tty (a real serial port or a pseudo-terminal) driven through
// termios, behaving the way the port expects of its driver.
//
// What every device owes the port is in its core (device_core.h); this file adds the tty's
// system calls.
//
// Threads. The owner thread opens, configures, writes, purges and closes; the event thread waits
// in WaitCommEvent; reads and status queries run on whichever thread delivers events. Two helper
// threads live while the device is open: one waits for the output to drain after writes (for
// EV_TXEMPTY), one waits for modem line changes (only on devices that have modem lines). The
// core's mutex guards the tty's state too. Blocking calls wait in poll() on the tty and on an
// eventfd of their own, which purge, SetCommMask and Close write to wake them. Close waits
// until no other thread is inside a call before it releases the descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "serialport/device/device_core.h"
#include "serialport/device/posix/posix_device_helper.h"

namespace tolvane {

class TPosixDevice final : public TDeviceCore {
 public:
  // Input waiting in the queue from which a line counts as busy (a controller's reply is a few
  // dozen bytes): the status query then takes in what the kernel has received meanwhile.
  static constexpr std::size_t BusyLineQueue = 1024;

  TPosixDevice() = default;
  ~TPosixDevice() override;

  // Path names a tty: a serial port or the slave of a pseudo-terminal.
  int Open(const std::string& Path) override;
  int SetCommState(const TDcb& Dcb) override;
  int WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override;
  int ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override;
  // A pseudo-terminal, which has no modem lines, reports them all off.
  int GetCommModemStatus(std::uint32_t& Status) override;
  TWaitResult WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) override;

 private:
  // The queue's count, after taking in what the kernel holds when the event thread would not.
  std::uint32_t CountInputLocked() override;
  // The driver's error counters that moved since the last look.
  std::uint32_t TakeLineErrorsLocked() override;
  // Wakes the aborted transfers and flushes the kernel's buffers.
  int PurgeLocked(std::uint32_t Flags) override;
  // An empty mask ends the event thread's waiting, so the status queries read the tty again.
  void MaskChangedLocked() override;
  // Every blocked call sleeps in poll() on an eventfd of its own.
  void WakeWaiterLocked() override;
  void WakeAllLocked() override;
  // Ends the two helper threads, gives up exclusive mode and closes the descriptor.
  void ReleaseSystem() override;

  int OpenWakeups();
  void CloseWakeups();
  int StartHelpers();
  void DrainLoop();
  void ModemLoop();

  // Moves what the kernel holds into the queue, without blocking; the caller holds Mutex_.
  // Returns EIO once the far end has hung up, or the error that made the tty unreadable.
  int PullLocked();
  TWaitResult AwaitEvents(std::uint32_t& Mask, const TStopSignal& Stop);
  // After a write: the transmit-empty event at once when the kernel's output queue is already
  // empty (always so on a pseudo-terminal), else the drain helper's tcdrain raises it.
  void ReportWriteEnd();

  // Set by Open and cleared by Close under Mutex_; read without it inside a call, which Close
  // waits for.
  int Fd_ = -1;
  int RxWake_ = -1;
  int TxWake_ = -1;
  int EventWake_ = -1;
  int DrainKick_ = -1;

  // The last read found the kernel's input empty; the waiter polls before it reads again. A
  // busy line's delivery on the waiter's own thread clears it (see ReadFile).
  bool TtyEmpty_ = false;
  // The waiter watches the tty for input in its poll() (not while the queue is full).
  bool PollingInput_ = false;
  // An event thread waits for events again after each one it delivers (from its first wait
  // until it stops, fails or clears the mask), so it moves new input from the kernel itself.
  bool HasWaiter_ = false;
  // The thread of the last event wait: the one that delivers, too, when the port delivers
  // without handing over.
  std::thread::id WaiterThread_;
  // A pseudo-terminal hands written bytes straight to its master: its output queue is always
  // empty, so a write is followed by transmit-empty without asking. Nor does it carry breaks,
  // parity or framing errors, so its input is not marked (see UnmarkedOnPseudoTerminal).
  bool PseudoTerminal_ = false;
  bool HasCounters_ = false;
  std::uint32_t LastCounters_[5] = {};

  TInterruptibleThread Drainer_;
  TInterruptibleThread ModemWatcher_;
};

}  // namespace tolvane
