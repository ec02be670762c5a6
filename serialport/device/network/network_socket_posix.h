// The TCP connection of the network device: connecting with a time-out and setting the socket
// up so that a dead peer is noticed.
#pragma once

#include <netdb.h>

#include <string>

#include "serialport/device/network/network_address.h"

namespace tolvane {

// The name lookup ConnectTcp uses, getaddrinfo unless replaced (by a test's resolver that never
// answers, say); nullptr restores getaddrinfo. A lookup already under way keeps the one it began
// with.
using TAddressLookup = int (*)(const char* Host, const char* Service, const addrinfo* Hints,
                               addrinfo** Found);
void SetAddressLookup(TAddressLookup Lookup);

// Connects to Address within TimeoutMs, the name's lookup included; gives a non-blocking socket
// in Fd and 0, or the error (ETIMEDOUT when the lookup or every address took too long). A host
// name that cannot be resolved gives EADDRNOTAVAIL with the resolver's words in Reason. At most
// one lookup of a name runs at a time: a connection to a name being looked up waits for that
// lookup, also when the connection that started it gave up.
// CancelFd (-1: none) is a descriptor that becomes readable when the caller gives up; the
// connection then ends with ECANCELED.
int ConnectTcp(const TNetworkAddress& Address, int TimeoutMs, int CancelFd, int& Fd,
               std::string& Reason);

// No delay for small writes (a controller's packets are a dozen bytes), keep-alive probes for
// an idle connection and a limit on unacknowledged data, so that a hung server or a cut network
// path shows as ETIMEDOUT within about ten seconds instead of never.
void ConfigureTcp(int Fd);

}  // namespace tolvane
