#include "serialport/device/read_plan.h"

#include <algorithm>

namespace tolvane {
namespace {

using TMilliseconds = std::chrono::milliseconds;

// Products of the time-out fields can exceed what a clock can add; longer waits than this
// (some 24 days) are treated as this long.
constexpr std::uint64_t LongestWaitMs = 0x7FFFFFFF;

TMilliseconds ClampedWait(std::uint64_t Milliseconds) {
  return TMilliseconds(std::min(Milliseconds, LongestWaitMs));
}

}  // namespace

TReadPlan PlanRead(const TCommTimeouts& Timeouts, std::uint32_t Count) {
  TReadPlan Plan;
  const std::uint32_t Interval = Timeouts.ReadIntervalTimeout;
  const std::uint32_t Multiplier = Timeouts.ReadTotalTimeoutMultiplier;
  const std::uint32_t Constant = Timeouts.ReadTotalTimeoutConstant;
  if (Interval == MAXDWORD && Multiplier == 0 && Constant == 0) {
    Plan.ReturnAtOnce = true;
    return Plan;
  }
  if (Interval == MAXDWORD && Multiplier == MAXDWORD && Constant != 0 && Constant != MAXDWORD) {
    Plan.ReturnOnFirstByte = true;
    Plan.Total = TMilliseconds(Constant);
    return Plan;
  }
  const std::uint64_t Total = std::uint64_t{Multiplier} * Count + Constant;
  if (Total != 0) Plan.Total = ClampedWait(Total);
  if (Interval != 0 && Interval != MAXDWORD) Plan.Interval = TMilliseconds(Interval);
  return Plan;
}

std::optional<std::chrono::milliseconds> WriteTimeLimit(const TCommTimeouts& Timeouts,
                                                        std::uint32_t Count) {
  const std::uint64_t Limit = std::uint64_t{Timeouts.WriteTotalTimeoutMultiplier} * Count +
                              Timeouts.WriteTotalTimeoutConstant;
  if (Limit == 0) return std::nullopt;
  return ClampedWait(Limit);
}

}  // namespace tolvane
