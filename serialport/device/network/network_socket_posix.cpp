#include "serialport/device/network/network_socket_posix.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

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

// A resolution that may outlive the wait for it: the resolver cannot be interrupted, so it runs
// on a thread of its own that owns its share of the result.
struct TResolution {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  int Status = 0;
  addrinfo* List = nullptr;
  bool Abandoned = false;
};

// getaddrinfo, waiting at most until Deadline: a name server that does not answer would
// otherwise hold the caller (the GUI thread, when the window connects) for many seconds.
int Resolve(const TNetworkAddress& Address, TClock::time_point Deadline, addrinfo*& List,
            std::string& Reason) {
  auto Shared = std::make_shared<TResolution>();
  std::thread([Shared, Host = Address.Host, Service = std::to_string(Address.Port)] {
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    Hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo* Found = nullptr;
    const int Status = getaddrinfo(Host.c_str(), Service.c_str(), &Hints, &Found);
    std::lock_guard Lock(Shared->Mutex);
    if (Shared->Abandoned) {
      if (Status == 0) freeaddrinfo(Found);
      return;
    }
    Shared->Finished = true;
    Shared->Status = Status;
    Shared->List = Found;
    Shared->Done.notify_all();
  }).detach();
  std::unique_lock Lock(Shared->Mutex);
  if (!Shared->Done.wait_until(Lock, Deadline, [&] { return Shared->Finished; })) {
    Shared->Abandoned = true;
    Reason = "the name " + Address.Host + " could not be looked up in time";
    return ETIMEDOUT;
  }
  if (Shared->Status != 0) {
    Reason = gai_strerror(Shared->Status);
    return EADDRNOTAVAIL;
  }
  List = Shared->List;
  return 0;
}

}  // namespace

int ConnectTcp(const TNetworkAddress& Address, int TimeoutMs, int& Fd, std::string& Reason) {
  Fd = -1;
  const auto Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
  addrinfo* Found = nullptr;
  if (const int Error = Resolve(Address, Deadline, Found, Reason)) return Error;
  const std::unique_ptr<addrinfo, TAddressListFree> List(Found);
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
