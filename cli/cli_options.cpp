#include "cli/cli_options.h"

#include <charconv>
#include <cmath>
#include <map>

#include "logic/transfer/transfer_sequencer.h"

namespace tolvane {
namespace {

constexpr std::int32_t MaxBaud = 4'000'000;
constexpr double TicksPerSecond = 10;  // the window's 100 ms timer

std::optional<std::int32_t> PositiveInteger(const std::string& Text) {
  std::int32_t Value = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Error != std::errc() || End != Text.data() + Text.size() || Value <= 0) return std::nullopt;
  return Value;
}

std::optional<int> PollsWithin(const std::string& Text) {
  double Seconds = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Seconds);
  if (Error != std::errc() || End != Text.data() + Text.size() || !(Seconds > 0)) {
    return std::nullopt;
  }
  const double Polls = std::ceil(Seconds * TicksPerSecond);
  return Polls >= IdentificationPolls ? IdentificationPolls : static_cast<int>(Polls);
}

}  // namespace

std::string CliUsage() {
  return "Usage: tolvane-cli [--port PORT] [--baud N] [--timeout S] [--json] read|compare FILE\n"
         "       tolvane-cli [--port PORT] [--baud N] [--timeout S] [--force] [--dry-run] write "
         "FILE\n"
         "       tolvane-cli [--json] ports\n"
         "       tolvane-cli --help | --version\n";
}

std::string CliHelp() {
  return CliUsage() +
         "\n"
         "Reads, writes and compares the amplifier controller's eleven settings.\n"
         "\n"
         "Commands:\n"
         "  read FILE      read the registers and save them to FILE\n"
         "  write FILE     back up the controller's values, write FILE's values, read them back;\n"
         "                 a change that is negative, more than 4 times or less than 1/4 of the\n"
         "                 controller's present value is refused unless --force is given\n"
         "  compare FILE   print each key whose value differs from FILE\n"
         "  ports          print the serial ports of this machine\n"
         "\n"
         "Options:\n"
         "  --port PORT    the serial port (without it: the port of the window's Settings.ini)\n"
         "  --baud N       the baud rate\n"
         "  --timeout S    give up on the identification after S seconds (at most 15)\n"
         "  --json         report on standard output as one JSON document\n"
         "  --force        write: write implausible changes too\n"
         "  --dry-run      write: print the changes FILE would make and write nothing\n"
         "  --help         print this help\n"
         "  --version      print the version\n"
         "\n"
         "Exit status:\n"
         "  0  done: read and saved, written and verified, or equal\n"
         "  1  a register did not answer, does not hold what was written, or differs\n"
         "  2  usage error, a bad or missing FILE, output that cannot be written, or an\n"
         "     implausible change refused (write, also with --dry-run, without --force)\n"
         "  3  the port cannot be opened, the controller does not identify, or the line was "
         "lost\n";
}

std::string CliVersion() {
  return std::string("tolvane-cli ") + TOLVANE_VERSION + "\n";
}

TParsedCli ParseCliOptions(const std::vector<std::string>& Args) {
  TParsedCli Result;
  TCliOptions& Options = Result.Options;
  std::vector<std::string> Words;
  for (std::size_t Index = 0; Index < Args.size(); ++Index) {
    const std::string& Arg = Args[Index];
    if (Arg == "--help" || Arg == "-h") {
      Result.Request = TCliRequest::Help;
      return Result;
    }
    if (Arg == "--version") {
      Result.Request = TCliRequest::Version;
      return Result;
    }
    if (Arg == "--json") {
      Options.Json = true;
    } else if (Arg == "--force") {
      Options.Force = true;
    } else if (Arg == "--dry-run") {
      Options.DryRun = true;
    } else if (Arg == "--port" || Arg == "--baud" || Arg == "--timeout") {
      if (Index + 1 >= Args.size()) {
        Result.Error = Arg + " needs a value";
        return Result;
      }
      const std::string& Value = Args[++Index];
      if (Arg == "--port") {
        if (Value.empty()) Result.Error = "--port needs a port name";
        Options.Port = Value;
      } else if (Arg == "--baud") {
        Options.Baud = PositiveInteger(Value);
        if (!Options.Baud || *Options.Baud > MaxBaud)
          Result.Error = "invalid baud rate \"" + Value + "\"";
      } else {
        Options.IdentificationPolls = PollsWithin(Value);
        if (!Options.IdentificationPolls) Result.Error = "invalid time-out \"" + Value + "\"";
      }
      if (!Result.Error.empty()) return Result;
    } else if (Arg.starts_with("-") && Arg.size() > 1) {
      Result.Error = "unknown option \"" + Arg + "\"";
      return Result;
    } else {
      Words.push_back(Arg);
    }
  }
  static const std::map<std::string, TCliCommand> Commands = {{"read", TCliCommand::Read},
                                                              {"write", TCliCommand::Write},
                                                              {"compare", TCliCommand::Compare},
                                                              {"ports", TCliCommand::Ports}};
  if (Words.empty()) {
    Result.Error = "no command";
    return Result;
  }
  const auto Command = Commands.find(Words[0]);
  if (Command == Commands.end()) {
    Result.Error = "unknown command \"" + Words[0] + "\"";
    return Result;
  }
  Options.Command = Command->second;
  const std::size_t Wanted = Options.Command == TCliCommand::Ports ? 1 : 2;
  if (Words.size() != Wanted) {
    Result.Error = Wanted == 1 ? "ports takes no file" : Words[0] + " needs exactly one FILE";
    return Result;
  }
  if (Wanted == 2) Options.File = Words[1];
  if ((Options.Force || Options.DryRun) && Options.Command != TCliCommand::Write) {
    Result.Error = std::string(Options.Force ? "--force" : "--dry-run") + " goes with write only";
  }
  return Result;
}

}  // namespace tolvane
