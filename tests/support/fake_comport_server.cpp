#include "tests/support/fake_comport_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace tolvane::test {
namespace {

using namespace telnet;

constexpr auto Patience = std::chrono::seconds(5);

#ifdef _WIN32
using TNative = SOCKET;
using TSize = int;
constexpr int NoSignal = 0;
constexpr int ShutWrite = SD_SEND;
constexpr int ShutBoth = SD_BOTH;
// How often the serving thread looks whether it is to stop: WSAPoll waits on sockets only.
constexpr int StopLookMs = 20;
void CloseSocket(std::intptr_t Socket) {
  closesocket(static_cast<SOCKET>(Socket));
}
TNative NewListener() {
  WSADATA Data;
  if (WSAStartup(MAKEWORD(2, 2), &Data) != 0) return INVALID_SOCKET;
  return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}
TNative Accept(TNative Listener) {
  return accept(Listener, nullptr, nullptr);
}
void MakeNonBlocking(TNative Socket) {
  u_long On = 1;
  ioctlsocket(Socket, FIONBIO, &On);
}
#else
using TNative = int;
using TSize = std::size_t;
constexpr int NoSignal = MSG_NOSIGNAL;
constexpr int ShutWrite = SHUT_WR;
constexpr int ShutBoth = SHUT_RDWR;
void CloseSocket(std::intptr_t Socket) {
  close(static_cast<int>(Socket));
}
TNative NewListener() {
  return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
TNative Accept(TNative Listener) {
  return accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
}
void MakeNonBlocking(TNative Socket) {
  fcntl(Socket, F_SETFL, fcntl(Socket, F_GETFL) | O_NONBLOCK);
}
#endif

// The socket of a number, and the number of a socket (-1 for none).
TNative NativeOf(std::intptr_t Socket) {
  return static_cast<TNative>(Socket);
}
std::intptr_t NumberOf(TNative Socket) {
  return Socket == static_cast<TNative>(-1) ? -1 : static_cast<std::intptr_t>(Socket);
}

// A listener on an ephemeral loopback port with room for Backlog waiting connections: its socket
// as a number (Listener), its address and port; throws naming Who when the system refuses.
sockaddr_in ListenOnLoopback(int Backlog, const char* Who, std::intptr_t& Listener,
                             std::uint16_t& Port) {
  const TNative Socket = NewListener();
  Listener = NumberOf(Socket);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Size = sizeof Address;
  if (Listener < 0 || bind(Socket, reinterpret_cast<sockaddr*>(&Address), Size) != 0 ||
      listen(Socket, Backlog) != 0 ||
      getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Size) != 0)
    throw std::runtime_error(std::string(Who) + " cannot listen on loopback");
  Port = ntohs(Address.sin_port);
  return Address;
}

// What a serial server offers a new client: it will do and wants the client to do binary and
// no go-ahead, and asks for COM-PORT-OPTION.
const std::vector<std::uint8_t> ServerOffers = {
    Iac, Will, SuppressGoAhead, Iac, Do, SuppressGoAhead, Iac, Will, Binary,
    Iac, Do,   Binary,          Iac, Do, ComPort};

}  // namespace

TFakeComPortServer::TFakeComPortServer(bool Telnet) : Telnet_(Telnet) {
  ListenOnLoopback(4, "the fake server", Listener_, Port_);
#ifndef _WIN32
  Wake_ = eventfd(0, EFD_CLOEXEC);
#endif
  Thread_ = std::thread([this] { Serve(); });
}

TFakeComPortServer::~TFakeComPortServer() {
  {
    std::lock_guard Lock(Mutex_);
    Stopping_ = true;
  }
#ifndef _WIN32
  const std::uint64_t One = 1;
  [[maybe_unused]] ssize_t Written = write(Wake_, &One, sizeof One);
#endif
  Thread_.join();
  if (Client_ >= 0) CloseSocket(Client_);
  CloseSocket(Listener_);
#ifndef _WIN32
  close(Wake_);
#endif
}

