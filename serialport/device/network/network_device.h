// The network device: a serial line at a server reached over TCP, either through RFC 2217
// (telnet with COM-PORT-OPTION, so the line settings travel) or as raw TCP (the line keeps the
// server's settings). It behaves the way the port expects of its driver, like the tty device.
//
// Opening connects with a time-out, negotiates the telnet options and then asks the server for
// the line's rate: a server answers only once its device is open, and a server that cannot open
// it (or that serves another client) sends a line of text and closes instead. That text becomes
// the reason of the failed opening (ErrorReason). An RFC 2217 opening succeeds only on the
// rate's answer (four bytes); otherwise it fails within OpeningTimeoutMs saying what happened:
// the server refused the option, agreed to it and then said nothing, or did not even answer the
// negotiation. CancelOpening ends every wait of an opening at once.
//
// Output. Telnet commands (negotiation replies, COM-PORT-OPTION commands) are never cut: what
// the socket does not take at once waits whole in Unsent_, which goes out before any later
// data, the reader thread sending it as room appears. Only data writes wait for room, within
// their write time-out, and they are cut only between data bytes.
//
// Threads. The owner thread opens, configures, writes, purges and closes; the event thread waits
// in WaitCommEvent; reads and status queries run on whichever thread delivers events. One reader
// thread lives while the device is open: it alone reads the socket, decodes telnet, fills the
// input queue, records the server's answers and notifications and answers its negotiation. It
// stops reading while the queue is full, so a flood waits in TCP's buffers. The core's mutex
// (device_core.h) guards the answers and the line state too; it is never held across a blocking
// call. A second mutex keeps writers to the socket from interleaving a command with data. Waits
// sleep in the socket's wait (network_socket.h) on wake-ups of their own, or on a condition
// variable, which Close, purge and new input wake. The system calls are all behind that socket
// interface, so this logic is the same on every platform.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "serialport/device/device_core.h"
#include "serialport/device/network/com_port_option.h"
#include "serialport/device/network/network_address.h"
#include "serialport/device/network/network_socket.h"
#include "serialport/device/network/telnet_codec.h"

namespace tolvane {

class TNetworkDevice final : public TDeviceCore {
 public:
  static constexpr int ConnectTimeoutMs = 3000;
  // How long an opening waits for the negotiation and the server's first answer.
  static constexpr int OpeningTimeoutMs = 3000;
  // A raw TCP server that refuses a client says so at once; an opening waits this long for it.
  static constexpr int RefusalWaitMs = 100;
  // How long a change of line settings waits for the server's answers before it goes on.
  static constexpr int AnswerTimeoutMs = 1000;

  TNetworkDevice();
  ~TNetworkDevice() override;

  // Address is a network port name (rfc2217://HOST:PORT or socket://HOST:PORT).
  int Open(const std::string& Address) override;
  std::string ErrorReason() const override;
  std::string TakeNote() override;
  void CancelOpening() override;

  // RFC 2217 sends the settings to the server; raw TCP only checks them.
  int SetCommState(const TDcb& Dcb) override;
  // Reads take what the reader thread has queued (the core's ReadFile); writes go to the
  // socket, framed for telnet.
  int WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override;

  // The modem lines as the server last reported them.
  int GetCommModemStatus(std::uint32_t& Status) override;
  TWaitResult WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) override;

 private:
  // The waiter sleeps on a wake-up of its own; a lost line also ends writes and reads.
  void WakeWaiterLocked() override;
  void LineLostLocked() override;
  // A reader stopped on a full queue goes on reading.
  void QueueHasRoomLocked() override;
  // Closing wakes the reader thread, and then joins it and closes the socket.
  void WakeAllLocked() override;
  void ReleaseSystem() override;
  // The line errors the server has reported.
  std::uint32_t TakeLineErrorsLocked() override;
  int PurgeLocked(std::uint32_t Flags) override;
  // Asks the server to purge its own buffers too.
  int PurgeUnlocked(std::uint32_t Flags) override;
  // Tells the server which line and modem changes to report.
  int MaskChanged() override;

  // The server's last answer to one kind of command; SET-CONTROL's kinds (flow, break, DTR, RTS,
  // inbound flow) are kept apart, since a server answers each of them on its own.
  struct TAnswer {
    std::uint64_t Serial = 0;
    std::vector<std::uint8_t> Value;
  };
  static constexpr std::size_t AnswerKinds = 18;
  static std::size_t AnswerKind(std::uint8_t Code, const std::vector<std::uint8_t>& Value);

  int Connect(const TNetworkAddress& Address);
  int AwaitOpening();
  void ReadLoop();
  void TakeInLocked(const std::uint8_t* Raw, std::size_t Count, std::vector<std::uint8_t>& Replies);
  void TakeSubnegotiationLocked(const TSubnegotiation& Sub);

  // Sends Bytes, waiting for room in the socket's buffer for at most Limit (none: no limit);
  // the caller holds SendMutex_. 0 also when the time ran out (Sent then tells how far it got),
  // CancelledErrorCode after a transmit abort when Aborts is given, or the socket's error.
  int Send(const std::vector<std::uint8_t>& Bytes, std::size_t& Sent,
           std::optional<std::chrono::milliseconds> Limit, const std::uint64_t* Aborts);
  int SendCommands(const std::vector<TComPortCommand>& Commands);
  // Queues Bytes (whole telnet commands) behind what waits already and sends what fits now.
  void QueueWhole(const std::vector<std::uint8_t>& Bytes);
  // Sends what fits of Unsent_ without waiting, unless another thread is sending (it sends
  // Unsent_ itself before it lets go); when some is left the reader is woken to watch for room.
  void FlushUnsent();
  void FlushUnsentLocked();  // the caller holds SendMutex_ and Mutex_
  // Waits for the answers to the awaited commands among Commands, sent after serial Since.
  int AwaitAnswers(const std::vector<TComPortCommand>& Commands, std::uint64_t Since);
  void NoteOnce(const std::string& What);
  void NoteOnceLocked(const std::string& What);

  std::mutex SendMutex_;
  // Open while the device is open; written only by Open and ReleaseSystem, when no other thread
  // uses it.
  TTcpSocket Socket_;
  bool Connected_ = false;  // Socket_ is open, as far as the threads that share it know
  TSocketWake ReaderWake_;  // the reader's wait: room in the queue, output to send, Close
  TSocketWake EventWake_;   // the event wait: new events, Close
  TSocketWake TxWake_;      // a data write's wait for room: an abort, a lost line, Close
  TSocketWake CancelWake_;  // signalled once the opening is cancelled
  bool Cancelled_ = false;
  std::thread Reader_;
  std::vector<std::uint8_t> Unsent_;

  std::string Address_;
  TNetworkProtocol Protocol_ = TNetworkProtocol::Rfc2217;
  TTelnetCodec Codec_;
  std::string ErrorReason_;
  bool ReaderStarved_ = false;  // the queue was full, so the reader stopped reading
  std::uint32_t LineErrors_ = 0;
  std::uint8_t ModemState_ = 0;
  std::array<TAnswer, AnswerKinds> Answers_{};
  std::uint64_t AnswerSerial_ = 0;
  std::optional<TDcb> Applied_;  // what the server's line was last set to, as far as known
  std::optional<std::uint8_t> LineStateMask_;
  std::optional<std::uint8_t> ModemStateMask_;
  bool Noted_ = false;
  std::string Note_;
};

}  // namespace tolvane
