// controller_simulator: plays the amplifier controller on a pseudo-terminal, so the utility can
// be run and tested without the amplifier. See --help.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tools/controller_model.h"
#include "tools/pty_simulator.h"
#include "tools/register_file.h"
#include "tools/reply_shaper.h"
#include "tools/simulator_log.h"
#include "tools/simulator_options.h"

namespace tolvane {
namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// Places a symbolic link to Target at Path. A stale symbolic link (left by a run that was
// killed) is replaced; anything else at Path is left alone and reported.
bool PlaceLink(const std::string& Path, const std::string& Target, std::string& Error) {
  if (::symlink(Target.c_str(), Path.c_str()) == 0) return true;
  char Old[4096];
  if (errno == EEXIST && ::readlink(Path.c_str(), Old, sizeof Old) >= 0 &&
      ::unlink(Path.c_str()) == 0 && ::symlink(Target.c_str(), Path.c_str()) == 0) {
    return true;
  }
  Error = "cannot place the link " + Path + ": " + std::strerror(errno);
  return false;
}

// Removes the link only while it still points to this run's device.
void RemoveLink(const std::string& Path, const std::string& Target) {
  char Current[4096];
  const ssize_t Length = ::readlink(Path.c_str(), Current, sizeof Current);
  if (Length >= 0 && std::string(Current, static_cast<std::size_t>(Length)) == Target) {
    ::unlink(Path.c_str());
  }
}

int RunSimulator(const TSimulatorOptions& Options) {
  TSimulatorLog Log;
  if (!Options.LogPath.empty() && !Log.OpenFile(Options.LogPath)) {
    std::cerr << "controller_simulator: cannot open the log " << Options.LogPath << ": "
              << std::strerror(errno) << "\n";
    return ExitFailure;
  }
  std::string Error;
  TRegisterMap Registers = DefaultRegisters();
  if (!Options.RegisterFile.empty() && !LoadRegisterFile(Options.RegisterFile, Registers, Error)) {
    Log.Write(Error);
    return ExitFailure;
  }
  TControllerModel Model(Options.Identify, Registers, Options.Registers);
  TReplyShaper Shaper(Options.Faults, Options.Seed);
  // The device the link points to; a line that comes back gets a new one.
  std::string Linked;
  const auto SaveRegisters = [&](const TRegisterMap& Changed) {
    std::string SaveError;
    if (!Options.RegisterFile.empty() &&
        !SaveRegisterFile(Options.RegisterFile, Changed, SaveError)) {
      Log.Write(SaveError);
    }
  };
  const auto Announce = [&](const std::string& SlavePath, std::string& LinkError) {
    if (!Options.LinkPath.empty()) {
      if (!PlaceLink(Options.LinkPath, SlavePath, LinkError)) return false;
      Linked = SlavePath;
    }
    std::cout << SlavePath << std::endl;
    Log.Write("serving " + SlavePath +
              (Options.LinkPath.empty() ? std::string() : " (link " + Options.LinkPath + ")"));
    return true;
  };
  TPtySimulator Line(Model, Shaper, Log, SaveRegisters, Options.Vanish, Announce);
  if (!Line.Open(Error)) {
    Log.Write(Error);
    return ExitFailure;
  }

  const int Signal = Line.Run(Error);
  if (!Options.LinkPath.empty() && !Linked.empty()) RemoveLink(Options.LinkPath, Linked);
  if (Signal == 0) {
    Log.Write(Error);
    return ExitFailure;
  }
  Log.Write(std::string("stopped by ") + ::strsignal(Signal));
  return 0;
}

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
  const std::vector<std::string> Args(argv + 1, argv + argc);
  const tolvane::TParsedOptions Parsed = tolvane::ParseSimulatorOptions(Args);
  if (!Parsed.Error.empty()) {
    std::cerr << "controller_simulator: " << Parsed.Error << "\n"
              << "Try controller_simulator --help\n";
    return tolvane::ExitUsage;
  }
  if (Parsed.Options.Help) {
    std::cout << tolvane::SimulatorUsage("controller_simulator");
    return 0;
  }
  return tolvane::RunSimulator(Parsed.Options);
}
