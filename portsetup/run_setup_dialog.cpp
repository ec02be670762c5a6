#include "portsetup/run_setup_dialog.h"

#include <memory>

#include "portsetup/com_setup_form.h"
#include "serialport/port/com_port.h"

namespace tolvane {
namespace {

void ApplyChoices(TCustomComPort& ComPort, const TComSetupFrm& Form) {
  ComPort.BeginConfig();
  try {
    for (TComComboBox* Combo : Form.Combos()) Combo->ApplyValue();
  } catch (...) {
    ComPort.EndConfig();
    throw;
  }
  ComPort.EndConfig();
}

}  // namespace

void RunSetupDialog(TCustomComPort& ComPort, const TSetupDialogExec& Exec) {
  const auto Form = std::make_unique<TComSetupFrm>();
  for (TComComboBox* Combo : Form->Combos()) Combo->SetComPort(&ComPort);
  for (TComComboBox* Combo : Form->Combos()) Combo->ShowCurrentValue();

  const int Result = Exec ? Exec(*Form) : Form->exec();
  if (Result == QDialog::Accepted) ApplyChoices(ComPort, *Form);
}

void InstallPortSetupDialog() {
  TCustomComPort::SetPortSetupRunner([](TCustomComPort& Port) { RunSetupDialog(Port); });
}

}  // namespace tolvane
