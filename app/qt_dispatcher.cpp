#include "app/qt_dispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include "serialport/com_dispatcher.h"

namespace tolvane {

void BindDispatcherToQt(TComDispatcher& Dispatcher) {
  // The application object lives on the GUI thread, so a queued call with it as context runs
  // there; the guard drops wake-ups that arrive after it is gone.
  QPointer<QCoreApplication> GuiThreadContext(QCoreApplication::instance());
  Dispatcher.SetWakeUp([GuiThreadContext, &Dispatcher] {
    if (GuiThreadContext.isNull()) return;
    QMetaObject::invokeMethod(
        GuiThreadContext.data(), [&Dispatcher] { Dispatcher.Drain(); }, Qt::QueuedConnection);
  });
}

}  // namespace tolvane
