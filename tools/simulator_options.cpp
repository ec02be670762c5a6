#include "tools/simulator_options.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <set>

namespace tolvane {

namespace {

constexpr int MaxMilliseconds = 600000;
constexpr int MaxCount = 1000000;

// Parses a whole decimal number within [Low, High].
bool ParseNumber(const std::string& Text, long long Low, long long High, long long& Value) {
  const char* End = Text.data() + Text.size();
  const auto [Stop, Error] = std::from_chars(Text.data(), End, Value);
  return !Text.empty() && Error == std::errc() && Stop == End && Value >= Low && Value <= High;
}

struct TValueOption {
  std::function<bool(TSimulatorOptions&, const std::string&)> Apply;
  const char* Expected;
};

TValueOption Count(std::function<void(TSimulatorOptions&, long long)> Store, long long Low,
                   long long High, const char* Expected) {
  return {[Store, Low, High](TSimulatorOptions& Options, const std::string& Text) {
            long long Value = 0;
            if (!ParseNumber(Text, Low, High, Value)) return false;
            Store(Options, Value);
            return true;
          },
          Expected};
}

TValueOption Text(std::function<void(TSimulatorOptions&, const std::string&)> Store,
                  const char* Expected) {
  return {[Store](TSimulatorOptions& Options, const std::string& Value) {
            if (Value.empty()) return false;
            Store(Options, Value);
            return true;
          },
          Expected};
}

// A comma-separated list of register addresses, "0016,0024".
TValueOption Addresses(std::set<std::string> TRegisterFaults::*List) {
  return {[List](TSimulatorOptions& Options, const std::string& Text) {
            std::set<std::string> Parsed;
            std::size_t Start = 0;
            for (;;) {
              const std::size_t Comma = std::min(Text.find(',', Start), Text.size());
              const std::string Address = Text.substr(Start, Comma - Start);
              if (!DefaultRegisters().contains(Address)) return false;
              Parsed.insert(Address);
              if (Comma == Text.size()) break;
              Start = Comma + 1;
            }
            (Options.Registers.*List).insert(Parsed.begin(), Parsed.end());
            return true;
          },
          "register addresses such as 0016,0024"};
}

const std::map<std::string, TValueOption>& ValueOptions() {
  static const std::map<std::string, TValueOption> Options = {
      {"--link",
       Text([](TSimulatorOptions& O, const std::string& V) { O.LinkPath = V; }, "a path")},
      {"--log", Text([](TSimulatorOptions& O, const std::string& V) { O.LogPath = V; }, "a path")},
      {"--registers",
       Text([](TSimulatorOptions& O, const std::string& V) { O.RegisterFile = V; }, "a path")},
      {"--identify-after",
       Count([](TSimulatorOptions& O,
                long long V) { O.Identify.FirstAnsweredPoll = static_cast<int>(V); },
             1, MaxCount, "a poll number from 1")},
      {"--id-status",
       {[](TSimulatorOptions& O, const std::string& V) {
          if (V.size() != 3 || V.find(';') != std::string::npos) return false;
          O.Identify.Status = V;
          return true;
        },
        "3 characters other than \";\""}},
      {"--delay",
       Count([](TSimulatorOptions& O, long long V) { O.Faults.DelayMs = static_cast<int>(V); }, 0,
             MaxMilliseconds, "milliseconds")},
      {"--split", Count([](TSimulatorOptions& O,
                           long long V) { O.Faults.SplitSize = static_cast<std::size_t>(V); },
                        1, MaxCount, "a byte count from 1")},
      {"--split-gap",
       Count([](TSimulatorOptions& O, long long V) { O.Faults.SplitGapMs = static_cast<int>(V); },
             0, MaxMilliseconds, "milliseconds")},
      {"--garbage", Count([](TSimulatorOptions& O,
                             long long V) { O.Faults.GarbageBytes = static_cast<std::size_t>(V); },
                          1, 4096, "a byte count from 1 to 4096")},
      {"--drop-every",
       Count([](TSimulatorOptions& O, long long V) { O.Faults.DropEvery = static_cast<int>(V); }, 1,
             MaxCount, "a reply count from 1")},
      {"--vanish-after",
       Count([](TSimulatorOptions& O, long long V) { O.Vanish.AfterPackets = static_cast<int>(V); },
             1, MaxCount, "a packet count from 1")},
      {"--return-after", Count([](TSimulatorOptions& O,
                                  long long V) { O.Vanish.ReturnAfterMs = static_cast<int>(V); },
                               0, MaxMilliseconds, "milliseconds")},
      {"--silent-registers", Addresses(&TRegisterFaults::Silent)},
      {"--reply",
       {[](TSimulatorOptions& O, const std::string& V) {
          const std::size_t Equals = V.find('=');
          if (Equals == std::string::npos) return false;
          const std::string Address = V.substr(0, Equals);
          const std::string Text = V.substr(Equals + 1);
          if (!DefaultRegisters().contains(Address) || Text.find(';') != std::string::npos) {
            return false;
          }
          O.Registers.Replaced[Address] = Text;
          return true;
        },
        "a register address, \"=\" and a text without \";\", such as 0012=12x45"}},
      {"--unstored-registers", Addresses(&TRegisterFaults::Unstored)},
      {"--seed",
       Count([](TSimulatorOptions& O, long long V) { O.Seed = static_cast<std::uint32_t>(V); }, 0,
             4294967295LL, "a number")},
  };
  return Options;
}

}  // namespace

TParsedOptions ParseSimulatorOptions(const std::vector<std::string>& Args) {
  TParsedOptions Result;
  TSimulatorOptions& Options = Result.Options;
  for (std::size_t Index = 0; Index < Args.size(); ++Index) {
    std::string Name = Args[Index];
    std::string Value;
    bool HasValue = false;
    if (const auto Equals = Name.find('='); Name.starts_with("--") && Equals != std::string::npos) {
      Value = Name.substr(Equals + 1);
      Name.resize(Equals);
      HasValue = true;
    }
    if (Name == "--help" || Name == "-h") {
      Options.Help = true;
    } else if (Name == "--never-identify") {
      Options.Identify.Never = true;
    } else if (Name == "--crlf") {
      Options.Faults.CrLf = true;
    } else if (const auto Found = ValueOptions().find(Name); Found != ValueOptions().end()) {
      if (!HasValue) {
        if (Index + 1 >= Args.size()) {
          Result.Error = Name + " needs " + Found->second.Expected;
          return Result;
        }
        Value = Args[++Index];
      }
      if (!Found->second.Apply(Options, Value)) {
        Result.Error = Name + " needs " + Found->second.Expected + ", not \"" + Value + "\"";
        return Result;
      }
      continue;
    } else {
      Result.Error = "unknown option \"" + Args[Index] + "\"";
      return Result;
    }
    if (HasValue) {
      Result.Error = Name + " takes no value";
      return Result;
    }
  }
  return Result;
}

std::string SimulatorUsage(const std::string& Program) {
  return "Usage: " + Program + R"( [options]

Plays the amplifier controller on a pseudo-terminal. Prints the path of the line's
device (the side the utility opens) on the first line of standard output, then answers
  ID;                  with ID200; (or as the identification options say)
  ST<address>;         with ST<address><value>; from the register map
  ST<address><value>;  stores the 5-character value and answers with it
  DI;                  noted in the log
and ignores anything else. Registers 0012..0032 (step 2) start at their factory values.
Stops cleanly on SIGINT or SIGTERM, closing the line as a pulled cable would.

The line can vanish while the simulator runs (it closes its end, so the utility sees the
cable pulled) and come back as a new device: its path is printed on a new line of standard
output, and the --link is pointed at it, so the utility finds it under the same name.
SIGUSR1 makes the line vanish, SIGUSR2 brings it back.

Options:
  --link PATH            place a symbolic link to the device at PATH (removed on exit)
  --log FILE             log received bytes and answers to FILE instead of stderr
  --registers FILE       keep the register map in FILE across runs
  --identify-after N     leave the first N-1 identification polls unanswered
  --never-identify       never answer an identification poll
  --id-status SSS        answer identification polls with status SSS (default 200)
  --delay MS             wait MS milliseconds before each reply
  --split N              send each reply in writes of N bytes
  --split-gap MS         wait MS milliseconds between those writes (default 5)
  --crlf                 send CR LF before each reply
  --garbage N            send N random bytes and a ";" before each reply
  --drop-every N         do not send every Nth reply
  --vanish-after N       make the line vanish once it has taken N packets (once per run)
  --return-after MS      bring a vanished line back after MS milliseconds (default: on SIGUSR2)
  --silent-registers A,B never answer reads or writes of these registers
  --reply A=TEXT         answer reads of register A with TEXT instead of its value
  --unstored-registers A,B
                         answer writes of these registers as if stored, but keep the old value
  --seed N               seed of the random bytes (default 1)
  -h, --help             show this text and exit
)";
}

}  // namespace tolvane
