// A values file: the section "Settings" with the eleven keys of the register table, exactly as
// Settings.ini holds them, so that a backup, a saved set of values and Settings.ini itself can
// all be opened. Other sections are ignored on reading and kept on writing.
#pragma once

#include <optional>
#include <string>

#include "logic/transfer/register_transfer.h"

namespace tolvane {

// What reading a values file gave: the eleven values, or why it gave none.
struct TValuesFileContent {
  std::optional<TRegisterTexts> Values;
  std::string Problem;             // for the operator: the file, the key and what is wrong
  std::optional<std::size_t> Row;  // the register whose key is missing or invalid
};

// Reads the eleven keys; every one must be there and pass the field check. The first key that
// is missing or fails makes the whole file fail. A file that is empty, or has no section
// "Settings" at all, is named as no values file.
TValuesFileContent ReadValuesFile(const std::string& Path);

// Writes the eleven keys under "Settings" in one atomic save; raises the INI layer's
// EIniFileException "Unable to write to <path>" on failure.
void WriteValuesFile(const std::string& Path, const TRegisterTexts& Values);

}  // namespace tolvane
