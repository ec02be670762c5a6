// The start of every test program that needs a QApplication: the offscreen platform unless the
// environment names another, and a private runtime directory for Qt when the session has none
// (a CI machine or a root shell has no $XDG_RUNTIME_DIR, and Qt warns without one). The
// directory is made with mode 0700, as Qt requires, and removed when the tests end. The backups
// of the controller's values go to a state directory of the run's own, never the user's.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <functional>
#include <optional>

#include "tests/support/temp_directory.h"

namespace tolvane {

// Runs every test after Prepare, which may bind what the tests share to the application.
inline int RunQtTests(int argc, char** argv, const std::function<void()>& Prepare = {}) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::optional<TTempDirectory> RuntimeDirectory;
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    RuntimeDirectory.emplace();
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(RuntimeDirectory->Path().string()));
  }
  TTempDirectory StateDirectory;
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(StateDirectory.Path().string()));
  QApplication Application(argc, argv);
  if (Prepare) Prepare();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace tolvane
