// The far end of the network device for the device contract suite (shape: device_far_ends.h),
// on POSIX and on Windows alike.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "serialport/device/com_device.h"
#include "serialport/device/network/network_device.h"
#include "tests/support/fake_comport_server.h"

namespace tolvane::test {

// The network device against the in-process server, over RFC 2217 or raw TCP; dropping the
// connection ends the stream, which is how a server reports every loss.
template <bool Telnet>
class TNetworkFarEnd {
 public:
  static constexpr const char* Name = Telnet ? "Rfc2217" : "RawTcp";
  TNetworkFarEnd() : Server_(Telnet) {}
  std::unique_ptr<TComDevice> NewDevice() { return std::make_unique<TNetworkDevice>(); }
  std::string PortName() const { return Server_.PortName(); }
  void Send(std::string_view Bytes) { Server_.Send(Bytes); }
  std::string Received(std::size_t Count) { return Server_.Received(Count); }
  void Drop() { Server_.Drop(); }

 private:
  TFakeComPortServer Server_;
};
using TRfc2217FarEnd = TNetworkFarEnd<true>;
using TRawTcpFarEnd = TNetworkFarEnd<false>;

}  // namespace tolvane::test
