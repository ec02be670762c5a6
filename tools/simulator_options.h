// The command line of the controller simulator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/controller_model.h"
#include "tools/reply_shaper.h"

namespace tolvane {

// When the line goes away, as if the controller's adapter were pulled, and when it comes back.
// SIGUSR1 makes it vanish and SIGUSR2 brings it back at any time.
struct TVanishRule {
  int AfterPackets = 0;    // close the line once it has taken this many packets (0: never)
  int ReturnAfterMs = -1;  // come back this long after vanishing (-1: only on SIGUSR2)
};

struct TSimulatorOptions {
  bool Help = false;
  std::string LinkPath;      // a symbolic link to the line's device, removed on exit
  std::string LogPath;       // empty: the log goes to stderr
  std::string RegisterFile;  // empty: the registers start at their defaults and are not kept
  std::uint32_t Seed = 1;    // of the line noise
  TIdentifyRule Identify;
  TRegisterFaults Registers;
  TReplyFaults Faults;
  TVanishRule Vanish;
};

struct TParsedOptions {
  TSimulatorOptions Options;
  std::string Error;  // empty when the command line is valid
};

// Parses the arguments after the program name.
TParsedOptions ParseSimulatorOptions(const std::vector<std::string>& Args);
std::string SimulatorUsage(const std::string& Program);

}  // namespace tolvane
