// What the transfer sequencer needs of the main window: the port, the eleven fields, the progress
// panel, the transfer buttons, the settings file and the error box. The window implements it;
// tests use a recording fake.
#pragma once

#include <string>

#include "app/field_texts.h"

namespace tolvane {

class TSequencerWindow : public TFieldTexts {
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

  // Disables Send, Clear, Read and Write, as a manual disconnect does.
  virtual void DisableTransferButtons() = 0;
  // A modal error box with the error icon and a single "OK" button.
  virtual void ShowError(const std::string& Text, const std::string& Title) = 0;
  // Writes the settings file from the current values; may raise.
  virtual void StoreSet() = 0;
};

}  // namespace tolvane
