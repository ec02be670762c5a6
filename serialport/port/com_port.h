// The serial port: one object for one communications device. It holds the whole line
// configuration as properties, opens the device by name, re-applies a changed setting while
// open, delivers the device's events through an event thread, and raises EComPort on failure.
//
// Threads
// - The owner thread (the one that opens the port) calls every member; no member takes a lock.
// - While the port is open with Events, one event thread waits on the device and hands each
//   batch of events to the delivery steps (RunEventStep) on the thread SyncMethod chooses:
//   smThreadSync runs them on the owner thread and waits, smWindowSync hands the batch over (the
//   window procedure then runs once per event) and goes on once it is taken, smNone runs them on
//   the event thread itself. Handlers of the
//   published events and links run there, one at a time (serialport/port/com_thread.h).
// - The owner thread reaches the event thread only through the dispatcher
//   (serialport/dispatch/com_dispatcher.h). ClosePort stops the event thread and waits for it
//   while still serving hand-overs, so a delivery in progress can finish; no lock is held while
//   a handler runs.
// - Devices keep their own state safe across these threads and never call back into the port
//   (serialport/device/com_device.h).
//
// Errors
// - Every failure raises EComPort: a row of the error table (ErrorNumber) and, when a device
//   call failed, its system error code (errno, read at once) as SystemErrorCode; the message is
//   the row's text and " (error code: N)", and the detail names the device and the system's
//   reason (serialport/base/com_error.h).
// - serialport/base/system_error_cause.h sorts a code into its cause (line lost, permission,
//   busy, missing, other) for the port, the devices, the detail and the application.
// - A delivery step that raises goes to the application's exception handler
//   (HandleApplicationException) in window-sync delivery; in the other two it ends the event
//   thread, which then reports a lost line if the error's cause says so.
// - Devices return codes, never throw; the port turns them into EComPort.
//
// A line that goes away. When the device reports that the line is gone while the port is open
// (the far end hung up, a USB serial adapter was pulled: end of file or POLLHUP/POLLERR on the
// tty, or EIO, ENXIO or ENODEV from a read, write or wait; see IsLineLostError), the port fires
// OnLineLost once, with the system error code that said so. It comes from the event thread, on
// the thread SyncMethod delivers to, after every event that came before the loss, each link's
// OnLineLost first. A write or read that meets the dead line still raises its EComPort (with that
// code) as well; the notification follows it. The port stays open: the handler decides, and
// normally calls ClosePort, which releases the device so it can be opened again once it is back.
// Nothing fires while the port is closing, nor for a port opened with no Events (it has no event
// thread to notice). Without a handler the port behaves as before: it stays open, receives no
// more events, and its writes fail. A wait that fails for any other reason ends the event
// thread quietly as it always did.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serialport/base/com_types.h"
#include "serialport/base/component.h"
#include "serialport/device/com_device.h"
#include "serialport/port/com_link.h"
#include "serialport/port/com_settings.h"
#include "serialport/port/com_transfer.h"

namespace tolvane {

class TComThread;
class TComDispatcher;
class TIniFile;
class TRegistryAccessor;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TRxCharEvent = std::function<void(TObject* Sender, std::int32_t Count)>;
using TRxBufEvent = std::function<void(TObject* Sender, const void* Buffer, std::int32_t Count)>;
using TComErrorEvent = std::function<void(TObject* Sender, TComErrors Errors)>;
using TComSignalEvent = std::function<void(TObject* Sender, bool OnOff)>;
using TComLineLostEvent = std::function<void(TObject* Sender, std::int32_t SystemErrorCode)>;

// The port event message of window-sync delivery; its parameter is one EV_ bit.
inline constexpr std::uint32_t CM_COMPORT = 1025;

class TCustomComPort : public TComponent {
 public:
  explicit TCustomComPort(TComponent* AOwner);
  ~TCustomComPort() override;
  const char* ClassName() const override { return "TCustomComPort"; }

