#include "serialport/device/network/network_socket_posix.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
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
bool IsReadable(int Fd) {
  if (Fd < 0) return false;
  pollfd Poll{Fd, POLLIN, 0};
  return poll(&Poll, 1, 0) > 0;
}

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

// A lookup that may outlive the wait for it: the resolver cannot be interrupted, so it runs on a
// thread of its own. Whoever waits holds a share of it; the list it finds is freed with the last
// share.
struct TLookup {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  int Status = 0;
  std::shared_ptr<addrinfo> List;
};

// The lookups under way, by name and service. An opening that finds its name being looked up
// already waits for that lookup instead of starting another, so a resolver that never answers
// holds one thread per name however often the operator presses Connect.
struct TLookupsUnderWay {
  std::mutex Mutex;
  std::map<std::string, std::shared_ptr<TLookup>> ByName;
};

TLookupsUnderWay& LookupsUnderWay() {
  static auto* Lookups = new TLookupsUnderWay;  // never destroyed: a lookup may end after exit
  return *Lookups;
}

std::shared_ptr<TLookup> StartOrJoinLookup(const std::string& Host, const std::string& Service) {
  TLookupsUnderWay& Lookups = LookupsUnderWay();
  const std::string Key = Host + '\n' + Service;
  std::lock_guard Lock(Lookups.Mutex);
  if (const auto Found = Lookups.ByName.find(Key); Found != Lookups.ByName.end())
    return Found->second;
  auto Lookup = std::make_shared<TLookup>();
  Lookups.ByName.emplace(Key, Lookup);
  std::thread([Lookup, Key, Host, Service, Resolver = InstalledLookup()] {
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    Hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo* Found = nullptr;
    const int Status = Resolver(Host.c_str(), Service.c_str(), &Hints, &Found);
    {
      TLookupsUnderWay& Under = LookupsUnderWay();
      std::lock_guard Forgetting(Under.Mutex);
      Under.ByName.erase(Key);
    }
    std::lock_guard Publishing(Lookup->Mutex);
    Lookup->Finished = true;
    Lookup->Status = Status;
    if (Status == 0) Lookup->List.reset(Found, TAddressListFree());
    Lookup->Done.notify_all();
  }).detach();
  return Lookup;
}

// getaddrinfo, waiting at most until Deadline: a name server that does not answer would
// otherwise hold the caller for many seconds.
int Resolve(const TNetworkAddress& Address, TClock::time_point Deadline, int CancelFd,
            std::shared_ptr<addrinfo>& List, std::string& Reason) {
  const std::shared_ptr<TLookup> Lookup =
      StartOrJoinLookup(Address.Host, std::to_string(Address.Port));
  std::unique_lock Lock(Lookup->Mutex);
  // In short slices, so that giving up is noticed at once.
  constexpr auto Slice = std::chrono::milliseconds(10);
  while (!Lookup->Finished && TClock::now() < Deadline) {
    if (IsReadable(CancelFd)) return ECANCELED;
    Lookup->Done.wait_until(Lock, std::min(Deadline, TClock::now() + Slice));
  }
  if (!Lookup->Finished) {
    Reason = "the name " + Address.Host + " could not be looked up in time";
    return ETIMEDOUT;
  }
  if (Lookup->Status != 0) {
    Reason = gai_strerror(Lookup->Status);
    return EADDRNOTAVAIL;
  }
  List = Lookup->List;
  return 0;
}

}  // namespace

void SetAddressLookup(TAddressLookup Lookup) {
  InstalledLookup() = Lookup != nullptr ? Lookup : getaddrinfo;
}

int ConnectTcp(const TNetworkAddress& Address, int TimeoutMs, int CancelFd, int& Fd,
               std::string& Reason) {
  Fd = -1;
  const auto Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
  std::shared_ptr<addrinfo> List;
  if (const int Error = Resolve(Address, Deadline, CancelFd, List, Reason)) return Error;
  int Error = EADDRNOTAVAIL;
  for (const addrinfo* Entry = List.get(); Entry != nullptr; Entry = Entry->ai_next) {
    Error = ConnectOne(*Entry, Deadline, CancelFd, Fd);
    if (Error == 0 || Error == ETIMEDOUT || Error == ECANCELED) break;
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
