#include <QApplication>

#include "app/application_title.h"
#include "app/error_report.h"
#include "app/form_main.h"
#include "app/qt_dispatcher.h"
#include "serialport/com_dispatcher.h"

int main(int argc, char* argv[]) {
  QApplication Application(argc, argv);
  tolvane::SetApplicationTitle();
  tolvane::InstallErrorReport();
  tolvane::BindDispatcherToQt(tolvane::TComDispatcher::Default());
  tolvane::TForm1 Form1;
  Form1.show();
  return QApplication::exec();
}
