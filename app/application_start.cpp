#include "app/application_start.h"

#include "app/error_report.h"
#include "app/qt_dispatcher.h"
#include "logic/files/settings_path.h"
#include "portsetup/run_setup_dialog.h"
#include "serialport/base/gettext_translator.h"
#include "serialport/dispatch/com_dispatcher.h"

namespace tolvane {

void PrepareApplication() {
  InstallTranslations(RunningProgramPlaces().ExecutableDirectory.string());
  InstallErrorReport();
  InstallPortSetupDialog();
  BindDispatcherToQt(TComDispatcher::Default());
}

}  // namespace tolvane
