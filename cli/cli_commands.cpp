#include "cli/cli_commands.h"

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_json.h"
#include "cli/cli_line.h"
#include "logic/files/history_backups.h"
#include "logic/files/settings_path.h"
#include "logic/files/values_file.h"
#include "logic/transfer/line_lost_message.h"
#include "logic/transfer/plausibility_guard.h"
#include "logic/transfer/transfer_report.h"
#include "serialport/base/system_error_cause.h"
#include "serialport/base/value_names.h"
#include "serialport/device/device_factory.h"
#include "serialport/device/port_list.h"
#include "serialport/store/text_file.h"

namespace tolvane {
namespace {

constexpr const char* Program = "tolvane-cli: ";
// The window's name: the command line reads the window's Settings.ini.
constexpr const char* WindowProgramName = "tolvane";

std::string KeyAndLabel(std::size_t Row) {
  return std::string(RegisterTable[Row].FileKey) + " (" + std::string(RegisterTable[Row].Label) +
         ")";
}

// The port and its line settings: from the window's Settings.ini unless --port names the port;
// --baud overrides the rate either way.
void ChooseLine(TComPort& Port, const TCliOptions& Options) {
  if (Options.Port) {
    Port.SetPort(*Options.Port);
  } else {
    TSettingsPlaces Places = RunningProgramPlaces();
    Places.ProgramName = WindowProgramName;
    const TSettingsLocation Location = SettingsFileLocation(Places);
    std::error_code Error;
    const std::string Path =
        std::filesystem::exists(Location.WritePath, Error) ? Location.WritePath : Location.ReadPath;
    if (std::filesystem::exists(Path, Error)) Port.RestoreSettings(TSettingsStore::ssIniFile, Path);
  }
  if (!Options.Baud) return;
  Port.SetBaudRate(NameToBaudRate(std::to_string(*Options.Baud)));
  if (BaudRateToName(Port.BaudRate()) != std::to_string(*Options.Baud)) {
    Port.SetBaudRate(TBaudRate::brCustom);
    Port.SetCustomBaudRate(*Options.Baud);
  }
}

const TRegisterTransfer* LastFinished(const TCliLine& Line, TRegisterTransferKind Kind) {
  const std::vector<TRegisterTransfer>& Finished = Line.Finished();
  if (Finished.empty() || Finished.back().Kind() != Kind) return nullptr;
  return &Finished.back();
}

void ReportBoxes(const TCliLine& Line, std::ostream& Err, const std::string& Prefix = Program) {
  for (const std::string& Box : Line.Boxes()) Err << Prefix << Box << "\n";
}

// Opens the port and waits for the identification; false (with the reason on Err) when the
// port cannot be opened or the controller does not identify.
bool Connect(TCliLine& Line, const TCliOptions& Options, std::ostream& Err) {
  const std::string Device = DeviceAddressFor(Line.Port().Port());
  try {
    Line.Open();
  } catch (const EComPort& Error) {
    Err << Program << "cannot open the port "
        << (!Error.Detail().empty() ? Error.Detail() : Device + ": " + Error.Message()) << "\n";
    return false;
  }
  if (const std::string Note = Line.Port().Device().TakeNote(); !Note.empty())
    Err << Program << Note << "\n";
  const int Polls = Options.IdentificationPolls.value_or(IdentificationPolls);
  if (Line.Identify(Polls)) return true;
  if (Line.Quit()) {
    Err << Program << "stopped by a signal before anything was sent\n";
    return false;
  }
  if (Line.LineLost()) {
    Err << Program << LineLostMessage(Device, *Line.LineLost()) << "\n";
  } else {
    Err << Program << "the controller on " << Device << " did not identify: no answer to " << Polls
        << " identification polls\n";
  }
  return false;
}

// After a transfer: one cut short by a quit signal says how far it came and what it left.
bool NotQuit(const TCliLine& Line, std::ostream& Err) {
  if (!Line.Quit()) return true;
  Err << Program << "stopped by a signal"
      << (Line.LastResult().empty() ? std::string() : ": " + Line.LastResult()) << "\n";
  ReportBoxes(Line, Err);
  return false;
}

// After a transfer: a lost line is reported with what it cut short.
bool LineStillThere(TCliLine& Line, std::ostream& Err) {
  if (!Line.LineLost()) return true;
  Err << Program << LineLostMessage(DeviceAddressFor(Line.Port().Port()), *Line.LineLost()) << "\n";
  ReportBoxes(Line, Err);
  return false;
}

// Why FILE cannot be written, in the system's words or this program's rule; empty when it can.
std::string WhyNotWritable(const std::string& Path) {
  try {
    CheckReplaceable(Path);
  } catch (const EFileRefused& Refused) {
    return Refused.Reason();
  } catch (const std::system_error& Error) {
    return SystemErrorReason(Error.code().value());
  }
  return {};
}

// Each register that gave no value, with what it sent instead.
void ReportSilentRows(const TRegisterTransfer& Done, std::ostream& Err) {
  for (std::size_t Row : Done.SilentRows()) {
    if (Done.Outcomes()[Row].NotAValue) {
      Err << Program << KeyAndLabel(Row) << ": " << NoValueText(Done, Row, "") << "\n";
    } else {
      Err << Program << "no reply from the controller for " << KeyAndLabel(Row) << "\n";
    }
  }
}

int Read(TCliLine& Line, const TCliOptions& Options, std::ostream& Out, std::ostream& Err) {
  if (const std::string Why = WhyNotWritable(Options.File); !Why.empty()) {
    Err << Program << "cannot write " << Options.File << ": " << Why << "\n";
    return ExitUsage;
  }
  if (!Connect(Line, Options, Err)) return Line.Quit() ? ExitRegisters : ExitLine;
  Line.Sequencer().ButtonReadClick();
  Line.RunTransfer();
  if (!NotQuit(Line, Err)) return ExitRegisters;
  if (!LineStillThere(Line, Err)) return ExitLine;
  const TRegisterTransfer* Done = LastFinished(Line, TRegisterTransferKind::Read);
  if (Done == nullptr) {
    ReportBoxes(Line, Err);
    return ExitRegisters;
  }
  const std::optional<TRegisterTexts> Values = Done->Replies();
  if (!Values) {
    ReportSilentRows(*Done, Err);
    Err << Program << Options.File << " was not written\n";
    return ExitRegisters;
  }
  try {
    WriteValuesFile(Options.File, *Values);
  } catch (const Exception& Error) {
    Err << Program << (Error.Detail().empty() ? Error.Message() : Error.Detail()) << "\n";
    return ExitUsage;
  }
  ReportBoxes(Line, Err, std::string(Program) + "warning: ");  // a backup that failed
  if (Options.Json) Out << ReadJson(Line.Port().Port(), Options.File, *Values);
  return ExitDone;
}

void ReportChanges(const std::vector<TValueChange>& Changes, std::ostream& Err,
                   const std::string& Prefix) {
  for (const std::string& Line : ImplausibleChangesLines(Changes)) Err << Prefix << Line << "\n";
}

// The present values are read as a Compare reads them, which neither writes nor backs up; the
// report is every change, implausible ones first, and the exit status is the guard's.
int DryRun(TCliLine& Line, const TCliOptions& Options, const TRegisterTexts& Values,
           std::ostream& Out, std::ostream& Err) {
  Line.SetFields(Values);
  Line.Sequencer().ButtonCompareClick();
  Line.RunTransfer();
  if (!NotQuit(Line, Err)) return ExitRegisters;
  if (!LineStillThere(Line, Err)) return ExitLine;
  const TRegisterTransfer* Done = LastFinished(Line, TRegisterTransferKind::Compare);
  const std::optional<TRegisterTexts> Present = Done ? Done->Replies() : std::nullopt;
  if (!Present) {
    if (Done) ReportSilentRows(*Done, Err);
    Err << Program << "the controller's present values could not be read; nothing was written\n";
    return ExitRegisters;
  }
  const std::vector<TValueChange> Changes = ChangesBetween(*Present, Values);
  for (const TValueChange& Change : Changes) Out << ChangeLine(Change) << "\n";
  if (!AnyImplausible(Changes) || Options.Force) return ExitDone;
  Err << Program << "write would refuse an implausible change; --force writes it anyway\n";
  return ExitUsage;
}

int Write(TCliLine& Line, const TCliOptions& Options, const TRegisterTexts& Values,
          std::ostream& Out, std::ostream& Err) {
  if (!Connect(Line, Options, Err)) return Line.Quit() ? ExitRegisters : ExitLine;
  if (Options.DryRun) return DryRun(Line, Options, Values, Out, Err);
  Line.SetFields(Values);
  Line.SetForce(Options.Force);
  Line.Sequencer().ButtonWriteClick();
  Line.RunTransfer();
  if (!NotQuit(Line, Err)) return ExitRegisters;
  if (!Line.Questioned().empty() && !Options.Force) {
    ReportChanges(Line.Questioned(), Err, Program);
    Err << Program << "nothing was written; --force writes these values anyway\n";
    return ExitUsage;
  }
  if (!Line.Questioned().empty())
    ReportChanges(Line.Questioned(), Err, std::string(Program) + "warning: ");
  for (const std::string& File : Line.BackupFiles()) {
    Err << Program << "the controller's values before the write are kept in " << File << "\n";
  }
  if (!LineStillThere(Line, Err)) return ExitLine;
  const TRegisterTransfer* Done = LastFinished(Line, TRegisterTransferKind::Write);
  if (Done == nullptr) {  // the backup's read stayed incomplete, or the backup failed
    ReportBoxes(Line, Err);
    return ExitRegisters;
  }
  const std::vector<std::size_t> Unconfirmed = Done->UnconfirmedRows();
  for (std::size_t Row : Unconfirmed) {
    const std::optional<std::string>& Reply = Done->Outcomes()[Row].Reply;
    Err << Program << KeyAndLabel(Row) << ": sent " << Done->ValueSent(Row) << ", "
        << (Reply ? "the controller holds " + *Reply
                  : NoValueText(*Done, Row, "no reply when read back"))
        << "\n";
  }
  return Unconfirmed.empty() ? ExitDone : ExitRegisters;
}

int Compare(TCliLine& Line, const TCliOptions& Options, const TRegisterTexts& Values,
            std::ostream& Out, std::ostream& Err) {
  if (!Connect(Line, Options, Err)) return Line.Quit() ? ExitRegisters : ExitLine;
  Line.SetFields(Values);
  Line.Sequencer().ButtonCompareClick();
  Line.RunTransfer();
  if (!NotQuit(Line, Err)) return ExitRegisters;
  if (!LineStillThere(Line, Err)) return ExitLine;
  const TRegisterTransfer* Done = LastFinished(Line, TRegisterTransferKind::Compare);
  if (Done == nullptr) {
    ReportBoxes(Line, Err);
    return ExitRegisters;
  }
  const std::vector<std::size_t> Differing = Done->UnconfirmedRows();
  std::vector<TJsonDifference> Differences;
  for (std::size_t Row : Differing) {
    const std::optional<std::string>& Reply = Done->Outcomes()[Row].Reply;
    Differences.push_back({Row, Reply, Done->ValueSent(Row)});
    if (Options.Json) continue;
    if (!Reply) {
      Out << RegisterTable[Row].FileKey << ": " << NoValueText(*Done, Row, "did not answer")
          << "\n";
      continue;
    }
    Out << RegisterTable[Row].FileKey << ": controller " << *Reply << ", file "
        << Done->ValueSent(Row) << "\n";
  }
  if (Options.Json) Out << CompareJson(Line.Port().Port(), Options.File, Differences);
  return Differing.empty() ? ExitDone : ExitRegisters;
}

// The system's port names, each with the stable names (those with a folder, serial/by-id/...)
// that open the same device; a stable name that matches none stands on its own.
std::vector<TJsonPort> PortsWithStableNames(const std::vector<std::string>& Names) {
  std::vector<TJsonPort> Ports;
  std::vector<std::string> Stable;
  for (const std::string& Name : Names) {
    if (Name.find('/') == std::string::npos) {
      Ports.push_back({Name, {}});
    } else {
      Stable.push_back(Name);
    }
  }
  for (const std::string& Name : Stable) {
    bool Matched = false;
    for (TJsonPort& Port : Ports) {
      if (!NameTheSameDevice(Port.Name, Name)) continue;
      Port.StableNames.push_back(Name);
      Matched = true;
    }
    if (!Matched) Ports.push_back({Name, {}});
  }
  return Ports;
}

int Ports(const TCliOptions& Options, std::ostream& Out, std::ostream& Err) {
  std::vector<std::string> Names;
  try {
    ListComPorts(Names);
  } catch (const EComPort& Error) {
    Err << Program << (Error.Detail().empty() ? Error.Message() : Error.Detail()) << "\n";
    return ExitLine;
  }
  if (Options.Json) {
    Out << PortsJson(PortsWithStableNames(Names));
    return ExitDone;
  }
  for (const std::string& Name : Names) Out << Name << "\n";
  return ExitDone;
}

}  // namespace

int RunCliCommand(const TCliOptions& Options, std::ostream& Out, std::ostream& Err, bool Progress) {
  if (Options.Command == TCliCommand::Ports) return Ports(Options, Out, Err);

  // A file to write from or compare with is checked before the port is even opened.
  std::optional<TRegisterTexts> Values;
  if (Options.Command != TCliCommand::Read) {
    const TValuesFileContent Content = ReadValuesFile(Options.File);
    if (!Content.Values) {
      Err << Program << Content.Problem << "\n";
      return ExitUsage;
    }
    Values = Content.Values;
  }

  THistoryBackups History(UserHistoryDirectory());
  TCliLine Line(History, Progress);
  try {
    ChooseLine(Line.Port(), Options);
    switch (Options.Command) {
      case TCliCommand::Read:
        return Read(Line, Options, Out, Err);
      case TCliCommand::Write:
        return Write(Line, Options, *Values, Out, Err);
      case TCliCommand::Compare:
        return Compare(Line, Options, *Values, Out, Err);
      case TCliCommand::Ports:
        break;
    }
  } catch (const Exception& Error) {
    Err << Program << Error.Message();
    if (!Error.Detail().empty()) Err << "\n" << Error.Detail();
    Err << "\n";
  }
  return ExitLine;
}

}  // namespace tolvane
