// What the transfer sequencer needs of the program it runs in: the port, the eleven fields, the
// progress panel, the transfer buttons, the settings file and the error box. The main window
// implements it, the command line has its own, and tests use a recording fake.
#pragma once

#include <string>
#include <vector>

#include "logic/protocol/field_texts.h"
#include "logic/transfer/plausibility_guard.h"

namespace tolvane {

class TTransferHost : public TFieldTexts {
 public:
  // The port's Connected state.
  virtual bool PortConnected() = 0;
  // The port's WriteString: blocks until written, raises the port's error on failure.
  virtual void WritePacket(const std::string& Packet) = 0;
  // The port's ClosePort; its after-close reaction restores the Connect controls.
  virtual void ClosePort() = 0;

  // The progress panel PaneProgress, the bar ProgressBar1 and the label LabelProgress.
  virtual void ShowProgress(bool Visible) = 0;
  virtual int ProgressPosition() = 0;
  virtual void SetProgressPosition(int Position) = 0;
  virtual void SetProgressLabel(const std::string& Caption) = 0;
  virtual void RepaintProgress() = 0;
  // A line over the bar while the transfer cannot start yet; empty shows the bar alone.
  virtual void SetProgressNote(const std::string& Note) = 0;

  // Disables Send, Clear, Read and Write, as a manual disconnect does.
  virtual void DisableTransferButtons() = 0;
  // While a transfer runs Read and Write are disabled and the fields cannot be edited;
  // afterwards both come back as far as the port is still open.
  virtual void SetTransferRunning(bool Running) = 0;
  // A visible mark on a field with the reason as its tool tip; marks stay until cleared.
  virtual void MarkField(std::size_t Row, const std::string& Reason) = 0;
  virtual void ClearFieldMarks() = 0;
  virtual void FocusField(std::size_t Row) = 0;
  // How the last transfer ended, shown until the next one ends.
  virtual void ShowTransferResult(const std::string& Result) = 0;
  // The wall-clock time for result lines, "14:02".
  virtual std::string ClockTime() = 0;

  // A modal error box with the error icon and a single "OK" button.
  virtual void ShowError(const std::string& Text, const std::string& Title) = 0;
  // The question before a Write with an implausible change (ImplausibleChangesText), with
  // "Write" and "Cancel": true when the operator chose Write. Cancel, Escape and closing the box
  // send nothing.
  virtual bool AskToWrite(const std::vector<TValueChange>& Changes) = 0;
  // Writes the settings file from the current values; may raise.
  virtual void StoreSet() = 0;
};

}  // namespace tolvane
