#include <QApplication>

#include "app/application_title.h"
#include "app/error_report.h"
#include "app/form_main.h"
#include "app/qt_dispatcher.h"
#include "app/settings_path.h"
#include "portsetup/run_setup_dialog.h"
#include "serialport/com_dispatcher.h"
#include "serialport/gettext_translator.h"

int main(int argc, char* argv[]) {
  QApplication Application(argc, argv);
  // Translations first: the port's error texts are translated once, before any is raised.
  tolvane::InstallTranslations(tolvane::RunningProgramPlaces().ExecutableDirectory.string());
  tolvane::SetApplicationTitle();
  tolvane::InstallErrorReport();
  tolvane::InstallPortSetupDialog();
  tolvane::BindDispatcherToQt(tolvane::TComDispatcher::Default());
  tolvane::TForm1 Form1;
  Form1.show();
  return QApplication::exec();
}
