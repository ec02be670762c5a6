// The utility's main window against the controller simulator, both for real: the window's own
// port, event thread and 100 ms timer, events delivered through the Qt loop, the settings file
// in a fresh directory, and the simulator as a child process with its log and register file in
// that directory. The window goes before the simulator, the simulator is killed and reaped, and
// the directory is removed with everything in it.
#pragma once

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QString>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/form_main.h"
#include "tests/app/recorded_messages.h"
#include "tests/support/temp_directory.h"
#include "tests/tools/simulator_process.h"

namespace tolvane {

using namespace std::chrono_literals;

// Only ends a wait that would otherwise hang; never decides a result on a busy machine.
inline constexpr std::chrono::milliseconds WaitBound = 20s;

// Runs the Qt loop until Condition holds; false when the bound passes first.
bool ProcessEventsUntil(const std::function<bool()>& Condition,
                        std::chrono::milliseconds Bound = WaitBound);
// Runs the Qt loop for the given time, for checks that nothing more happens.
void ProcessEventsFor(std::chrono::milliseconds Duration);

int CountOf(const std::string& Text, const std::string& Sought);

// Register address to value, as the simulator's register file holds them.
using TRegisterValues = std::map<std::string, std::string>;

class UtilitySession : public testing::Test {
 protected:
  UtilitySession();
  ~UtilitySession() override;

  // Starts the simulator with its log and register file here, plus Options; the file is
  // written from Registers first unless that is empty.
  void StartSimulator(const std::vector<std::string>& Options = {},
                      const TRegisterValues& Registers = {});
  // A settings file that names only the simulator's line (or Port), so the fields start at their
  // defaults.
  void PointSettingsAtSimulator() { PointSettingsAt(Simulator->SlavePath()); }
  void PointSettingsAt(const std::string& Port);
  void OpenWindow();
  void CloseWindow() { Form.reset(); }

  // Presses Connect (or Disconnect); a network port's opening is waited for.
  void ClickConnect();
  // Connects and waits until the simulator has answered a poll and the window has taken it.
  void ConnectAndIdentify();
  bool SequenceRunning() const;
  // Presses Read ("Button6") or Write ("Button7") and waits until its sequence has ended;
  // replies to the last requests may still be on their way.
  void RunSequence(const char* Button);
  void Read() { RunSequence("Button6"); }
  void Write() { RunSequence("Button7"); }
  // Runs the loop until the eleven fields hold Texts; replies never overtake one another, so
  // once a later field has its value an earlier one whose reply was lost keeps its text.
  bool FieldsBecome(const std::vector<std::string>& Texts);

  QLineEdit* Field(std::size_t Row) const;
  std::vector<std::string> FieldTexts() const;
  void SetFieldTexts(const std::vector<std::string>& Texts);

  std::string SimulatorLog() const;
  int LogCount(const std::string& Sought) const { return CountOf(SimulatorLog(), Sought); }
  std::string RegisterFileText() const;
  std::string SettingsFileText() const;

  template <class Control>
  Control* Find(const char* Name) const {
    Control* Found = Form->findChild<Control*>(Name);
    EXPECT_NE(Found, nullptr) << Name;
    return Found;
  }

  TTempDirectory Directory;
  const std::string SettingsPath = (Directory.Path() / "Settings.ini").string();
  const std::string LogPath = (Directory.Path() / "simulator.log").string();
  const std::string RegistersPath = (Directory.Path() / "registers.txt").string();
  std::unique_ptr<testing_support::TSimulatorProcess> Simulator;
  TRecordedMessages Messages;
  std::unique_ptr<TForm1> Form;
};

// A log line of the simulator for each packet it took, by the packet's text without ";".
std::string PacketSeen(const std::string& Packet);

// Values that differ from every register's default.
const TRegisterValues& StoredRegisters();
std::vector<std::string> TextsOf(const TRegisterValues& Registers);

}  // namespace tolvane
