// The network device's sockets on POSIX: BSD sockets, non-blocking throughout, waits in poll(),
// wake-ups as eventfds.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "serialport/base/system_error_codes.h"
#include "serialport/device/device_wake_posix.h"
#include "serialport/device/network/network_lookup.h"
#include "serialport/device/network/network_socket.h"

namespace tolvane {

const int ConnectionResetErrorCode = ECONNRESET;
const int ConnectionRefusedErrorCode = ECONNREFUSED;
const int TimedOutErrorCode = ETIMEDOUT;
const int ProtocolNotSupportedErrorCode = EPROTONOSUPPORT;

namespace {

using TClock = std::chrono::steady_clock;

struct TAddressListFree {
  void operator()(addrinfo* List) const { freeaddrinfo(List); }
};

// Connects one address, waiting until Deadline; 0 and the socket, or the error.
int ConnectOne(const addrinfo& Entry, TClock::time_point Deadline, int CancelFd, int& Fd) {
  Fd = socket(Entry.ai_family, Entry.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, Entry.ai_protocol);
  if (Fd < 0) return errno;
  int Error = 0;
  if (connect(Fd, Entry.ai_addr, Entry.ai_addrlen) != 0) {
    Error = errno;
    while (Error == EINPROGRESS || Error == EINTR) {
      const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - TClock::now());
      if (Left.count() <= 0) {
        Error = ETIMEDOUT;
        break;
      }
      pollfd Polls[2] = {{Fd, POLLOUT, 0}, {CancelFd, POLLIN, 0}};
      const int Ready = poll(Polls, 2, static_cast<int>(Left.count()));
      if (Ready < 0) {
        Error = errno;
        continue;
      }
      if (Polls[1].revents != 0) {
        Error = ECANCELED;
        break;
      }
      if (Ready == 0) continue;
      socklen_t Size = sizeof Error;
      if (getsockopt(Fd, SOL_SOCKET, SO_ERROR, &Error, &Size) != 0) Error = errno;
    }
  }
  if (Error != 0) {
    close(Fd);
    Fd = -1;
  }
  return Error;
}

TAddressLookup& InstalledLookup() {
  static TAddressLookup Lookup = getaddrinfo;
  return Lookup;
}

// No delay for small writes (a controller's packets are a dozen bytes), keep-alive probes for
// an idle connection and a limit on unacknowledged data, so that a hung server or a cut network
// path shows as ETIMEDOUT within about ten seconds instead of never.
void ConfigureTcp(int Fd) {
  const int On = 1;
  const int IdleSeconds = 3;
  const int ProbeSeconds = 2;
  const int Probes = 3;
  const unsigned int UnacknowledgedMs = 10000;
  // Each is an improvement, not a need: a kernel that refuses one still gives a working line.
  setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On);
  setsockopt(Fd, SOL_SOCKET, SO_KEEPALIVE, &On, sizeof On);
  setsockopt(Fd, IPPROTO_TCP, TCP_KEEPIDLE, &IdleSeconds, sizeof IdleSeconds);
  setsockopt(Fd, IPPROTO_TCP, TCP_KEEPINTVL, &ProbeSeconds, sizeof ProbeSeconds);
  setsockopt(Fd, IPPROTO_TCP, TCP_KEEPCNT, &Probes, sizeof Probes);
  setsockopt(Fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &UnacknowledgedMs, sizeof UnacknowledgedMs);
}

// poll() on the socket (when Want asks for something) and the wake-ups.
int PollFor(int Fd, unsigned Want, const std::intptr_t* Wakes, std::size_t WakeCount, int TimeoutMs,
            TSocketReady& Ready) {
  Ready = {};
  std::vector<pollfd> Polls;
  Polls.reserve(WakeCount + 1);
  const auto Events = static_cast<short>(((Want & WaitReadable) ? POLLIN : 0) |
                                         ((Want & WaitWritable) ? POLLOUT : 0));
  // A socket not watched is left out: poll() reports a hang-up even when no events are asked
  // for, and a loop that watches nothing on it would spin.
  Polls.push_back({Events != 0 ? Fd : -1, Events, 0});
  for (std::size_t Index = 0; Index < WakeCount; ++Index)
    Polls.push_back({static_cast<int>(Wakes[Index]), POLLIN, 0});
  if (poll(Polls.data(), Polls.size(), TimeoutMs) < 0) return errno == EINTR ? 0 : errno;
  const short Got = Polls[0].revents;
  Ready.Readable = (Want & WaitReadable) && (Got & (POLLIN | POLLHUP | POLLERR));
  Ready.Writable = (Want & WaitWritable) && (Got & (POLLOUT | POLLHUP | POLLERR));
  Ready.HungUp = (Got & (POLLHUP | POLLERR)) != 0;
  for (std::size_t Index = 0; Index < WakeCount; ++Index)
    if (Polls[Index + 1].revents != 0) Ready.Woken |= 1u << Index;
  return 0;
}

}  // namespace

