#include "serialport/device/posix/posix_device_helper.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <system_error>

namespace tolvane {
namespace {

// SIGURG is ignored by default, so a stray one can never end the program.
constexpr int InterruptSignal = SIGURG;
constexpr int RetryMilliseconds = 20;

void IgnoreInterrupt(int) {}

void InstallInterruptHandler() {
  static std::once_flag Installed;
  std::call_once(Installed, [] {
    struct sigaction Current {};
    sigaction(InterruptSignal, nullptr, &Current);
    // A handler the application installed itself interrupts system calls just as well.
    if (Current.sa_handler != SIG_DFL && Current.sa_handler != SIG_IGN) return;
    struct sigaction Action {};
    Action.sa_handler = IgnoreInterrupt;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = 0;  // no SA_RESTART: the blocking call must return EINTR
    sigaction(InterruptSignal, &Action, nullptr);
  });
}

}  // namespace

TInterruptibleThread::~TInterruptibleThread() {
  StopAndJoin();
}

int TInterruptibleThread::Start(std::function<void()> Body) {
  InstallInterruptHandler();
  DoneFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (DoneFd_ < 0) return errno;
  try {
    Thread_ = std::thread([Body = std::move(Body), Done = DoneFd_] {
      // The thread inherits its creator's signal mask; the interrupt must get through.
      sigset_t Interrupt;
      sigemptyset(&Interrupt);
      sigaddset(&Interrupt, InterruptSignal);
      pthread_sigmask(SIG_UNBLOCK, &Interrupt, nullptr);
      Body();
      const std::uint64_t One = 1;
      [[maybe_unused]] ssize_t Written = write(Done, &One, sizeof One);
    });
  } catch (const std::system_error& Error) {
    close(DoneFd_);
    DoneFd_ = -1;
    return Error.code().value() != 0 ? Error.code().value() : EAGAIN;
  }
  return 0;
}

void TInterruptibleThread::StopAndJoin() {
  if (!Thread_.joinable()) return;
  pollfd Done{DoneFd_, POLLIN, 0};
  while (poll(&Done, 1, 0) == 0) {
    pthread_kill(Thread_.native_handle(), InterruptSignal);
    poll(&Done, 1, RetryMilliseconds);
  }
  Thread_.join();
  close(DoneFd_);
  DoneFd_ = -1;
}

}  // namespace tolvane
