#include "serialport/dispatch/stop_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "serialport/dispatch/stop_signal_posix.h"

namespace tolvane {

TStopSignal::TStopSignal() : Native_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (Native_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TStopSignal::~TStopSignal() {
  close(StopSignalFd(*this));
}

void TStopSignal::Set() {
  Set_.store(true);
  const std::uint64_t One = 1;
  // A full counter (never reached here) would still leave the descriptor readable.
  [[maybe_unused]] ssize_t Written = write(StopSignalFd(*this), &One, sizeof One);
}

void TStopSignal::Clear() {
  if (!Set_.load()) return;
  Set_.store(false);
  std::uint64_t Count = 0;
  [[maybe_unused]] ssize_t Read = read(StopSignalFd(*this), &Count, sizeof Count);
}

}  // namespace tolvane
