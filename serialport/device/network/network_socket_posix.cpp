#include "serialport/device/network/network_socket_posix.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>

namespace tolvane {
namespace {

using TClock = std::chrono::steady_clock;

struct TAddressListFree {
  void operator()(addrinfo* List) const { freeaddrinfo(List); }
};

// Connects one address, waiting until Deadline; 0 and the socket, or the error.
int ConnectOne(const addrinfo& Entry, TClock::time_point Deadline, int& Fd) {
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
      pollfd Poll{Fd, POLLOUT, 0};
      const int Ready = poll(&Poll, 1, static_cast<int>(Left.count()));
      if (Ready < 0) {
        Error = errno;
        continue;
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

}  // namespace

int ConnectTcp(const TNetworkAddress& Address, int TimeoutMs, int& Fd, std::string& Reason) {
  Fd = -1;
  addrinfo Hints{};
  Hints.ai_family = AF_UNSPEC;
  Hints.ai_socktype = SOCK_STREAM;
  Hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  addrinfo* Found = nullptr;
  const std::string Service = std::to_string(Address.Port);
  if (const int Status = getaddrinfo(Address.Host.c_str(), Service.c_str(), &Hints, &Found)) {
    Reason = gai_strerror(Status);
    return EADDRNOTAVAIL;
  }
  const std::unique_ptr<addrinfo, TAddressListFree> List(Found);
  const auto Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
  int Error = EADDRNOTAVAIL;
  for (const addrinfo* Entry = List.get(); Entry != nullptr; Entry = Entry->ai_next) {
    Error = ConnectOne(*Entry, Deadline, Fd);
    if (Error == 0 || Error == ETIMEDOUT) break;
  }
  return Error;
}

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

}  // namespace tolvane
