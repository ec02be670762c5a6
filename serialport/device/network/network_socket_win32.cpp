// The network device's sockets on Windows, on Winsock 2. Winsock is started once, at the first
// connection. A socket is tied to an event handle by WSAEventSelect (which also makes it
// non-blocking) for FD_CONNECT, FD_READ, FD_WRITE and FD_CLOSE, and every wait is one
// WaitForMultipleObjects on that event and the caller's wake-ups, which are manual-reset events.
//
// Several threads wait on one socket at once (the reader for input, a writer for room), but a
// socket has one such event, and WSAEnumNetworkEvents hands its records to whichever thread asks
// first. So what a socket has reported is kept here for all of them: FD_READ until a receive
// finds nothing, FD_WRITE until a send finds no room (Windows signals FD_WRITE again only after
// a send failed with WSAEWOULDBLOCK, and FD_READ again only after a receive), FD_CLOSE for good.
// A thread that takes records that are new to the others wakes them through a kick event of
// each waiter's own. Sends and receives run under the socket's mutex, so that no report can come
// between a call that found nothing and the record of that. The mutex is never held in a wait.
#include "serialport/base/system_error_codes.h"
#include "serialport/base/system_error_description.h"
#include "serialport/device/network/network_lookup.h"
#include "serialport/device/network/network_socket.h"

// Winsock before windows.h, which would bring in the old Winsock otherwise.
#include <winsock2.h>

#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <mutex>
#include <optional>
#include <vector>

namespace tolvane {

const int ConnectionResetErrorCode = WSAECONNRESET;
const int ConnectionRefusedErrorCode = WSAECONNREFUSED;
const int TimedOutErrorCode = WSAETIMEDOUT;
const int ProtocolNotSupportedErrorCode = WSAEPROTONOSUPPORT;

namespace {

using TClock = std::chrono::steady_clock;

// The longest a connection may keep data unacknowledged, in seconds (TCP_MAXRT, which the
// mingw headers do not name).
constexpr int MaxRetransmitOption = 5;

int LastSocketError() {
  return WSAGetLastError();
}

// 0, or why Winsock could not be started (then every connection fails with it).
int StartWinsock() {
  static const int Error = [] {
    WSADATA Data;
    return WSAStartup(MAKEWORD(2, 2), &Data);
  }();
  return Error;
}

HANDLE HandleOf(std::intptr_t Native) {
  return reinterpret_cast<HANDLE>(Native);
}

// Milliseconds left until Deadline for WaitForMultipleObjects; INFINITE when there is none.
DWORD MillisecondsLeft(const std::optional<TClock::time_point>& Deadline) {
  if (!Deadline) return INFINITE;
  const auto Left = std::chrono::ceil<std::chrono::milliseconds>(*Deadline - TClock::now());
  return static_cast<DWORD>(std::clamp<long long>(Left.count(), 0, INFINITE - 1));
}

struct TAddressListFree {
  void operator()(addrinfo* List) const { freeaddrinfo(List); }
};

TAddressLookup& InstalledLookup() {
  static TAddressLookup Lookup = getaddrinfo;
  return Lookup;
}

// No delay for small writes (a controller's packets are a dozen bytes), keep-alive probes for
// an idle connection after 3 s, every 2 s, and a limit on unacknowledged data, so that a hung
// server or a cut network path shows as WSAETIMEDOUT within seconds instead of never.
void ConfigureTcp(SOCKET Socket) {
  const BOOL On = TRUE;
  // Each is an improvement, not a need: a stack that refuses one still gives a working line.
  setsockopt(Socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&On), sizeof On);
  setsockopt(Socket, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&On), sizeof On);
  tcp_keepalive KeepAlive{};
  KeepAlive.onoff = 1;
  KeepAlive.keepalivetime = 3000;
  KeepAlive.keepaliveinterval = 2000;
  DWORD Returned = 0;
  WSAIoctl(Socket, SIO_KEEPALIVE_VALS, &KeepAlive, sizeof KeepAlive, nullptr, 0, &Returned, nullptr,
           nullptr);
  const DWORD UnacknowledgedSeconds = 10;
  setsockopt(Socket, IPPROTO_TCP, MaxRetransmitOption,
             reinterpret_cast<const char*>(&UnacknowledgedSeconds), sizeof UnacknowledgedSeconds);
}

}  // namespace