TSocketWake::TSocketWake() : Native_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (Native_ < 0) Error_ = errno;
}

TSocketWake::~TSocketWake() {
  if (Native_ >= 0) close(static_cast<int>(Native_));
}

void TSocketWake::Signal() const {
  if (Native_ >= 0) SignalWake(static_cast<int>(Native_));
}

void TSocketWake::Consume() const {
  if (Native_ >= 0) ConsumeWake(static_cast<int>(Native_));
}

bool TSocketWake::IsSignalled() const {
  if (Native_ < 0) return false;
  pollfd Poll{static_cast<int>(Native_), POLLIN, 0};
  return poll(&Poll, 1, 0) > 0;
}

struct TTcpSocket::TSystem {
  int Fd = -1;
};

TTcpSocket::TTcpSocket() : System_(std::make_unique<TSystem>()) {}

TTcpSocket::~TTcpSocket() {
  Close();
}

bool TTcpSocket::IsOpen() const {
  return System_->Fd >= 0;
}

void TTcpSocket::Close() {
  if (System_->Fd >= 0) close(System_->Fd);
  System_->Fd = -1;
}

int TTcpSocket::Connect(const TNetworkAddress& Address, int TimeoutMs, const TSocketWake* Cancel,
                        std::string& Reason) {
  Close();
  const auto Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
  const std::string Service = std::to_string(Address.Port);
  std::shared_ptr<addrinfo> List;
  int Status = 0;
  const auto Resolve = [Host = Address.Host, Service,
                        Resolver = InstalledLookup()](std::shared_ptr<addrinfo>& Found) {
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    Hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo* First = nullptr;
    const int Result = Resolver(Host.c_str(), Service.c_str(), &Hints, &First);
    if (Result == 0) Found.reset(First, TAddressListFree());
    return Result;
  };
  switch (AwaitLookup(Address.Host + '\n' + Service, Resolve, Deadline, Cancel, List, Status)) {
    case TLookupOutcome::Found:
      break;
    case TLookupOutcome::Cancelled:
      return ECANCELED;
    case TLookupOutcome::TimedOut:
      Reason = "the name " + Address.Host + " could not be looked up in time";
      return ETIMEDOUT;
    case TLookupOutcome::Failed:
      Reason = gai_strerror(Status);
      return EADDRNOTAVAIL;
  }
  const int CancelFd = Cancel != nullptr ? static_cast<int>(Cancel->Native()) : -1;
  int Error = EADDRNOTAVAIL;
  int Fd = -1;
  for (const addrinfo* Entry = List.get(); Entry != nullptr; Entry = Entry->ai_next) {
    Error = ConnectOne(*Entry, Deadline, CancelFd, Fd);
    if (Error == 0 || Error == ETIMEDOUT || Error == ECANCELED) break;
  }
  if (Error != 0) return Error;
  ConfigureTcp(Fd);
  System_->Fd = Fd;
  return 0;
}

TSocketIo TTcpSocket::Send(const std::uint8_t* Data, std::size_t Count) {
  for (;;) {
    // MSG_NOSIGNAL: a peer that has gone gives EPIPE, not a signal that ends the program.
    const ssize_t Sent = send(System_->Fd, Data, Count, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (Sent >= 0) return {TSocketIo::Done, static_cast<std::size_t>(Sent), 0};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {TSocketIo::WouldBlock, 0, 0};
    return {TSocketIo::Failed, 0, errno};
  }
}

TSocketIo TTcpSocket::Receive(std::uint8_t* Data, std::size_t Count) {
  for (;;) {
    const ssize_t Got = recv(System_->Fd, Data, Count, MSG_DONTWAIT);
    if (Got > 0) return {TSocketIo::Done, static_cast<std::size_t>(Got), 0};
    if (Got == 0) return {TSocketIo::Ended, 0, 0};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {TSocketIo::WouldBlock, 0, 0};
    return {TSocketIo::Failed, 0, errno};
  }
}

int TTcpSocket::Wait(unsigned Want, const std::intptr_t* Wakes, std::size_t WakeCount,
                     int TimeoutMs, TSocketReady& Ready) {
  return PollFor(System_->Fd, Want, Wakes, WakeCount, TimeoutMs, Ready);
}

int WaitForWakes(const std::intptr_t* Wakes, std::size_t WakeCount, int TimeoutMs,
                 TSocketReady& Ready) {
  return PollFor(-1, 0, Wakes, WakeCount, TimeoutMs, Ready);
}

void SetAddressLookup(TAddressLookup Lookup) {
  InstalledLookup() = Lookup != nullptr ? Lookup : getaddrinfo;
}

}  // namespace tolvane
