#include <QApplication>

#include "app/application_start.h"
#include "app/form_main.h"

int main(int argc, char* argv[]) {
  QApplication Application(argc, argv);
  tolvane::PrepareApplication();
  tolvane::TForm1 Form1;
  Form1.show();
  return QApplication::exec();
}
