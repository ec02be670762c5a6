// The plausibility guard before a Write: each value that will change is set against the value
// the controller holds now, read for the Write's backup. The field check has already passed, so
// every text is a whole number; the guard looks at the numbers. A change that is negative, or
// far from the present value, asks the operator once before anything is sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "logic/transfer/register_transfer.h"

namespace tolvane {

// A change is implausible when the new value is more than this many times the present value, or
// less than the present value divided by it. The registers are protection limits and times: a
// slipped or doubled digit multiplies or divides a value by ten, while a real adjustment (another
// valve, another mains voltage, a longer cable) stays well within a factor of two or three.
// Four leaves room for every such adjustment and still catches every one-digit slip. A present
// value of zero gives no scale, so only a negative value is implausible against it; a negative
// value is never a limit or a time.
inline constexpr std::int64_t ImplausibleFactor = 4;

enum class TImplausibility : std::uint8_t { None, Negative, MoreThanFourTimes, LessThanAQuarter };

// The rule for one register; Present and New are the numbers of two texts that differ.
TImplausibility ImplausibilityOf(std::int64_t Present, std::int64_t New);

struct TValueChange {
  std::size_t Row;
  std::string Present;  // as the controller sent it
  std::string New;      // as it will be sent
  TImplausibility Why;
};

// The registers whose number Values changes, implausible ones first, each group in table order.
// A text that spells the present number differently ("+2900" for "02900") changes nothing.
std::vector<TValueChange> ChangesBetween(const TRegisterTexts& Present,
                                         const TRegisterTexts& Values);
bool AnyImplausible(const std::vector<TValueChange>& Changes);

// One change: "Ua max, V: 02900 -> 29000 (10 times the present value)"; "(negative)",
// "(1/10 of the present value)" and "(zero)" for the other implausible cases; a plausible change
// has no remark.
std::string ChangeLine(const TValueChange& Change);
// The list of a Write with an implausible change: a line that says what is implausible, then
// every change, the implausible ones first, the others after "Also changing:".
std::vector<std::string> ImplausibleChangesLines(const std::vector<TValueChange>& Changes);
// The question: those lines, the list between blank lines, then that nothing has been written
// yet.
std::string ImplausibleChangesText(const std::vector<TValueChange>& Changes);

}  // namespace tolvane
