// One QApplication for every test of the setup dialog, on the offscreen platform unless the
// environment chooses another.
#include "tests/qt_test_main.h"

int main(int argc, char** argv) {
  return tolvane::RunQtTests(argc, argv);
}
