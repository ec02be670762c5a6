#include "logic/transfer/plausibility_guard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "logic/protocol/field_check.h"
#include "logic/protocol/register_table.h"

namespace tolvane {
namespace {

std::int64_t Magnitude(std::int64_t Value) {
  return Value < 0 ? -Value : Value;
}

// "10", "4.5"; a factor that would read as the threshold itself reads "more than 4".
std::string FactorText(double Factor) {
  char Text[32];
  if (Factor >= 9.95) {
    std::snprintf(Text, sizeof Text, "%.0f", Factor);
  } else {
    std::snprintf(Text, sizeof Text, "%.1f", Factor);
    std::string Short = Text;
    if (Short.ends_with(".0")) Short.resize(Short.size() - 2);
    if (Short == std::to_string(ImplausibleFactor)) return "more than " + Short;
    return Short;
  }
  return Text;
}

std::string Remark(const TValueChange& Change) {
  const double Present = std::fabs(static_cast<double>(*WholeIntegerValue(Change.Present)));
  const double New = static_cast<double>(*WholeIntegerValue(Change.New));
  switch (Change.Why) {
    case TImplausibility::None:
      return {};
    case TImplausibility::Negative:
      return " (negative)";
    case TImplausibility::MoreThanFourTimes:
      return " (" + FactorText(New / Present) + " times the present value)";
    case TImplausibility::LessThanAQuarter:
      if (New == 0) return " (zero)";
      return " (1/" + FactorText(Present / New) + " of the present value)";
  }
  return {};
}

std::string Changes(std::size_t Count) {
  return std::to_string(Count) + (Count == 1 ? " change" : " changes");
}

}  // namespace

TImplausibility ImplausibilityOf(std::int64_t Present, std::int64_t New) {
  if (New < 0) return TImplausibility::Negative;
  if (Present == 0) return TImplausibility::None;
  if (New > ImplausibleFactor * Magnitude(Present)) return TImplausibility::MoreThanFourTimes;
  if (ImplausibleFactor * New < Magnitude(Present)) return TImplausibility::LessThanAQuarter;
  return TImplausibility::None;
}

std::vector<TValueChange> ChangesBetween(const TRegisterTexts& Present,
                                         const TRegisterTexts& Values) {
  std::vector<TValueChange> Found;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    const std::optional<std::int32_t> Was = WholeIntegerValue(Present[Row]);
    const std::optional<std::int32_t> Will = WholeIntegerValue(Values[Row]);
    // Both passed the field check: the present values as replies, the new ones at the press.
    if (!Was || !Will || *Was == *Will) continue;
    Found.push_back({Row, Present[Row], Values[Row], ImplausibilityOf(*Was, *Will)});
  }
  std::stable_partition(Found.begin(), Found.end(), [](const TValueChange& Change) {
    return Change.Why != TImplausibility::None;
  });
  return Found;
}

bool AnyImplausible(const std::vector<TValueChange>& Changes) {
  return std::any_of(Changes.begin(), Changes.end(), [](const TValueChange& Change) {
    return Change.Why != TImplausibility::None;
  });
}

std::string ChangeLine(const TValueChange& Change) {
  return std::string(RegisterTable.at(Change.Row).Label) + ": " + Change.Present + " -> " +
         Change.New + Remark(Change);
}

std::vector<std::string> ImplausibleChangesLines(const std::vector<TValueChange>& All) {
  const std::size_t Implausible = static_cast<std::size_t>(std::count_if(
      All.begin(), All.end(),
      [](const TValueChange& Change) { return Change.Why != TImplausibility::None; }));
  std::vector<std::string> Lines = {
      (All.size() == 1 ? std::string("This change is")
                       : std::to_string(Implausible) + " of " + Changes(All.size()) +
                             (Implausible == 1 ? " is" : " are")) +
      " implausible: negative, more than " + std::to_string(ImplausibleFactor) +
      " times or less than 1/" + std::to_string(ImplausibleFactor) +
      " of the controller's present value."};
  for (std::size_t Index = 0; Index < All.size(); ++Index) {
    if (Index == Implausible) Lines.emplace_back("Also changing:");
    Lines.push_back(ChangeLine(All[Index]));
  }
  return Lines;
}

std::string ImplausibleChangesText(const std::vector<TValueChange>& All) {
  // Blank lines set the list apart, since a narrow box wraps the longer lines.
  const std::vector<std::string> Lines = ImplausibleChangesLines(All);
  std::string Text = Lines.front() + "\n";
  for (std::size_t Index = 1; Index < Lines.size(); ++Index) Text += "\n" + Lines[Index];
  return Text + "\n\nNothing has been written yet. Write " +
         (All.size() == 1 ? std::string("it") : "all " + Changes(All.size())) +
         " to the controller?";
}

}  // namespace tolvane