  // --- Opening and configuration ---
  void OpenPort();
  // OpenPort on Device, which was opened for this port's name and given its settings elsewhere
  // (on another thread, by TBackgroundOpening): the same sequence and events, with the device's
  // Open left out; applying the settings again sends it nothing new. Device is closed again when
  // the opening fails, or when the port is open already. Not for a port given its device with
  // SetDevice.
  void OpenPortOn(std::unique_ptr<TComDevice> Device);
  void ClosePort();
  void BeginConfig();
  void EndConfig();
  void ShowPortSetup();  // runs the setup dialog installed with SetPortSetupRunner

  bool Connected() const { return Connected_; }
  void SetConnected(bool Value);
  TBaudRate BaudRate() const { return BaudRate_; }
  void SetBaudRate(TBaudRate Value);
  std::int32_t CustomBaudRate() const { return CustomBaudRate_; }
  void SetCustomBaudRate(std::int32_t Value);
  const std::string& Port() const { return Port_; }
  void SetPort(const std::string& Value);
  TStopBits StopBits() const { return StopBits_; }
  void SetStopBits(TStopBits Value);
  TDataBits DataBits() const { return DataBits_; }
  void SetDataBits(TDataBits Value);
  bool DiscardNull() const { return DiscardNull_; }
  void SetDiscardNull(bool Value);
  char EventChar() const { return EventChar_; }
  void SetEventChar(char Value);
  TComEvents Events() const { return Events_; }
  void SetEvents(TComEvents Value) { Events_ = Value; }
  TSyncMethod SyncMethod() const { return SyncMethod_; }
  void SetSyncMethod(TSyncMethod Value);
  TStoredGroups StoredGroups() const { return StoredGroups_; }
  void SetStoredGroups(TStoredGroups Value) { StoredGroups_ = Value; }
  bool RxCharEnabled() const { return RxCharEnabled_; }
  void SetRxCharEnabled(bool Value) { RxCharEnabled_ = Value; }
  TThreadPriority ThreadPriority() const { return ThreadPriority_; }
  void SetThreadPriority(TThreadPriority Value) { ThreadPriority_ = Value; }
  bool HasRxBufLink() const { return HasRxBufLink_; }

  // The settings objects belong to the port; the setters copy the given object's values and
  // always re-apply the group.
  TComParity& Parity() { return *Parity_; }
  const TComParity& Parity() const { return *Parity_; }
  void SetParity(const TComParity& Value);
  TComFlowControl& FlowControl() { return *FlowControl_; }
  const TComFlowControl& FlowControl() const { return *FlowControl_; }
  void SetFlowControl(const TComFlowControl& Value);
  TComTimeouts& Timeouts() { return *Timeouts_; }
  const TComTimeouts& Timeouts() const { return *Timeouts_; }
  void SetTimeouts(const TComTimeouts& Value);
  TComBuffer& Buffer() { return *Buffer_; }
  const TComBuffer& Buffer() const { return *Buffer_; }
  void SetBuffer(const TComBuffer& Value);

  // --- Settings store (serialport/store/com_port_store.cpp) ---
  // Saves the groups in StoredGroups to the INI file at Path (section Name()), in one save of
  // the file, or to the registry key Path\Name(); any failure raises EComPort 16, whose detail
  // is the failure's own (the file and the system's reason).
  void SaveSettings(TSettingsStore Store, const std::string& Path);
  // The same into an INI file the caller holds, inside one transaction of the file (or the
  // caller's, when one is open, so that the port's section and the caller's keys make one save).
  void SaveSettings(TIniFile& IniFile);
  // Restores the same groups inside one BeginConfig/EndConfig bracket; any failure raises
  // EComPort 17 once EndConfig has run. Values set before a failure stay set.
  void RestoreSettings(TSettingsStore Store, const std::string& Path);

