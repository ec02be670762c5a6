// The end-to-end tests share one QApplication on the offscreen platform, with the serial port's
// events delivered through its loop as in the utility itself.
#include "app/qt_dispatcher.h"
#include "serialport/dispatch/com_dispatcher.h"
#include "tests/qt_test_main.h"

int main(int argc, char** argv) {
  return tolvane::RunQtTests(
      argc, argv, [] { tolvane::BindDispatcherToQt(tolvane::TComDispatcher::Default()); });
}
