// The register map kept in a text file across runs of the simulator: one "address=value" line
// per register, written whole to a new file that then replaces the old one.
#pragma once

#include <string>
#include <string_view>

#include "tools/controller_model.h"

namespace tolvane {

std::string FormatRegisters(const TRegisterMap& Registers);
// Takes the value of every known register from Text; unknown addresses, invalid values and
// malformed lines are skipped, so a damaged file leaves those registers at what they were.
void ParseRegisters(std::string_view Text, TRegisterMap& Registers);

// Loads Path into Registers. A missing file is no error (the map is left as it is); false with
// Error set when the file exists but cannot be read.
bool LoadRegisterFile(const std::string& Path, TRegisterMap& Registers, std::string& Error);
// Saves atomically: a crash leaves either the old file or the new one.
bool SaveRegisterFile(const std::string& Path, const TRegisterMap& Registers, std::string& Error);

}  // namespace tolvane
