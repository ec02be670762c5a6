// The least a thread can sleep on: a 32-bit word that another thread changes and then wakes its
// sleeper through (a futex on Linux).
#pragma once

#include <atomic>
#include <cstdint>

namespace tolvane {

// Sleeps while Word still holds Value; may also return early (a signal, a wake-up meant for a
// former value), so the caller looks at the word again.
void SleepWhile(const std::atomic<std::uint32_t>& Word, std::uint32_t Value);
// Wakes one thread that sleeps on Word.
void WakeSleeper(std::atomic<std::uint32_t>& Word);

}  // namespace tolvane
