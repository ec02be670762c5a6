#include "tests/e2e/utility_session.h"

#include <QEventLoop>
#include <QTimer>
#include <QToolButton>
#include <fstream>

#include "logic/protocol/register_table.h"

namespace tolvane {
namespace {

using TClock = std::chrono::steady_clock;

// How long one turn of the loop may wait for events before the condition is looked at again.
constexpr std::chrono::milliseconds LoopTurn = 10ms;

void WriteTextFile(const std::string& Path, const std::string& Text) {
  std::ofstream File(Path, std::ios::binary | std::ios::trunc);
  File << Text;
  ASSERT_TRUE(File.good()) << Path;
}

void RunLoopOnce() {
  QEventLoop Loop;
  QTimer::singleShot(LoopTurn, &Loop, &QEventLoop::quit);
  Loop.exec();
}

}  // namespace

bool ProcessEventsUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Bound) {
  const TClock::time_point Deadline = TClock::now() + Bound;
  while (!Condition()) {
    if (TClock::now() >= Deadline) return false;
    RunLoopOnce();
  }
  return true;
}

void ProcessEventsFor(std::chrono::milliseconds Duration) {
  const TClock::time_point End = TClock::now() + Duration;
  while (TClock::now() < End) RunLoopOnce();
}

int CountOf(const std::string& Text, const std::string& Sought) {
  int Count = 0;
  for (auto At = Text.find(Sought); At != std::string::npos; At = Text.find(Sought, At + 1)) {
    ++Count;
  }
  return Count;
}

std::string PacketSeen(const std::string& Packet) {
  return "packet \"" + Packet + "\":";
}

const TRegisterValues& StoredRegisters() {
  static const TRegisterValues Values = {
      {"0012", "02750"}, {"0014", "00800"}, {"0016", "00525"}, {"0018", "00175"},
      {"0020", "00015"}, {"0022", "00035"}, {"0024", "00004"}, {"0026", "00030"},
      {"0028", "00003"}, {"0030", "00025"}, {"0032", "00070"},
  };
  return Values;
}

std::vector<std::string> TextsOf(const TRegisterValues& Registers) {
  std::vector<std::string> Texts;
  for (const TRegisterRow& Row : RegisterTable)
    Texts.push_back(Registers.at(std::string(Row.Address)));
  return Texts;
}

UtilitySession::UtilitySession() = default;

UtilitySession::~UtilitySession() {
  // The window closes its port while the far end is still there.
  Form.reset();
  Simulator.reset();
}

void UtilitySession::StartSimulator(const std::vector<std::string>& Options,
                                    const TRegisterValues& Registers) {
  if (!Registers.empty()) {
    std::string Text;
    for (const auto& [Address, Value] : Registers) Text += Address + "=" + Value + "\n";
    WriteTextFile(RegistersPath, Text);
  }
  std::vector<std::string> Args = {"--log", LogPath, "--registers", RegistersPath};
  Args.insert(Args.end(), Options.begin(), Options.end());
  Simulator = std::make_unique<testing_support::TSimulatorProcess>(Args);
  ASSERT_FALSE(Simulator->SlavePath().empty()) << "the simulator printed no line";
}

void UtilitySession::PointSettingsAt(const std::string& Port) {
  WriteTextFile(SettingsPath, "[ComPort]\nPort=" + Port + "\n");
}

void UtilitySession::OpenWindow() {
  Form = std::make_unique<TForm1>(QString::fromStdString(SettingsPath));
  Form->show();
}

void UtilitySession::ClickConnect() {
  Find<QToolButton>("Button_Open")->click();
  // A network port opens in the background; the operator waits for it to be done.
  if (Form->Opening()) {
    EXPECT_TRUE(ProcessEventsUntil([this] { return !Form->Opening(); }));
  }
}

void UtilitySession::ConnectAndIdentify() {
  ClickConnect();
  ASSERT_TRUE(Form->ComPort().Connected());
  ASSERT_TRUE(ProcessEventsUntil([this] { return !Form->Sequencer().WaitID(); })) << SimulatorLog();
}

bool UtilitySession::SequenceRunning() const {
  return Form->Sequencer().Running();
}

void UtilitySession::RunSequence(const char* Button) {
  Find<QToolButton>(Button)->click();
  ASSERT_TRUE(SequenceRunning());
  ASSERT_TRUE(ProcessEventsUntil([this] { return !SequenceRunning(); }));
}

bool UtilitySession::FieldsBecome(const std::vector<std::string>& Texts) {
  return ProcessEventsUntil([&] { return FieldTexts() == Texts; });
}

QLineEdit* UtilitySession::Field(std::size_t Row) const {
  return Find<QLineEdit>(std::string(RegisterTable.at(Row).FieldName).c_str());
}

std::vector<std::string> UtilitySession::FieldTexts() const {
  std::vector<std::string> Texts;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    Texts.push_back(Field(Row)->text().toStdString());
  }
  return Texts;
}

void UtilitySession::SetFieldTexts(const std::vector<std::string>& Texts) {
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    Field(Row)->setText(QString::fromStdString(Texts.at(Row)));
  }
}

std::string UtilitySession::SimulatorLog() const {
  return testing_support::ReadTextFile(LogPath);
}

std::string UtilitySession::RegisterFileText() const {
  return testing_support::ReadTextFile(RegistersPath);
}

std::string UtilitySession::SettingsFileText() const {
  return testing_support::ReadTextFile(SettingsPath);
}

}  // namespace tolvane
