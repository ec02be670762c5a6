#include "serialport/dispatch/word_wait.h"

#include <windows.h>

namespace tolvane {

// WaitOnAddress sleeps while the word holds Value, like a futex.
void SleepWhile(const std::atomic<std::uint32_t>& Word, std::uint32_t Value) {
  WaitOnAddress(const_cast<std::atomic<std::uint32_t>*>(&Word), &Value, sizeof Value, INFINITE);
}

void WakeSleeper(std::atomic<std::uint32_t>& Word) {
  WakeByAddressSingle(&Word);
}

}  // namespace tolvane
