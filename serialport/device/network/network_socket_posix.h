// The TCP connection of the network device: connecting with a time-out and setting the socket
// up so that a dead peer is noticed.
#pragma once

#include <string>

#include "serialport/device/network/network_address.h"

namespace tolvane {

// Connects to Address within TimeoutMs, the name's lookup included; gives a non-blocking socket
// in Fd and 0, or the error (ETIMEDOUT when the lookup or every address took too long). A host
// name that cannot be resolved gives EADDRNOTAVAIL with the resolver's words in Reason.
int ConnectTcp(const TNetworkAddress& Address, int TimeoutMs, int& Fd, std::string& Reason);

// No delay for small writes (a controller's packets are a dozen bytes), keep-alive probes for
// an idle connection and a limit on unacknowledged data, so that a hung server or a cut network
// path shows as ETIMEDOUT within about ten seconds instead of never.
void ConfigureTcp(int Fd);

}  // namespace tolvane
