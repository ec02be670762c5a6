// The modal run of the setup dialog for one port, and its installation as the port's setup
// runner (TCustomComPort::ShowPortSetup).
#pragma once

#include <functional>

namespace tolvane {

class TCustomComPort;
class TComSetupFrm;

// Shows the form modally and returns its result; the default runs QDialog::exec.
using TSetupDialogExec = std::function<int(TComSetupFrm& Form)>;

// Shows the dialog with ComPort's current settings. On "OK" the six chosen values are assigned
// between BeginConfig and EndConfig (EndConfig runs also when an assignment raises); any other
// result assigns nothing. The form is freed in every case; errors reach the caller (EComPort 23
// when the port list cannot be read, a setter's error on "OK").
void RunSetupDialog(TCustomComPort& ComPort, const TSetupDialogExec& Exec = {});

// Makes ShowPortSetup run this dialog. The program calls it once at start.
void InstallPortSetupDialog();

}  // namespace tolvane
