// Opening, closing and the reader thread of the network device, and what the reader makes of
// the server's bytes.
#include <algorithm>
#include <cctype>
#include <chrono>

#include "serialport/base/system_error_codes.h"
#include "serialport/device/network/network_device.h"

namespace tolvane {
namespace {

using TClock = std::chrono::steady_clock;

// What a refusing server said before it closed: its printable text on one line.
std::string RefusalText(const std::vector<std::uint8_t>& Bytes) {
  std::string Text;
  for (std::uint8_t Byte : Bytes) {
    if (Byte == '\r' || Byte == '\n' || Byte == '\t') Byte = ' ';
    if (std::isprint(Byte)) Text += static_cast<char>(Byte);
  }
  const auto First = Text.find_first_not_of(' ');
  if (First == std::string::npos) return {};
  Text = Text.substr(First, Text.find_last_not_of(' ') - First + 1);
  constexpr std::size_t Longest = 200;
  if (Text.size() > Longest) Text = Text.substr(0, Longest) + "...";
  return Text;
}

}  // namespace

TNetworkDevice::TNetworkDevice() = default;

TNetworkDevice::~TNetworkDevice() {
  if (IsOpen()) Close();
}

void TNetworkDevice::CancelOpening() {
  std::lock_guard Lock(Mutex_);
  Cancelled_ = true;
  CancelWake_.Signal();
  TxWake_.Signal();
  Changed_.notify_all();
}

std::size_t TNetworkDevice::AnswerKind(std::uint8_t Code, const std::vector<std::uint8_t>& Value) {
  if (Code != comport::SetControl) return Code < 13 ? Code : 0;
  const std::uint8_t What = Value.empty() ? 0 : Value.front();
  if (What <= 3) return 13;   // outbound flow control
  if (What <= 6) return 14;   // break
  if (What <= 9) return 15;   // DTR
  if (What <= 12) return 16;  // RTS
  return 17;                  // inbound flow control and the rest
}

int TNetworkDevice::Open(const std::string& Address) {
  if (IsOpen()) return BusyErrorCode;
  {
    std::lock_guard Lock(Mutex_);
    ErrorReason_.clear();
  }
  const std::optional<TNetworkAddress> Parsed = ParseNetworkAddress(Address);
  if (!Parsed) {
    std::lock_guard Lock(Mutex_);
    ErrorReason_ = "not a port name; a network port is rfc2217://HOST:PORT or socket://HOST:PORT";
    return InvalidArgumentErrorCode;
  }
  if (const int Error = Connect(*Parsed)) return Error;
  {
    std::lock_guard Lock(Mutex_);
    Address_ = Address;
  }
  if (const int Error = AwaitOpening()) {
    std::string Reason;
    {
      std::lock_guard Lock(Mutex_);
      Reason = ErrorReason_;
    }
    Close();
    std::lock_guard Lock(Mutex_);
    ErrorReason_ = Reason;
    return Error;
  }
  return 0;
}

int TNetworkDevice::Connect(const TNetworkAddress& Address) {
  for (const TSocketWake* Wake : {&ReaderWake_, &EventWake_, &TxWake_, &CancelWake_}) {
    if (Wake->Error() != 0) return Wake->Error();
  }
  std::string Reason;
  if (const int Error = Socket_.Connect(Address, ConnectTimeoutMs, &CancelWake_, Reason)) {
    std::lock_guard Lock(Mutex_);
    ErrorReason_ = Reason;
    return Error;
  }
  // Left over from an earlier opening.
  for (const TSocketWake* Wake : {&ReaderWake_, &EventWake_, &TxWake_}) Wake->Consume();
  std::lock_guard Lock(Mutex_);
  MarkOpenLocked();
  Connected_ = true;
  Protocol_ = Address.Protocol;
  Codec_ = TTelnetCodec();
  TInputQueueOptions Options;
  Options.Capacity = SmallestInputQueue;
  Options.Marked = false;
  Queue_.Configure(Options);
  ReaderStarved_ = false;
  LineErrors_ = 0;
  ModemState_ = 0;
  Answers_ = {};
  Applied_.reset();
  // A server starts with line-state notifications off and modem-state notifications on.
  LineStateMask_ = 0;
  ModemStateMask_ = 255;
  Noted_ = false;
  Note_.clear();
  Unsent_.clear();
  Reader_ = std::thread([this] { ReadLoop(); });
  return 0;
}

// RFC 2217: the offers and the query of the rate, then its answer, or the server's refusal (a
// text and the end of the connection, or DONT COM-PORT-OPTION). Raw TCP: only a refusal can
// come, and it comes at once.
int TNetworkDevice::AwaitOpening() {
  const bool Telnet = Protocol_ == TNetworkProtocol::Rfc2217;
  std::uint64_t Since = 0;
  if (Telnet) {
    std::vector<std::uint8_t> Offers;
    {
      std::lock_guard Lock(Mutex_);
      Offers = Codec_.Offers();
      Since = AnswerSerial_;
    }
    TTelnetCodec::AppendSubnegotiation(Offers, telnet::ComPort, BaudRateQuery().Payload());
    // A server that refuses may have closed before the offers go out; its words are read below.
    QueueWhole(Offers);
  }
  const std::size_t Kind = AnswerKind(comport::SetBaudRate, {});
  constexpr std::size_t RateSize = 4;
  const auto RateAnswered = [&] {
    return Answers_[Kind].Serial > Since && Answers_[Kind].Value.size() == RateSize;
  };
  std::unique_lock Lock(Mutex_);
  Changed_.wait_for(Lock, std::chrono::milliseconds(Telnet ? OpeningTimeoutMs : RefusalWaitMs),
                    [&] {
                      return Cancelled_ || LineError_ != 0 ||
                             (Telnet && (RateAnswered() || Codec_.ComPortRefused()));
                    });
  if (Cancelled_) return CancelledErrorCode;
  if (LineError_ != 0) {
    std::vector<std::uint8_t> Said(Queue_.Size());
    Queue_.Take(Said.data(), Said.size());
    ErrorReason_ = RefusalText(Said);
    return ErrorReason_.empty() ? LineError_ : ConnectionRefusedErrorCode;
  }
  if (!Telnet || RateAnswered()) return 0;
  if (Codec_.ComPortRefused()) {
    ErrorReason_ = "the server does not speak RFC 2217 (for raw TCP use socket://)";
    return ProtocolNotSupportedErrorCode;
  }
  // Agreed and then silent, or too slow to finish even the negotiation: either way nothing
  // says the server's line is open.
  ErrorReason_ = Codec_.ComPortAgreed() ? "the server did not answer"
                                        : "the server did not answer within " +
                                              std::to_string(OpeningTimeoutMs / 1000) + " s";
  return TimedOutErrorCode;
}

void TNetworkDevice::WakeAllLocked() {
  for (const TSocketWake* Wake : {&ReaderWake_, &EventWake_, &TxWake_}) Wake->Signal();
  Changed_.notify_all();
}

void TNetworkDevice::ReleaseSystem() {
  if (Reader_.joinable()) Reader_.join();
  std::lock_guard Lock(Mutex_);
  Socket_.Close();
  Connected_ = false;
  Unsent_.clear();
}

std::string TNetworkDevice::ErrorReason() const {
  std::lock_guard Lock(Mutex_);
  return ErrorReason_;
}

void TNetworkDevice::ReadLoop() {
  std::uint8_t Raw[16 * 1024];
  const std::intptr_t Wakes[] = {ReaderWake_.Native()};
  for (;;) {
    bool WatchInput = false;
    bool WatchOutput = false;
    {
      std::lock_guard Lock(Mutex_);
      if (Closing_ || LineError_ != 0) return;
      WatchInput = Queue_.FreeSpace() > 0;
      ReaderStarved_ = !WatchInput;
      WatchOutput = !Unsent_.empty();
    }
    // While the queue is full the socket is watched for room only, or not at all.
    const unsigned Want = (WatchInput ? WaitReadable : 0) | (WatchOutput ? WaitWritable : 0);
    TSocketReady Ready;
    if (const int Error = Socket_.Wait(Want, Wakes, 1, -1, Ready)) {
      std::lock_guard Lock(Mutex_);
      LoseLineLocked(Error);
      return;
    }
    if (Ready.Woken != 0) ReaderWake_.Consume();
    if (Ready.Writable) FlushUnsent();
    if (!WatchInput) {
      // A peer gone while only room was watched for: nothing will take the rest; the loss shows
      // once reading goes on.
      if (Ready.HungUp) {
        std::lock_guard Lock(Mutex_);
        Unsent_.clear();
      }
      continue;
    }
    if (!Ready.Readable) continue;
    std::size_t Asked = sizeof Raw;
    {
      std::lock_guard Lock(Mutex_);
      // A telnet stream decodes to no more bytes than it has, so this never overfills the queue.
      Asked = std::min(Asked, Queue_.FreeSpace());
    }
    const TSocketIo Got = Socket_.Receive(Raw, Asked);
    if (Got.Status == TSocketIo::WouldBlock) continue;
    std::vector<std::uint8_t> Replies;
    {
      std::lock_guard Lock(Mutex_);
      if (Got.Status == TSocketIo::Done) {
        TakeInLocked(Raw, Got.Count, Replies);
      } else {
        // The end of the stream is how a server reports every loss: it was stopped, its device
        // went away, or another client took the line.
        LoseLineLocked(Got.Status == TSocketIo::Ended ? ConnectionResetErrorCode : Got.Error);
        return;
      }
    }
    if (!Replies.empty()) QueueWhole(Replies);
  }
}

void TNetworkDevice::TakeInLocked(const std::uint8_t* Raw, std::size_t Count,
                                  std::vector<std::uint8_t>& Replies) {
  if (Protocol_ == TNetworkProtocol::RawTcp) {
    AddEventsLocked(Queue_.Accept(Raw, Count));
  } else {
    TTelnetInput Input;
    Codec_.Decode(Raw, Count, Input);
    if (!Input.Data.empty()) AddEventsLocked(Queue_.Accept(Input.Data.data(), Input.Data.size()));
    for (const TSubnegotiation& Sub : Input.Subnegotiations) TakeSubnegotiationLocked(Sub);
    if (Input.ProtocolErrors != 0)
      NoteOnceLocked("the server sent a command inside a subnegotiation; it was ignored");
    Replies = std::move(Input.Replies);
  }
  Changed_.notify_all();
}

void TNetworkDevice::TakeSubnegotiationLocked(const TSubnegotiation& Sub) {
  if (Sub.Option != telnet::ComPort || Sub.Payload.empty()) return;
  const std::uint8_t Code = Sub.Payload.front();
  if (Code < comport::ServerOffset) return;
  const std::uint8_t Command = static_cast<std::uint8_t>(Code - comport::ServerOffset);
  const std::vector<std::uint8_t> Value(Sub.Payload.begin() + 1, Sub.Payload.end());
  if (Command == comport::NotifyModemState && !Value.empty()) {
    AddEventsLocked(ModemEventsOf(Value.front(), ModemState_));
    ModemState_ = Value.front();
    return;
  }
  if (Command == comport::NotifyLineState && !Value.empty()) {
    LineErrors_ |= LineErrorsOf(Value.front());
    AddEventsLocked(LineEventsOf(Value.front()));
    return;
  }
  Answers_[AnswerKind(Command, Value)] = {++AnswerSerial_, Value};
}

void TNetworkDevice::QueueHasRoomLocked() {
  if (ReaderStarved_) ReaderWake_.Signal();
}

void TNetworkDevice::WakeWaiterLocked() {
  EventWake_.Signal();
}

// Writers waiting for room in the socket and readers waiting for input give up.
void TNetworkDevice::LineLostLocked() {
  TxWake_.Signal();
  Changed_.notify_all();
}

}  // namespace tolvane
