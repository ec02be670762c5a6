// A main window stand-in for the transfer sequencer: holds the port state, the fields, the
// progress display, the marks and the result line, and records the calls that matter in order.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "logic/protocol/register_table.h"
#include "logic/transfer/transfer_host.h"

namespace tolvane {

class TFakeTransferHost : public TTransferHost {
 public:
  TFakeTransferHost() {
    for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
      Fields[Row] = std::string(RegisterTable[Row].Default);
    }
  }

  std::string FieldText(std::size_t Row) const override { return Fields.at(Row); }
  void SetFieldText(std::size_t Row, const std::string& Text) override { Fields.at(Row) = Text; }

  bool PortConnected() override { return Connected; }
  void WritePacket(const std::string& Packet) override {
    if (FailNextWrite) {
      FailNextWrite = false;
      throw std::runtime_error("Error writing to port");
    }
    Sent.push_back(Packet);
    Calls.push_back("write " + Packet);
  }
  void ClosePort() override {
    Connected = false;
    Calls.push_back("close");
  }
  void ShowProgress(bool Visible) override {
    ProgressVisible = Visible;
    Calls.push_back(Visible ? "show progress" : "hide progress");
  }
  int ProgressPosition() override { return Position; }
  void SetProgressPosition(int Value) override {
    Position = Value;
    Calls.push_back("position " + std::to_string(Value));
  }
  void SetProgressLabel(const std::string& Caption) override { Label = Caption; }
  void RepaintProgress() override { Calls.push_back("repaint"); }
  void SetProgressNote(const std::string& Text) override { Note = Text; }
  void DisableTransferButtons() override { Calls.push_back("disable buttons"); }
  void SetTransferRunning(bool Running) override {
    Calls.push_back(Running ? "transfer running" : "transfer ended");
    TransferRunning = Running;
  }
  void MarkField(std::size_t Row, const std::string& Reason) override { Marks[Row] = Reason; }
  void ClearFieldMarks() override { Marks = {}; }
  void FocusField(std::size_t Row) override { Focused = Row; }
  void ShowTransferResult(const std::string& Text) override { Result = Text; }
  std::string ClockTime() override { return "14:02"; }
  void ShowError(const std::string& Text, const std::string& Title) override {
    Calls.push_back("error " + Text + " / " + Title);
    Boxes.push_back(Text);
  }
  bool AskToWrite(const std::vector<TValueChange>& Changes) override {
    Calls.push_back("ask to write");
    Questions.push_back(ImplausibleChangesText(Changes));
    return WriteAnswer;
  }
  void StoreSet() override {
    Calls.push_back("store");
    if (FailStore) throw std::runtime_error("Unable to write to Settings.ini");
  }

  // The packets written since the last call.
  std::vector<std::string> TakeSent() { return std::exchange(Sent, {}); }

  bool Connected = true;
  bool FailNextWrite = false;
  bool FailStore = false;
  std::array<std::string, RegisterCount> Fields;
  bool ProgressVisible = false;
  int Position = 0;
  std::string Label = "0";
  std::string Note;
  bool TransferRunning = false;
  std::array<std::string, RegisterCount> Marks;  // empty: not marked
  std::optional<std::size_t> Focused;
  std::string Result;
  std::vector<std::string> Boxes;
  std::vector<std::string> Questions;
  bool WriteAnswer = false;  // the answer to the question before an implausible Write
  std::vector<std::string> Sent;
  std::vector<std::string> Calls;
};

}  // namespace tolvane
