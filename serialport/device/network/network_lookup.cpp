#include "serialport/device/network/network_lookup.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "serialport/device/network/network_socket.h"

namespace tolvane {
namespace {

using TClock = std::chrono::steady_clock;

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

std::shared_ptr<TLookup> StartOrJoinLookup(const std::string& Key, TResolve Resolve) {
  TLookupsUnderWay& Lookups = LookupsUnderWay();
  std::lock_guard Lock(Lookups.Mutex);
  if (const auto Found = Lookups.ByName.find(Key); Found != Lookups.ByName.end())
    return Found->second;
  auto Lookup = std::make_shared<TLookup>();
  Lookups.ByName.emplace(Key, Lookup);
  std::thread([Lookup, Key, Resolve = std::move(Resolve)] {
    std::shared_ptr<addrinfo> List;
    const int Status = Resolve(List);
    {
      TLookupsUnderWay& Under = LookupsUnderWay();
      std::lock_guard Forgetting(Under.Mutex);
      Under.ByName.erase(Key);
    }
    std::lock_guard Publishing(Lookup->Mutex);
    Lookup->Finished = true;
    Lookup->Status = Status;
    if (Status == 0) Lookup->List = std::move(List);
    Lookup->Done.notify_all();
  }).detach();
  return Lookup;
}

}  // namespace

TLookupOutcome AwaitLookup(const std::string& Key, TResolve Resolve, TClock::time_point Deadline,
                           const TSocketWake* Cancel, std::shared_ptr<addrinfo>& List,
                           int& Status) {
  const std::shared_ptr<TLookup> Lookup = StartOrJoinLookup(Key, std::move(Resolve));
  std::unique_lock Lock(Lookup->Mutex);
  // In short slices, so that giving up is noticed at once.
  constexpr auto Slice = std::chrono::milliseconds(10);
  while (!Lookup->Finished && TClock::now() < Deadline) {
    if (Cancel != nullptr && Cancel->IsSignalled()) return TLookupOutcome::Cancelled;
    Lookup->Done.wait_until(Lock, std::min(Deadline, TClock::now() + Slice));
  }
  if (!Lookup->Finished) return TLookupOutcome::TimedOut;
  Status = Lookup->Status;
  if (Status != 0) return TLookupOutcome::Failed;
  List = Lookup->List;
  return TLookupOutcome::Found;
}

}  // namespace tolvane
