// The command line of tolvane-cli: one command, its file, and the line's overrides.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr int ExitDone = 0;
inline constexpr int ExitRegisters = 1;  // a register did not answer or does not hold the value
// A usage error, a values file that does not pass, or a write refused for an implausible change.
inline constexpr int ExitUsage = 2;
inline constexpr int ExitLine = 3;  // no port, no controller, or the line was lost

enum class TCliCommand : std::uint8_t { Read, Write, Compare, Ports };

struct TCliOptions {
  TCliCommand Command = TCliCommand::Ports;
  std::string File;
  std::optional<std::string> Port;
  std::optional<std::int32_t> Baud;
  // Gives up on the identification after this many polls (at most the window's 150).
  std::optional<int> IdentificationPolls;
  // The report on standard output as one JSON document (read, compare, ports).
  bool Json = false;
  // write: an implausible change is written all the same.
  bool Force = false;
  // write: the changes are printed and nothing is written or backed up.
  bool DryRun = false;
};

// What the command line asks for: a command, or only the help or the version.
enum class TCliRequest : std::uint8_t { Command, Help, Version };

struct TParsedCli {
  TCliOptions Options;
  TCliRequest Request = TCliRequest::Command;
  std::string Error;  // empty when the command line is valid
};

// Parses the arguments after the program name.
TParsedCli ParseCliOptions(const std::vector<std::string>& Args);
std::string CliUsage();
// The usage with every option and the exit codes, for --help.
std::string CliHelp();
// "tolvane-cli 0.0.1", for --version.
std::string CliVersion();

}  // namespace tolvane
