// What a device's terminal settings say about the line, for checking that settings sent over a
// network server reached the device behind it. A pseudo-terminal keeps speed, stop bits and flow
// control, though it does not act on them (data size and parity it hides).
//
// The settings are read through a descriptor that the device's holder (the controller simulator)
// already has, copied with pidfd_getfd, not by opening the device: the simulator takes every
// opening of its line for a new user and starts the controller afresh.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace tolvane::testing_support {

struct TLineShape {
  unsigned Speed = 0;  // bits per second, also for a rate that has no B constant
  bool TwoStopBits = false;
  bool HardwareFlow = false;  // CRTSCTS
  bool SoftwareFlow = false;  // IXON and IXOFF

  bool operator==(const TLineShape&) const = default;
};

// The settings of DevicePath now, through a descriptor that process Holder (a child of this one,
// or one of the same user) has open on it; nothing if it has none or they cannot be read.
std::optional<TLineShape> LineShapeOf(pid_t Holder, const std::string& DevicePath);

std::string ShapeText(const TLineShape& Shape);

}  // namespace tolvane::testing_support
