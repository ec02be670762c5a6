// The classic time-out rules, as every device applies them: how a read of a number of bytes
// ends, and how long a write may take. Kept here once so that each backend follows the same
// reading of the time-out fields.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "serialport/device/com_device.h"

namespace tolvane {

// How one read ends, from the time-outs and the byte count.
struct TReadPlan {
  bool ReturnAtOnce = false;       // with whatever is queued, maybe nothing
  bool ReturnOnFirstByte = false;  // as soon as anything is there, else at the end of Total
  std::optional<std::chrono::milliseconds> Total;     // none: no limit
  std::optional<std::chrono::milliseconds> Interval;  // the longest gap between two bytes

  friend bool operator==(const TReadPlan&, const TReadPlan&) = default;
};

// ReadIntervalTimeout MAXDWORD with both totals 0: at once. MAXDWORD, multiplier MAXDWORD and
// a constant between: on the first byte, or after the constant. Otherwise the total is
// multiplier * Count + constant (0: no limit), and an interval other than 0 and MAXDWORD ends a
// read whose bytes have stopped coming.
TReadPlan PlanRead(const TCommTimeouts& Timeouts, std::uint32_t Count);

// The sooner of two deadlines, either of which may be none.
template <typename TTimePoint>
std::optional<TTimePoint> EarlierDeadline(std::optional<TTimePoint> A,
                                          std::optional<TTimePoint> B) {
  if (!A) return B;
  if (!B) return A;
  return *A < *B ? A : B;
}

// The longest a write of Count bytes may take (multiplier * Count + constant), or none when
// both are 0.
std::optional<std::chrono::milliseconds> WriteTimeLimit(const TCommTimeouts& Timeouts,
                                                        std::uint32_t Count);

}  // namespace tolvane
