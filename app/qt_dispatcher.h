// Binds the serial port's dispatcher to the Qt event loop: whenever the event thread queues
// work, a queued call on the GUI thread drains the dispatcher there.
#pragma once

namespace tolvane {

class TComDispatcher;

// Call on the GUI thread once the QApplication exists; the binding lasts until the
// application object is destroyed, after which wake-ups are ignored.
void BindDispatcherToQt(TComDispatcher& Dispatcher);

}  // namespace tolvane
