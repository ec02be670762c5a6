// What the program sets up on the running QApplication before it creates the main window.
#pragma once

namespace tolvane {

// Installs the translations from the executable's directory (before any port error is
// raised), the general error report, the setup dialog and the binding of the port's
// dispatcher to the event loop. Call once on the GUI thread after the QApplication exists.
//
// The application title is deliberately not handed to Qt as the application display name:
// Qt appends that name to every window title a window manager shows ("Setup — ...").
void PrepareApplication();

}  // namespace tolvane
