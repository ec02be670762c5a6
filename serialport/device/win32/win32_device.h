// The serial device on Windows, on the system's own communications calls: a handle opened
// exclusively for overlapped I/O, the line through SetCommState, the driver's queues through
// SetupComm and PurgeComm, the modem lines through GetCommModemStatus, and the driver's events
// through WaitCommEvent. Every failure is GetLastError's code.
//
// What every device owes the port is in its core (device_core.h): the input queue and its
// events (received data, the event character, 80 percent full), the time-out rules, the mask
// and the pending events. The driver is used only where the core cannot do without it. Its own
// time-outs stay "return at once" and its mask stays every hardware event; a watcher thread
// waits on WaitCommEvent, reads exactly what ClearCommError says is queued (some drivers, and
// Wine, keep an "at once" read pending until its whole count arrives) into the core's queue,
// and passes the driver's other events (transmit empty, modem lines, break, line errors) on.
// So a new mask from the port never disturbs a wait in the driver (a new mask ends it with
// ERROR_OPERATION_ABORTED under Wine), and the event character works where the driver's
// EV_RXFLAG does not. Writes wait for their time-out themselves and cancel what is left.
//
// An adapter that is unplugged makes the handle's calls fail with the driver's codes
// (ERROR_GEN_FAILURE, ERROR_BAD_COMMAND, ERROR_DEVICE_NOT_CONNECTED, ERROR_BROKEN_PIPE, ...):
// the first such failure of a read, write or wait, or of the status queries made after another
// failure, is the lost line, until the device closes.
//
// Threads. The owner thread opens, configures, writes, purges and closes; the event thread waits
// in WaitCommEvent; reads and status queries run on whichever thread delivers events. The
// watcher thread lives while the device is open and alone reads the driver. The core's mutex
// guards the driver's pending line errors too; it is never held across a blocking call. Blocked
// calls sleep on event handles of their own, which new input, purges, a lost line and Close set.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "serialport/device/device_core.h"

namespace tolvane {

class TWin32Device final : public TDeviceCore {
 public:
  TWin32Device() = default;
  ~TWin32Device() override;

  // Path names a communications device (\\.\COM5).
  int Open(const std::string& Path) override;
  int SetCommState(const TDcb& Dcb) override;
  // Reads take what the watcher has queued (the core's ReadFile); writes go to the driver.
  int WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override;
  int GetCommModemStatus(std::uint32_t& Status) override;
  TWaitResult WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) override;

 private:
  using THandle = void*;

  int QueueSizesChanged(std::int32_t InputSize, std::int32_t OutputSize) override;
  void WakeWaiterLocked() override;
  // A lost line also ends the reads and writes in progress.
  void LineLostLocked() override;
  // A watcher stopped on a full queue goes on reading the driver.
  void QueueHasRoomLocked() override;
  void WakeAllLocked() override;
  // Ends the watcher, then closes the handle and the events.
  void ReleaseSystem() override;
  // The line errors the driver reported to the watcher's ClearCommError calls.
  std::uint32_t TakeLineErrorsLocked() override;
  // Wakes the aborted transfers and purges the driver's queues.
  int PurgeLocked(std::uint32_t Flags) override;

  void CloseEvents();
  void WatchLoop();
  // Moves what the driver holds into the queue, as far as it has room; 0 or the failure's code.
  int PullInput();
  // A failure of the handle: when it, or a status query made now, says the line is gone, that
  // code becomes the line error. Returns Error.
  int NoteFailure(int Error);

  // Set by Open and cleared by ReleaseSystem under Mutex_; read without it inside a call, which
  // Close waits for, and by the watcher, which Close joins before the handle goes.
  THandle Handle_ = nullptr;
  THandle EventWake_ = nullptr;  // ends the sleep of the port's event wait
  THandle TxWake_ = nullptr;     // ends a write: a transmit abort, a lost line or Close
  THandle WatchWake_ = nullptr;  // ends the watcher's wait: room in the queue, a purge or Close
  // The driver's mask: every hardware event, or, where the driver refuses the modem lines'
  // events, those it takes; 0 when it takes none, and the watcher then looks every few ms.
  std::uint32_t DriverMask_ = 0;
  bool WatcherStarved_ = false;     // the queue was full, so the watcher stopped reading
  std::uint32_t DriverErrors_ = 0;  // CE_ flags the driver reported, not yet handed out
  std::thread Watcher_;
};

}  // namespace tolvane
