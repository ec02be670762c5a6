// The command line of the controller simulator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/controller_model.h"
#include "tools/reply_shaper.h"

namespace tolvane {

struct TSimulatorOptions {
  bool Help = false;
  std::string LinkPath;      // a symbolic link to the line's device, removed on exit
  std::string LogPath;       // empty: the log goes to stderr
  std::string RegisterFile;  // empty: the registers start at their defaults and are not kept
  std::uint32_t Seed = 1;    // of the line noise
  TIdentifyRule Identify;
  TReplyFaults Faults;
};

struct TParsedOptions {
  TSimulatorOptions Options;
  std::string Error;  // empty when the command line is valid
};

// Parses the arguments after the program name.
TParsedOptions ParseSimulatorOptions(const std::vector<std::string>& Args);
std::string SimulatorUsage(const std::string& Program);

}  // namespace tolvane
