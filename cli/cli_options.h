// The command line of tolvane-cli: one command, its file, and the line's overrides.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr int ExitDone = 0;
inline constexpr int ExitRegisters = 1;  // a register did not answer or does not hold the value
inline constexpr int ExitUsage = 2;      // a usage error, or a values file that does not pass
inline constexpr int ExitLine = 3;       // no port, no controller, or the line was lost

enum class TCliCommand : std::uint8_t { Read, Write, Compare, Ports };

struct TCliOptions {
  TCliCommand Command = TCliCommand::Ports;
  std::string File;
  std::optional<std::string> Port;
  std::optional<std::int32_t> Baud;
  // Gives up on the identification after this many polls (at most the window's 150).
  std::optional<int> IdentificationPolls;
};

struct TParsedCli {
  TCliOptions Options;
  std::string Error;  // empty when the command line is valid
};

// Parses the arguments after the program name.
TParsedCli ParseCliOptions(const std::vector<std::string>& Args);
std::string CliUsage();

}  // namespace tolvane
