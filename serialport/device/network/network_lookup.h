// The lookup of a host name, run on a thread of its own and shared by every connection that
// waits for the same name: the resolver cannot be interrupted, and a name server that does not
// answer would otherwise hold the caller for many seconds, or hold one more thread each time the
// operator presses Connect. The platform's socket file supplies the resolver call.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct addrinfo;

namespace tolvane {

class TSocketWake;

enum class TLookupOutcome : std::uint8_t { Found, Failed, TimedOut, Cancelled };

// Runs on the lookup's thread: the resolver's status, and the list it found (with its deleter)
// when that is 0.
using TResolve = std::function<int(std::shared_ptr<addrinfo>& List)>;

// Waits until Deadline for the lookup named Key, started with Resolve unless one of that name is
// under way already. Found gives the list; Failed gives the resolver's status; Cancelled comes
// once Cancel (may be null) is signalled. A lookup may outlive every wait for it; the list it
// finds is freed with the last share.
TLookupOutcome AwaitLookup(const std::string& Key, TResolve Resolve,
                           std::chrono::steady_clock::time_point Deadline,
                           const TSocketWake* Cancel, std::shared_ptr<addrinfo>& List, int& Status);

}  // namespace tolvane
