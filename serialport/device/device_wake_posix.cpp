#include "serialport/device/device_wake_posix.h"

#include <unistd.h>

#include <cstdint>

namespace tolvane {

void SignalWake(int Fd) {
  const std::uint64_t One = 1;
  // Fails only when the counter is full, and then the descriptor is readable anyway.
  [[maybe_unused]] ssize_t Written = write(Fd, &One, sizeof One);
}

void ConsumeWake(int Fd) {
  std::uint64_t Count = 0;
  // Non-blocking: nothing to consume is not an error.
  [[maybe_unused]] ssize_t Read = read(Fd, &Count, sizeof Count);
}

}  // namespace tolvane
