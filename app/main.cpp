#include <QApplication>
#include <QMainWindow>

#include "app/application_title.h"

int main(int argc, char* argv[]) {
  QApplication Application(argc, argv);
  tolvane::SetApplicationTitle();
  QMainWindow Window;
  Window.setWindowTitle(tolvane::WindowCaption);
  Window.show();
  return QApplication::exec();
}
