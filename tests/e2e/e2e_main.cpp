// The end-to-end tests share one QApplication on the offscreen platform, with the serial port's
// events delivered through its loop as in the utility itself.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/qt_dispatcher.h"
#include "serialport/com_dispatcher.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication Application(argc, argv);
  tolvane::BindDispatcherToQt(tolvane::TComDispatcher::Default());
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
