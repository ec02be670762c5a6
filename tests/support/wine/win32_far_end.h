// The far end of the Windows device for the device contract suite under Wine: a fresh
// pseudo-terminal for each test, made on the Linux side by pty_far_end (tests/support/wine/),
// whose slave is linked as a COM port of the Wine prefix. The test reaches the master's side
// over TCP: what it sends comes out of the COM port, what the device writes comes back, and
// closing the connection hangs the line up. The helper's TCP port and the COM port come from
// TOLVANE_FAR_END_PORT and TOLVANE_FAR_END_COM (scripts/test.sh sets them); without them the
// suite is skipped, saying so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "serialport/device/com_device.h"

namespace tolvane::test {

class TWin32FarEnd {
 public:
  static constexpr const char* Name = "Win32";
  TWin32FarEnd();
  ~TWin32FarEnd();
  TWin32FarEnd(const TWin32FarEnd&) = delete;
  TWin32FarEnd& operator=(const TWin32FarEnd&) = delete;

  // Why there is no far end (no helper named, or it did not answer); empty when there is one.
  std::string Unavailable() const { return Unavailable_; }
  std::unique_ptr<TComDevice> NewDevice();
  std::string PortName() const { return PortName_; }
  void Send(std::string_view Bytes);
  std::string Received(std::size_t Count);
  void Drop();

 private:
  std::uintptr_t Socket_;
  std::string PortName_;
  std::string Unavailable_;
};

}  // namespace tolvane::test