TSocketWake::TSocketWake() {
  const HANDLE Event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (Event == nullptr) {
    Error_ = static_cast<int>(GetLastError());
    return;
  }
  Native_ = reinterpret_cast<std::intptr_t>(Event);
}

TSocketWake::~TSocketWake() {
  if (Error_ == 0) CloseHandle(HandleOf(Native_));
}

void TSocketWake::Signal() const {
  if (Error_ == 0) SetEvent(HandleOf(Native_));
}

void TSocketWake::Consume() const {
  if (Error_ == 0) ResetEvent(HandleOf(Native_));
}

bool TSocketWake::IsSignalled() const {
  return Error_ == 0 && WaitForSingleObject(HandleOf(Native_), 0) == WAIT_OBJECT_0;
}

struct TTcpSocket::TSystem {
  SOCKET Socket = INVALID_SOCKET;
  WSAEVENT Network = WSA_INVALID_EVENT;  // WSAEventSelect's event of the socket
  std::mutex Mutex;
  long Seen = 0;                // FD_ bits reported and still true, as above
  std::vector<HANDLE> Waiting;  // the kick events of the threads waiting now
  std::vector<HANDLE> Spare;    // kick events not in use

  ~TSystem() {
    Close();
    for (const HANDLE Kick : Spare) CloseHandle(Kick);
  }

  void Close() {
    if (Socket != INVALID_SOCKET) closesocket(Socket);
    if (Network != WSA_INVALID_EVENT) WSACloseEvent(Network);
    Socket = INVALID_SOCKET;
    Network = WSA_INVALID_EVENT;
    Seen = 0;
  }

  // Takes the socket's new records; the waiters for whom some are new look again. The caller
  // holds Mutex.
  void TakeReportsLocked() {
    WSANETWORKEVENTS Reports{};
    if (WSAEnumNetworkEvents(Socket, Network, &Reports) != 0) {
      WSAResetEvent(Network);  // a wait must not spin on it
      return;
    }
    const long New = Reports.lNetworkEvents & ~Seen;
    Seen |= Reports.lNetworkEvents;
    if (New != 0) {
      for (const HANDLE Kick : Waiting) SetEvent(Kick);
    }
  }

  void FillLocked(unsigned Want, TSocketReady& Ready) const {
    Ready.Readable = (Want & WaitReadable) && (Seen & (FD_READ | FD_CLOSE));
    Ready.Writable = (Want & WaitWritable) && (Seen & (FD_WRITE | FD_CLOSE));
    Ready.HungUp = (Seen & FD_CLOSE) != 0;
  }

  // The wait of TTcpSocket::Wait and WaitForWakes; System is null, or Want 0, for no socket.
  static int Wait(TSystem* System, unsigned Want, const std::intptr_t* Wakes, std::size_t WakeCount,
                  int TimeoutMs, TSocketReady& Ready);

