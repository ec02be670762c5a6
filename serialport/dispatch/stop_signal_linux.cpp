#include "serialport/dispatch/stop_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace tolvane {

TStopSignal::TStopSignal() : Fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (Fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TStopSignal::~TStopSignal() {
  close(Fd_);
}

void TStopSignal::Set() {
  Set_.store(true);
  const std::uint64_t One = 1;
  // A full counter (never reached here) would still leave the descriptor readable.
  [[maybe_unused]] ssize_t Written = write(Fd_, &One, sizeof One);
}

}  // namespace tolvane