  // --- Reading, writing and status ---
  // The bytes waiting to be read; pending line errors stay for PendingErrors, which reads and
  // clears them.
  std::int32_t InputQueueCount();
  TComLineSignals LineSignals();
  TComErrors PendingErrors();
  std::int32_t StartWrite(const void* Buffer, std::int32_t Count, PComTransfer& Transfer);
  std::int32_t StartWriteStr(const std::string& Str, PComTransfer& Transfer);
  std::int32_t WriteString(const std::string& Str);
  std::int32_t StartRead(void* Buffer, std::int32_t Count, PComTransfer& Transfer);
  std::int32_t ReadData(void* Buffer, std::int32_t Count);
  std::int32_t WaitTransfer(PComTransfer& Transfer);
  void AbortTransfers();

  // --- Links ---
  void AttachLink(TComLink* Link);
  void DetachLink(TComLink* Link);

  // --- Platform seams ---
  // The device the port drives. Each opening takes a new one for the port name then set
  // (NewDeviceFor), so the backend follows the name; before the first opening it is a device
  // that is never open.
  TComDevice& Device() { return *Device_; }
  // Makes the port drive Device, at every later opening too, whatever its name (a test's fake).
  // Only while the port is closed.
  void SetDevice(std::unique_ptr<TComDevice> Device);
  // The dispatcher that delivers events to the owner thread (TComDispatcher::Default()).
  TComDispatcher& Dispatcher() { return *Dispatcher_; }
  void SetDispatcher(TComDispatcher& Dispatcher) { Dispatcher_ = &Dispatcher; }

  // The routine ShowPortSetup runs; installed by the setup dialog's module.
  using TPortSetupRunner = std::function<void(TCustomComPort& Port)>;
  static void SetPortSetupRunner(TPortSetupRunner Runner);

  // --- Events ---
  TNotifyEvent OnAfterOpen;
  TNotifyEvent OnAfterClose;
  TNotifyEvent OnBeforeOpen;
  TNotifyEvent OnBeforeClose;
  TRxCharEvent OnRxChar;
  TRxBufEvent OnRxBuf;
  TNotifyEvent OnTxEmpty;
  TNotifyEvent OnBreak;
  TNotifyEvent OnRing;
  TComSignalEvent OnCTSChange;
  TComSignalEvent OnDSRChange;
  TComSignalEvent OnRLSDChange;
  TComErrorEvent OnError;
  TNotifyEvent OnRxFlag;
  TNotifyEvent OnRx80Full;
  TComLineLostEvent OnLineLost;  // see the top of this file

  // --- Delivery (called by the event thread's dispatch; public for it and for tests) ---
  void ProcessRxChar();
  void ProcessTxEmpty();
  void ProcessRxFlag();
  void ProcessRing();
  void ProcessBreak();
  void ProcessCTSChange();
  void ProcessDSRChange();
  void ProcessRLSDChange();
  void ProcessError();
  void ProcessRx80Full();
  // The line is gone: every link's OnLineLost, then FireLineLost; nothing while not open or
  // while closing.
  void ProcessLineLost(std::int32_t SystemErrorCode);
  // The step of Event: one of the Process members above.
  void RunEventStep(TComEvent Event);
  // The window procedure of window-sync delivery: CM_COMPORT runs the step of the event whose
  // EV_ bit WParam is.
  void EventWindowProc(std::uint32_t Message, std::uint32_t WParam);

 protected:
  void Loaded() override;

  // The keys of each stored group; a derived port may store more or other keys.
  virtual void SaveToRegistry(TRegistryAccessor& Registry);
  virtual void SaveToIniFile(TIniFile& IniFile);
  virtual void RestoreFromRegistry(TRegistryAccessor& Registry);
  virtual void RestoreFromIniFile(TIniFile& IniFile);

  virtual void OpenDevice();
  virtual void CloseDevice();
  virtual void ApplySettings();

