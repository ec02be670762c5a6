#include "serialport/dispatch/word_wait.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tolvane {

void SleepWhile(const std::atomic<std::uint32_t>& Word, std::uint32_t Value) {
  syscall(SYS_futex, &Word, FUTEX_WAIT_PRIVATE, Value, nullptr, nullptr, 0);
}

void WakeSleeper(std::atomic<std::uint32_t>& Word) {
  syscall(SYS_futex, &Word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

}  // namespace tolvane
