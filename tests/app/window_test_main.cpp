// The window tests share one QApplication on the offscreen platform.
#include "tests/qt_test_main.h"

int main(int argc, char** argv) {
  return tolvane::RunQtTests(argc, argv);
}
