// The thread that waits for device events while a port is open, and hands each batch of events
// to the port according to its SyncMethod.
//
// Threads and sharing:
// - The owner thread (the port's) constructs and destroys this object. The constructor selects
//   the device events and starts the loop; the destructor signals the stop and waits for the
//   loop to end while serving the port's dispatcher, so a delivery in progress can finish.
// - The loop runs on its own thread and touches the port only through its device (whose calls
//   are safe across threads) and through the delivery: smThreadSync runs it on the owner thread
//   and waits (Synchronize), smWindowSync hands the batch to the owner thread, which runs the
//   window procedure for each of its events in turn, and goes on once it is taken (HandOver),
//   smNone runs it on this thread. A wait that reports the line
//   lost is delivered the same way (ProcessLineLost) and ends the loop.
// - In smThreadSync on a busy line this thread, while the owner thread runs a delivery, goes on
//   waiting on the device (which moves what the system received into the device's input queue),
//   until the delivery has ended, gathering the events it hears. The owner thread, after a batch,
//   takes what was gathered meanwhile (or, with nothing gathered, the events the device raised
//   while it ran: TakeCommEvents) and delivers it as the next batch in the same hand-over, a few
//   times over; what is still gathered when the delivery ends goes in the next hand-over. So a
//   line faster than the owner thread costs a hand-over per few batches, not per batch. This
//   thread delivers nothing itself meanwhile.
// - CurrentEvents is written only by this thread between waits; each delivery takes a copy, so
//   no lock is needed. Gathered_ is added to by this thread and taken by whichever thread
//   delivers it next, atomically. The stop flag is atomic; the stop signal is an eventfd that
//   the device wait watches, so stopping never waits for a time-out.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>

#include "serialport/base/com_types.h"
#include "serialport/dispatch/com_dispatcher.h"
#include "serialport/dispatch/stop_signal.h"

namespace tolvane {

class TCustomComPort;

class TComThread {
 public:
  explicit TComThread(TCustomComPort& Port);
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  void SignalStop();
  // The steps of one batch run in this order: evError, evRxChar, evTxEmpty, evBreak, evRing,
  // evCTS, evDSR, evRxFlag, evRLSD, evRx80Full.
  static void DeliverEvents(TCustomComPort& Port, TComEvents Events);

 private:
  void Execute();
  // Waits and delivers until the loop ends; the system error code when it ended because the
  // line is gone, else 0.
  int WaitAndDispatch();
  void DispatchEvents();
  // Hands the port the news that its line is gone, the same way as events; the loop then ends.
  void DispatchLineLost(int Error);
  void DeliverWithFollowing(TComEvents Events);
  // This thread's wait while the owner thread delivers (smThreadSync); false once the device
  // cannot be waited on any more.
  bool WaitDuringDelivery();
  std::optional<std::uint32_t> CountForHandOver();
  void PostEvents();
  bool Stopping() const { return Stopping_.load(); }

  TCustomComPort& OwnerPort;
  TStopSignal StopSignal;
  TComEvents CurrentEvents;
  std::atomic<bool> Stopping_{false};
  std::atomic<bool> Finished_{false};
  TComDispatcher::TCallRecord Call_;  // reused by every hand-over of this thread
  TStopSignal Delivered_;             // set once the delivery under way has run
  // Device events heard while the owner thread delivered, not delivered yet.
  std::atomic<std::uint32_t> Gathered_{0};
  bool LostDuringDelivery_ = false;
  std::thread Thread_;
};

}  // namespace tolvane
