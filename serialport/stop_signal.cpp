#include "serialport/stop_signal.h"

#include <poll.h>
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
  const std::uint64_t One = 1;
  // A full counter (never reached here) would still leave the descriptor readable.
  [[maybe_unused]] ssize_t Written = write(Fd_, &One, sizeof One);
}

bool TStopSignal::IsSet() const {
  pollfd Poll{Fd_, POLLIN, 0};
  return poll(&Poll, 1, 0) == 1 && (Poll.revents & POLLIN) != 0;
}

}  // namespace tolvane
