#include "serialport/port/com_thread.h"

#include <array>
#include <optional>

#include "serialport/base/com_error.h"
#include "serialport/device/event_mask.h"
#include "serialport/dispatch/com_dispatcher.h"
#include "serialport/port/com_port.h"
#include "serialport/port/thread_priority.h"

namespace tolvane {
namespace {

constexpr std::array<TComEvent, 10> DeliveryOrder = {
    TComEvent::evError, TComEvent::evRxChar,  TComEvent::evTxEmpty, TComEvent::evBreak,
    TComEvent::evRing,  TComEvent::evCTS,     TComEvent::evDSR,     TComEvent::evRxFlag,
    TComEvent::evRLSD,  TComEvent::evRx80Full};

}  // namespace

TComThread::TComThread(TCustomComPort& Port) : OwnerPort(Port) {
  // The result is not examined: a device that cannot select events simply reports none.
  OwnerPort.Device().SetCommMask(EventsToMask(OwnerPort.Events()));
  const TThreadPriority Priority = OwnerPort.ThreadPriority();
  Thread_ = std::thread([this, Priority] {
    ApplyThreadPriority(Priority);
    Execute();
  });
}

TComThread::~TComThread() {
  SignalStop();
  OwnerPort.Dispatcher().ServeUntil([this] { return Finished_.load(); });
  Thread_.join();
}

void TComThread::SignalStop() {
  Stopping_.store(true);
  StopSignal.Set();
  OwnerPort.Dispatcher().Notify();  // a delivery waiting on the owner thread gives up
}

void TComThread::Execute() {
  TComDevice& Device = OwnerPort.Device();
  if (const int Lost = WaitAndDispatch()) {
    try {
      DispatchLineLost(Lost);
    } catch (...) {
      // The handler's error ends nothing more than the thread, which ends anyway.
    }
  }
  Device.SetCommMask(0);
  // Unread input is thrown away; output is not: a write that reported its bytes as written
  // (the disconnect notice just before closing, say) must still reach the line.
  Device.PurgeComm(PURGE_RXCLEAR);
  Finished_.store(true);
  OwnerPort.Dispatcher().Notify();
}

int TComThread::WaitAndDispatch() {
  TComDevice& Device = OwnerPort.Device();
  try {
    for (;;) {
      std::uint32_t Mask = 0;
      const TWaitResult Result = Device.WaitCommEvent(Mask, StopSignal);
      if (Result == TWaitResult::LineLost) return Device.LineError();
      if (Result != TWaitResult::Event) return 0;
      CurrentEvents = MaskToEvents(Mask);
      DispatchEvents();
      while (!Stopping()) {
        const std::uint32_t Gathered = Gathered_.exchange(0);
        if (Gathered == 0) break;
        CurrentEvents = MaskToEvents(Gathered);
        DispatchEvents();
      }
      if (LostDuringDelivery_) return Device.LineError();
    }
  } catch (const EComPort& Error) {
    // A step that failed because the line is gone (the modem lines of a pulled adapter, say) is
    // the news of the loss itself.
    if (IsLineLostError(Error.SystemErrorCode())) return Error.SystemErrorCode();
  } catch (...) {
  }
  // Any other delivery error ends the thread without a report; the port stays open and receives
  // no more events until it is opened again.
  return 0;
}

void TComThread::DispatchEvents() {
  const std::optional<std::uint32_t> Queued = CountForHandOver();
  if (Queued && *Queued == 0) {
    // The bytes of this report rode on an earlier delivery (its count took them in): the
    // reception step would find nothing and call nothing, so the report costs no hand-over.
    // Bytes that come later raise a report of their own.
    CurrentEvents.Exclude(TComEvent::evRxChar);
    if (CurrentEvents.Empty()) return;
  }
  switch (OwnerPort.SyncMethod()) {
    case TSyncMethod::smThreadSync: {
      const TComEvents Events = CurrentEvents;
      const auto Deliver = [this, Events] { DeliverWithFollowing(Events); };
      const auto Abandon = [this] { return Stopping(); };
      // A queue of a kilobyte or more means that more is on its way (a reply is a dozen bytes).
      // Only then does this thread wait on the device during the delivery: with a quiet line,
      // what comes during a delivery (the transmit-empty of a reply a handler wrote) is the
      // owner thread's to take after it, in the same hand-over.
      constexpr std::uint32_t BusyLine = 1024;
      if (Queued && *Queued >= BusyLine) {
        OwnerPort.Dispatcher().SynchronizeMeanwhile(Deliver, Abandon, &Call_, Delivered_,
                                                    [this] { return WaitDuringDelivery(); });
      } else {
        OwnerPort.Dispatcher().Synchronize(Deliver, Abandon, &Call_);
      }
      break;
    }
    case TSyncMethod::smWindowSync:
      PostEvents();
      break;
    case TSyncMethod::smNone:
      DeliverEvents(OwnerPort, CurrentEvents);
      break;
  }
}

// The bytes waiting, for a report of received data that is to be handed over; none when there
// is no such report, no hand-over, or the count failed (the delivery then meets the failure).
std::optional<std::uint32_t> TComThread::CountForHandOver() {
  if (OwnerPort.SyncMethod() == TSyncMethod::smNone || !CurrentEvents.Contains(TComEvent::evRxChar))
    return std::nullopt;
  std::uint32_t Queued = 0;
  if (OwnerPort.Device().InputCount(Queued) != 0) return std::nullopt;
  return Queued;
}

bool TComThread::WaitDuringDelivery() {
  if (LostDuringDelivery_) return false;
  std::uint32_t Mask = 0;
  switch (OwnerPort.Device().WaitCommEvent(Mask, Delivered_)) {
    case TWaitResult::Event:
      Gathered_.fetch_or(Mask);
      return true;
    case TWaitResult::Stopped:
      return true;
    case TWaitResult::LineLost:
      // The events before the loss have been heard; the loss itself is told after them.
      LostDuringDelivery_ = true;
      return false;
    case TWaitResult::Failed:
      break;
  }
  return false;
}

void TComThread::DispatchLineLost(int Error) {
  TCustomComPort& Port = OwnerPort;
  const auto Step = [&Port, Error] { Port.ProcessLineLost(Error); };
  switch (OwnerPort.SyncMethod()) {
    case TSyncMethod::smThreadSync:
      OwnerPort.Dispatcher().Synchronize(Step, [this] { return Stopping(); });
      break;
    case TSyncMethod::smWindowSync:
      OwnerPort.Dispatcher().HandOver(Step, [this] { return Stopping(); });
      break;
    case TSyncMethod::smNone:
      Step();
      break;
  }
}

// On the owner thread, while this thread waits for it. Events heard while the batch ran (what
// this thread gathered on a busy line, else those the device raised: the transmit-empty of a
// reply that a handler wrote, say) are the batches this thread would deliver next; a few of them
// are delivered here, in the same order, saving each a hand-over, but not so many that a line
// that never pauses keeps the owner thread from its own loop. A handler that closes the port
// destroys this object, so after each batch the port is asked first.
void TComThread::DeliverWithFollowing(TComEvents Events) {
  constexpr int MostFollowing = 4;
  TCustomComPort& Port = OwnerPort;
  const TComThread* const Self = this;
  DeliverEvents(Port, Events);
  const auto NextBatch = [this, &Port](std::uint32_t& Mask) {
    // What was gathered came before what the device still holds.
    Mask = Gathered_.exchange(0);
    return Mask != 0 || Port.Device().TakeCommEvents(Mask);
  };
  std::uint32_t Mask = 0;
  for (int Following = 0; Following < MostFollowing && Port.Connected() &&
                          Port.EventThread_.get() == Self && !Stopping() && NextBatch(Mask);
       ++Following) {
    DeliverEvents(Port, MaskToEvents(Mask));
  }
}

void TComThread::DeliverEvents(TCustomComPort& Port, TComEvents Events) {
  for (TComEvent Event : DeliveryOrder) {
    // A handler may close the port in the middle of a batch; the rest of it has no device.
    if (!Port.Connected()) return;
    if (Events.Contains(Event)) Port.RunEventStep(Event);
  }
}

// One hand-over per batch: the owner thread, once it takes it, runs the window procedure for each
// event of the batch in turn, as for one message each.
void TComThread::PostEvents() {
  TCustomComPort& Port = OwnerPort;
  const TComEvents Events = CurrentEvents;
  OwnerPort.Dispatcher().HandOver(
      [&Port, Events] {
        for (TComEvent Event : DeliveryOrder) {
          if (Events.Contains(Event))
            Port.EventWindowProc(CM_COMPORT, EventMaskBits[static_cast<std::size_t>(Event)]);
        }
      },
      [this] { return Stopping(); }, &Call_);
}

}  // namespace tolvane