TFullListener::TFullListener() {
  // A backlog of none: the first connection fills it (a second, for a stack that keeps one more).
  sockaddr_in Address = ListenOnLoopback(0, "the full listener", Listener_, Port_);
  const socklen_t Size = sizeof Address;
  for (int Filler = 0; Filler < 2; ++Filler) {
    const TNative Socket = NewListener();
    if (NumberOf(Socket) < 0)
      throw std::runtime_error("the full listener has no socket to fill it");
    MakeNonBlocking(Socket);
    connect(Socket, reinterpret_cast<sockaddr*>(&Address), Size);  // in progress, or done
    Fillers_.push_back(NumberOf(Socket));
  }
  // Time for the stack to queue the fillers.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

TFullListener::~TFullListener() {
  for (const std::intptr_t Filler : Fillers_) CloseSocket(Filler);
  CloseSocket(Listener_);
}

TQuietPeer::TQuietPeer() {
  ListenOnLoopback(1, "the quiet peer", Listener_, Port_);
  MakeNonBlocking(NativeOf(Listener_));
}

TQuietPeer::~TQuietPeer() {
  if (Client_ >= 0) CloseSocket(Client_);
  CloseSocket(Listener_);
}

bool TQuietPeer::Accept() {
  const auto Deadline = std::chrono::steady_clock::now() + Patience;
  while (Client_ < 0 && std::chrono::steady_clock::now() < Deadline) {
    Client_ = NumberOf(::tolvane::test::Accept(NativeOf(Listener_)));
    if (Client_ < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (Client_ >= 0) MakeNonBlocking(NativeOf(Client_));
  return Client_ >= 0;
}

std::size_t TQuietPeer::Drain(std::size_t Count) {
  const auto Deadline = std::chrono::steady_clock::now() + Patience;
  std::size_t Done = 0;
  char Raw[64 * 1024];
  while (Done < Count && std::chrono::steady_clock::now() < Deadline) {
    const auto Got = recv(NativeOf(Client_), Raw, sizeof Raw, 0);
    if (Got > 0)
      Done += static_cast<std::size_t>(Got);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return Done;
}

void TQuietPeer::Send(std::string_view Bytes) {
  send(NativeOf(Client_), Bytes.data(), static_cast<TSize>(Bytes.size()), NoSignal);
}

std::string TFakeComPortServer::PortName() const {
  return std::string(Telnet_ ? "rfc2217" : "socket") + "://127.0.0.1:" + std::to_string(Port_);
}

void TFakeComPortServer::SetAnswerRule(TAnswerRule Rule) {
  std::lock_guard Lock(Mutex_);
  Rule_ = std::move(Rule);
}

void TFakeComPortServer::RefuseNextWith(std::string Text) {
  std::lock_guard Lock(Mutex_);
  Refusal_ = std::move(Text);
}

void TFakeComPortServer::Write(const std::vector<std::uint8_t>& Bytes) {
  std::size_t Done = 0;
  while (Client_ >= 0 && Done < Bytes.size()) {
    const auto Count = send(NativeOf(Client_), reinterpret_cast<const char*>(Bytes.data()) + Done,
                            static_cast<TSize>(Bytes.size() - Done), NoSignal);
    if (Count <= 0) return;
    Done += static_cast<std::size_t>(Count);
  }
}

void TFakeComPortServer::Send(std::string_view Data) {
  std::vector<std::uint8_t> Wire;
  const auto* Bytes = reinterpret_cast<const std::uint8_t*>(Data.data());
  if (Telnet_)
    TTelnetCodec::AppendData(Wire, Bytes, Data.size());
  else
    Wire.assign(Bytes, Bytes + Data.size());
  SendWire(Wire);
}

void TFakeComPortServer::SendWire(const std::vector<std::uint8_t>& Bytes) {
  std::unique_lock Lock(Mutex_);
  AwaitLocked(Lock, [this] { return Client_ >= 0; });
  Write(Bytes);
}

void TFakeComPortServer::Notify(std::uint8_t Command, std::uint8_t Value) {
  std::vector<std::uint8_t> Wire;
  TTelnetCodec::AppendSubnegotiation(Wire, ComPort,
                                     {static_cast<std::uint8_t>(Command + 100), Value});
  SendWire(Wire);
}

template <typename TPredicate>
bool TFakeComPortServer::AwaitLocked(std::unique_lock<std::mutex>& Lock, TPredicate Predicate) {
  return Changed_.wait_for(Lock, Patience, Predicate);
}

std::string TFakeComPortServer::Received(std::size_t Count) {
  std::unique_lock Lock(Mutex_);
  AwaitLocked(Lock, [&] { return Received_.size() >= Count; });
  return Received_.substr(0, std::min(Count, Received_.size()));
}

bool TFakeComPortServer::AwaitReceived(std::string_view Sought) {
  std::unique_lock Lock(Mutex_);
  return AwaitLocked(Lock, [&] { return Received_.find(Sought) != std::string::npos; });
}

bool TFakeComPortServer::AwaitCommand(const TCommand& Sought) {
  std::unique_lock Lock(Mutex_);
  return AwaitLocked(Lock, [&] {
    return std::find(Commands_.begin(), Commands_.end(), Sought) != Commands_.end();
  });
}

std::vector<TFakeComPortServer::TCommand> TFakeComPortServer::Commands() {
  std::lock_guard Lock(Mutex_);
  return Commands_;
}

bool TFakeComPortServer::AwaitClient() {
  std::unique_lock Lock(Mutex_);
  return AwaitLocked(Lock, [this] { return Client_ >= 0; });
}

void TFakeComPortServer::Drop() {
  std::lock_guard Lock(Mutex_);
  if (Client_ < 0) return;
  // shutdown, not close: the serving thread still polls the descriptor and closes it itself.
  shutdown(NativeOf(Client_), ShutBoth);
}

void TFakeComPortServer::Handle(const std::uint8_t* Raw, std::size_t Count) {
  if (!Telnet_) {
    Received_.append(reinterpret_cast<const char*>(Raw), Count);
    return;
  }
  TTelnetInput Input;
  Parser_.Decode(Raw, Count, Input);  // its replies are a client's; a server makes its own
  Received_.append(Input.Data.begin(), Input.Data.end());
  for (const TSubnegotiation& Sub : Input.Subnegotiations) {
    if (Sub.Option != ComPort || Sub.Payload.empty()) continue;
    Commands_.push_back(Sub.Payload);
    std::optional<std::vector<std::uint8_t>> Value;
    if (Rule_)
      Value = Rule_(Sub.Payload);
    else
      Value = std::vector<std::uint8_t>(Sub.Payload.begin() + 1, Sub.Payload.end());
    if (!Value) continue;
    std::vector<std::uint8_t> Answer(Value->size() + 1,
                                     static_cast<std::uint8_t>(Sub.Payload.front() + 100));
    std::copy(Value->begin(), Value->end(), Answer.begin() + 1);
    std::vector<std::uint8_t> Wire;
    TTelnetCodec::AppendSubnegotiation(Wire, ComPort, Answer);
    Write(Wire);
  }
}

void TFakeComPortServer::Serve() {
  for (;;) {
    std::intptr_t Watched = -1;
    {
      std::lock_guard Lock(Mutex_);
      if (Stopping_) return;
      Watched = Client_ >= 0 ? Client_ : Listener_;
    }
#ifdef _WIN32
    WSAPOLLFD Polls[1] = {{NativeOf(Watched), POLLIN, 0}};
    if (WSAPoll(Polls, 1, StopLookMs) <= 0) continue;
#else
    pollfd Polls[2] = {{static_cast<int>(Watched), POLLIN, 0}, {Wake_, POLLIN, 0}};
    if (poll(Polls, 2, -1) <= 0) continue;
    if (Polls[1].revents != 0) return;
#endif
    std::lock_guard Lock(Mutex_);
    if (Watched == Listener_) {
      Client_ = NumberOf(Accept(NativeOf(Listener_)));
      if (Client_ < 0) continue;
      // Answers go out at once, as a real server's do, not held back for the client's ACK.
      const int On = 1;
      setsockopt(NativeOf(Client_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&On),
                 sizeof On);
      Parser_ = TTelnetCodec();
      Refused_ = false;
      if (Telnet_) Write(ServerOffers);
      if (Refusal_) {
        const std::string Text = *Refusal_ + "\r\n";
        Refusal_.reset();
        Write(std::vector<std::uint8_t>(Text.begin(), Text.end()));
        // Half a close, then whatever the client still sends is read and dropped: closing with
        // unread input would reset the connection and could discard the text at the client.
        shutdown(NativeOf(Client_), ShutWrite);
        Refused_ = true;
      }
      Changed_.notify_all();
      continue;
    }
    std::uint8_t Raw[4096];
    const auto Count = recv(NativeOf(Client_), reinterpret_cast<char*>(Raw), sizeof Raw, 0);
    if (Count <= 0) {
      CloseSocket(Client_);
      Client_ = -1;
    } else if (!Refused_) {
      Handle(Raw, static_cast<std::size_t>(Count));
    }
    Changed_.notify_all();
  }
}

}  // namespace tolvane::test
