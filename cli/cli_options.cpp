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
  return "Usage: tolvane-cli [--port PORT] [--baud N] [--timeout S] read|write|compare FILE\n"
         "       tolvane-cli ports\n";
}

TParsedCli ParseCliOptions(const std::vector<std::string>& Args) {
  TParsedCli Result;
  TCliOptions& Options = Result.Options;
  std::vector<std::string> Words;
  for (std::size_t Index = 0; Index < Args.size(); ++Index) {
    const std::string& Arg = Args[Index];
    if (Arg == "--port" || Arg == "--baud" || Arg == "--timeout") {
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
  return Result;
}

}  // namespace tolvane
