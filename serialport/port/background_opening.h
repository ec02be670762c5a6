// An opening of a port's device on a thread of its own, for an owner thread that must not wait
// for it: a window, whose Connect to a slow or stalling network server may otherwise take
// seconds. The thread opens a new device for the port's name and gives it the port's settings
// in ApplySettings' order (buffer sizes, line settings, time-outs); the owner thread then opens
// the port on that device (TCustomComPort::OpenPortOn), so OpenPort's sequence, its events and
// its errors stay the port's own, and applying the settings there again sends nothing new.
//
// Threads. The constructor, Cancel, Finish and the destructor run on the port's owner thread;
// the opening thread alone touches the device until it has finished, and Done, which it calls
// last, tells the owner so (Done runs on the opening thread: it should only hand the news over).
// Cancel makes every wait of the opening give up (TComDevice::CancelOpening) and returns once
// the thread has ended, which is at once: only a device that cannot be cancelled holds it up.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "serialport/device/com_device.h"

namespace tolvane {

class TCustomComPort;

class TBackgroundOpening {
 public:
  using TDone = std::function<void()>;

  // Starts opening the device for Port's name with Port's present settings.
  TBackgroundOpening(const TCustomComPort& Port, TDone Done);
  ~TBackgroundOpening();
  TBackgroundOpening(const TBackgroundOpening&) = delete;
  TBackgroundOpening& operator=(const TBackgroundOpening&) = delete;

  // The port name the opening is for.
  const std::string& PortName() const { return PortName_; }
  // True once the opening thread has finished, the device open or not.
  bool Finished() const { return Finished_; }
  // Ends the opening: a device it opened is closed again. Harmless once finished.
  void Cancel();
  // Once Finished: opens Port (whose name must still be PortName) on the opened device, or
  // raises the EComPort the port's own OpenPort would have raised for the failure.
  void Finish(TCustomComPort& Port);

 private:
  void Run();

  std::string PortName_;
  std::string Address_;
  std::unique_ptr<TComDevice> Device_;
  std::int32_t InputSize_ = 0;
  std::int32_t OutputSize_ = 0;
  TDcb Dcb_;
  TCommTimeouts Timeouts_;
  TDone Done_;
  // What failed on the opening thread: the port error's number and the device's code (0: none).
  std::int32_t FailedStep_ = 0;
  int Error_ = 0;
  std::string Reason_;
  std::atomic<bool> Finished_ = false;
  std::atomic<bool> Cancelled_ = false;
  std::thread Thread_;
};

}  // namespace tolvane