  virtual void FireAfterClose();
  virtual void FireAfterOpen();
  virtual void FireBeforeClose();
  virtual void FireBeforeOpen();
  virtual void FireRxChar(std::int32_t Count);
  virtual void FireRxBuf(const void* Buffer, std::int32_t Count);
  virtual void FireTxEmpty();
  virtual void FireBreak();
  virtual void FireRing();
  virtual void FireRxFlag();
  virtual void FireCTSChange(bool OnOff);
  virtual void FireDSRChange(bool OnOff);
  virtual void FireError(TComErrors Errors);
  virtual void FireRLSDChange(bool OnOff);
  virtual void FireRx80Full();
  virtual void FireLineLost(std::int32_t SystemErrorCode);
  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyBufferSizes();

  void ProcessBeforeOpen();
  void ProcessAfterOpen();
  void ProcessBeforeClose();
  void ProcessAfterClose();
  void ReportSignals(bool Opening);

 private:
  friend class TComParity;
  friend class TComFlowControl;
  friend class TComTimeouts;
  friend class TComBuffer;
  friend class TComThread;

  class TRxBufferUse;
  // The reception step's read of Count bytes that the device has counted as queued: one device
  // call, since such a read ends at once and carries its own result; then ReportRxIdle.
  std::int32_t ReadQueued(void* Buffer, std::int32_t Count);
  // OnRxActivity(false) for the links that have it, once the input queue is empty.
  void ReportRxIdle();
  bool CanApply() const;
  // The error of a failed call on the port's device: it names the device it is about.
  EComPort DeviceError(std::int32_t ErrorNumber, int SystemErrorCode) const;
  // Calls Call on every link that has the callback, in attach order, counting the links once.
  template <typename Call>
  void ForEachLink(Call&& Visit);

  std::unique_ptr<TComThread> EventThread_;
  std::unique_ptr<TComDevice> Device_;
  bool DeviceGiven_ = false;                  // by SetDevice: the openings keep it
  std::unique_ptr<TComDevice> OpenedDevice_;  // OpenPortOn's, for OpenDevice to take
  TComDispatcher* Dispatcher_;
  std::int32_t ConfigDepth_ = 0;
  std::vector<TComLink*> LinkList_;
  bool RxCharEnabled_ = true;
  TThreadPriority ThreadPriority_ = TThreadPriority::tpNormal;
  bool HasRxBufLink_ = false;
  bool Connected_ = false;
  // ClosePort is under way (it serves deliveries while it waits). Atomic because a line-lost
  // delivery without SyncMethod reads it on the event thread.
  std::atomic<bool> Closing_ = false;
  TBaudRate BaudRate_ = TBaudRate::br9600;
  std::int32_t CustomBaudRate_ = 9600;
  std::string Port_ = "COM1";
  TStopBits StopBits_ = TStopBits::sbOneStopBit;
  TDataBits DataBits_ = TDataBits::dbEight;
  bool DiscardNull_ = false;
  char EventChar_ = 0;
  TComEvents Events_ = AllComEvents;
  std::unique_ptr<TComBuffer> Buffer_;
  std::unique_ptr<TComParity> Parity_;
  std::unique_ptr<TComTimeouts> Timeouts_;
  std::unique_ptr<TComFlowControl> FlowControl_;
  TSyncMethod SyncMethod_ = TSyncMethod::smThreadSync;
  TStoredGroups StoredGroups_ = {TStoredGroup::sgBasic};
  // Reused from call to call, so that steady traffic allocates nothing: the records of
  // WriteString and ReadData (taken atomically, as those may run on two threads) and the buffer
  // the reception step reads into.
  std::atomic<TComTransfer*> SpareWriteTransfer_{nullptr};
  std::atomic<TComTransfer*> SpareReadTransfer_{nullptr};
  std::vector<std::uint8_t> RxBuffer_;
  bool RxBufferInUse_ = false;
};

// The port as the main window's form description uses it; it adds no behaviour.
class TComPort : public TCustomComPort {
 public:
  using TCustomComPort::TCustomComPort;
  const char* ClassName() const override { return "TComPort"; }
};

}  // namespace tolvane