  // One address: the socket is tied to its event before it connects, so no report is missed.
  int ConnectOne(const addrinfo& Entry, TClock::time_point Deadline, const TSocketWake* Cancel) {
    Socket = WSASocketW(Entry.ai_family, Entry.ai_socktype, Entry.ai_protocol, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (Socket == INVALID_SOCKET) return LastSocketError();
    Network = WSACreateEvent();
    if (Network == WSA_INVALID_EVENT) return LastSocketError();
    if (WSAEventSelect(Socket, Network, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0)
      return LastSocketError();
    if (connect(Socket, Entry.ai_addr, static_cast<int>(Entry.ai_addrlen)) == 0) return 0;
    if (const int Error = LastSocketError(); Error != WSAEWOULDBLOCK) return Error;
    HANDLE Handles[2] = {Network, Cancel != nullptr ? HandleOf(Cancel->Native()) : nullptr};
    const DWORD Count = Cancel != nullptr ? 2 : 1;
    for (;;) {
      const DWORD Woken = WaitForMultipleObjects(Count, Handles, FALSE, MillisecondsLeft(Deadline));
      if (Woken == WAIT_TIMEOUT) return WSAETIMEDOUT;
      if (Woken == WAIT_FAILED) return static_cast<int>(GetLastError());
      if (Woken == WAIT_OBJECT_0 + 1) return CancelledErrorCode;
      WSANETWORKEVENTS Reports{};
      if (WSAEnumNetworkEvents(Socket, Network, &Reports) != 0) return LastSocketError();
      Seen |= Reports.lNetworkEvents & ~FD_CONNECT;
      if (Reports.lNetworkEvents & FD_CONNECT) return Reports.iErrorCode[FD_CONNECT_BIT];
    }
  }
};

TTcpSocket::TTcpSocket() : System_(std::make_unique<TSystem>()) {}

TTcpSocket::~TTcpSocket() = default;

bool TTcpSocket::IsOpen() const {
  return System_->Socket != INVALID_SOCKET;
}

void TTcpSocket::Close() {
  System_->Close();
  for (const HANDLE Kick : System_->Spare) CloseHandle(Kick);
  System_->Spare.clear();
}

int TTcpSocket::Connect(const TNetworkAddress& Address, int TimeoutMs, const TSocketWake* Cancel,
                        std::string& Reason) {
  Close();
  if (const int Error = StartWinsock()) return Error;
  const auto Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
  const std::string Service = std::to_string(Address.Port);
  std::shared_ptr<addrinfo> List;
  int Status = 0;
  const auto Resolve = [Host = Address.Host, Service,
                        Resolver = InstalledLookup()](std::shared_ptr<addrinfo>& Found) {
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    Hints.ai_protocol = IPPROTO_TCP;
    // Not AI_ADDRCONFIG: on Windows it ignores the loopback addresses, so 127.0.0.1 (an SSH
    // tunnel's end) would not resolve on a machine without a network.
    Hints.ai_flags = AI_NUMERICSERV;
    addrinfo* First = nullptr;
    const int Result = Resolver(Host.c_str(), Service.c_str(), &Hints, &First);
    if (Result == 0) Found.reset(First, TAddressListFree());
    return Result;
  };
  switch (AwaitLookup(Address.Host + '\n' + Service, Resolve, Deadline, Cancel, List, Status)) {
    case TLookupOutcome::Found:
      break;
    case TLookupOutcome::Cancelled:
      return CancelledErrorCode;
    case TLookupOutcome::TimedOut:
      Reason = "the name " + Address.Host + " could not be looked up in time";
      return WSAETIMEDOUT;
    case TLookupOutcome::Failed: {
      const char* Words = SystemErrorDescription(Status);
      Reason = Words != nullptr ? Words : "Unknown error " + std::to_string(Status);
      return WSAEADDRNOTAVAIL;
    }
  }
  int Error = WSAEADDRNOTAVAIL;
  for (const addrinfo* Entry = List.get(); Entry != nullptr; Entry = Entry->ai_next) {
    Error = System_->ConnectOne(*Entry, Deadline, Cancel);
    if (Error == 0) break;
    System_->Close();
    if (Error == WSAETIMEDOUT || Error == CancelledErrorCode) break;
  }
  if (Error != 0) return Error;
  ConfigureTcp(System_->Socket);
  return 0;
}

TSocketIo TTcpSocket::Send(const std::uint8_t* Data, std::size_t Count) {
  TSystem& System = *System_;
  std::lock_guard Lock(System.Mutex);
  const int Sent = send(System.Socket, reinterpret_cast<const char*>(Data),
                        static_cast<int>(std::min<std::size_t>(Count, INT_MAX)), 0);
  if (Sent != SOCKET_ERROR) return {TSocketIo::Done, static_cast<std::size_t>(Sent), 0};
  const int Error = LastSocketError();
  if (Error != WSAEWOULDBLOCK) return {TSocketIo::Failed, 0, Error};
  System.Seen &= ~FD_WRITE;
  return {TSocketIo::WouldBlock, 0, 0};
}

TSocketIo TTcpSocket::Receive(std::uint8_t* Data, std::size_t Count) {
  TSystem& System = *System_;
  std::lock_guard Lock(System.Mutex);
  const int Got = recv(System.Socket, reinterpret_cast<char*>(Data),
                       static_cast<int>(std::min<std::size_t>(Count, INT_MAX)), 0);
  if (Got > 0) return {TSocketIo::Done, static_cast<std::size_t>(Got), 0};
  if (Got == 0) return {TSocketIo::Ended, 0, 0};
  const int Error = LastSocketError();
  if (Error != WSAEWOULDBLOCK) return {TSocketIo::Failed, 0, Error};
  System.Seen &= ~FD_READ;
  return {TSocketIo::WouldBlock, 0, 0};
}

int TTcpSocket::TSystem::Wait(TSystem* System, unsigned Want, const std::intptr_t* Wakes,
                              std::size_t WakeCount, int TimeoutMs, TSocketReady& Ready) {
  Ready = {};
  if (System != nullptr && (Want == 0 || System->Socket == INVALID_SOCKET)) System = nullptr;
  if (WakeCount + 2 > MAXIMUM_WAIT_OBJECTS) return ERROR_INVALID_PARAMETER;
  std::optional<TClock::time_point> Deadline;
  if (TimeoutMs >= 0) Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
  HANDLE Kick = nullptr;
  int Error = 0;
  const auto Unregister = [&] {
    auto& Waiting = System->Waiting;
    Waiting.erase(std::remove(Waiting.begin(), Waiting.end(), Kick), Waiting.end());
  };
  for (;;) {
    std::vector<HANDLE> Handles;
    Handles.reserve(WakeCount + 2);
    for (std::size_t Index = 0; Index < WakeCount; ++Index)
      Handles.push_back(HandleOf(Wakes[Index]));
    if (System != nullptr) {
      std::lock_guard Lock(System->Mutex);
      System->FillLocked(Want, Ready);
      if (Ready.Readable || Ready.Writable) break;
      if (Kick == nullptr) {
        if (!System->Spare.empty()) {
          Kick = System->Spare.back();
          System->Spare.pop_back();
        } else if ((Kick = CreateEventW(nullptr, TRUE, FALSE, nullptr)) == nullptr) {
          Error = static_cast<int>(GetLastError());
          break;
        }
      }
      ResetEvent(Kick);
      System->Waiting.push_back(Kick);
      Handles.push_back(System->Network);
      Handles.push_back(Kick);
    }
    const DWORD Woken = WaitForMultipleObjects(static_cast<DWORD>(Handles.size()), Handles.data(),
                                               FALSE, MillisecondsLeft(Deadline));
    if (Woken == WAIT_FAILED) Error = static_cast<int>(GetLastError());
    if (System != nullptr) {
      std::lock_guard Lock(System->Mutex);
      Unregister();
      System->TakeReportsLocked();
      System->FillLocked(Want, Ready);
    }
    for (std::size_t Index = 0; Index < WakeCount; ++Index) {
      if (WaitForSingleObject(HandleOf(Wakes[Index]), 0) == WAIT_OBJECT_0)
        Ready.Woken |= 1u << Index;
    }
    if (Error != 0 || Ready.Woken != 0 || Ready.Readable || Ready.Writable || Woken == WAIT_TIMEOUT)
      break;
  }
  if (Kick != nullptr) {
    std::lock_guard Lock(System->Mutex);
    System->Spare.push_back(Kick);
  }
  return Error;
}

int TTcpSocket::Wait(unsigned Want, const std::intptr_t* Wakes, std::size_t WakeCount,
                     int TimeoutMs, TSocketReady& Ready) {
  return TSystem::Wait(System_.get(), Want, Wakes, WakeCount, TimeoutMs, Ready);
}

int WaitForWakes(const std::intptr_t* Wakes, std::size_t WakeCount, int TimeoutMs,
                 TSocketReady& Ready) {
  return TTcpSocket::TSystem::Wait(nullptr, 0, Wakes, WakeCount, TimeoutMs, Ready);
}

void SetAddressLookup(TAddressLookup Lookup) {
  InstalledLookup() = Lookup != nullptr ? Lookup : getaddrinfo;
}

}  // namespace tolvane
