// The far end of each device type, for the device contract suite
// (tests/serialport/device/device_contract_test.cpp); the network device's is in
// network_far_end.h, which Windows shares. A backend is tested by one more adapter
// of this shape and one more entry in the suite's list of types:
//
//   struct TSomeFarEnd {
//     static constexpr const char* Name = "Some";  // the second part of each test's name
//     std::unique_ptr<TComDevice> NewDevice();     // a closed device of the type
//     std::string PortName() const;                // the name that device opens
//     void Send(std::string_view Bytes);           // the far end writes to the line
//     std::string Received(std::size_t Count);     // what reached the far end, up to Count bytes,
//                                                  // waiting a few seconds at most
//     void Drop();                                 // the far end goes away
//   };
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "serialport/device/com_device.h"
#include "serialport/device/posix/posix_device.h"
#include "tests/support/fake_device.h"
#include "tests/support/network_far_end.h"
#include "tests/support/pty_pair.h"

namespace tolvane::test {

// The recording fake: the far end fills its input queue and raises the received-data event
// as a driver would, reads what it was given to write, and loses the line with EIO.
class TFakeFarEnd {
 public:
  static constexpr const char* Name = "Fake";
  std::unique_ptr<TComDevice> NewDevice() {
    auto Device = std::make_unique<TFakeDevice>();
    Device_ = Device.get();
    return Device;
  }
  std::string PortName() const { return "/dev/fake"; }
  void Send(std::string_view Bytes) {
    Device_->InjectInput(std::string(Bytes));
    Device_->RaiseEvents(EV_RXCHAR);
  }
  std::string Received(std::size_t Count) { return Device_->Written().substr(0, Count); }
  void Drop() { Device_->LoseLine(EIO); }

 private:
  TFakeDevice* Device_ = nullptr;
};

// The tty device on a pseudo-terminal, whose master plays the far end; closing the master
// hangs the line up.
class TPosixFarEnd {
 public:
  static constexpr const char* Name = "Posix";
  std::unique_ptr<TComDevice> NewDevice() { return std::make_unique<TPosixDevice>(); }
  std::string PortName() const { return Pty_.SlavePath(); }
  void Send(std::string_view Bytes) { Pty_.Send(Bytes); }
  std::string Received(std::size_t Count) { return Pty_.Receive(Count); }
  void Drop() {
    Pty_.CloseSlave();
    Pty_.CloseMaster();
  }

 private:
  TPtyPair Pty_;
};

}  // namespace tolvane::test
