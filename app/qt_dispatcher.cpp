#include "app/qt_dispatcher.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include "serialport/dispatch/com_dispatcher.h"

namespace tolvane {

// The event thread wakes the GUI thread by writing to an eventfd that the Qt loop watches: no
// event object is allocated per hand-over, and the wake-up callable (one descriptor) is stored
// inline wherever it is copied. One wake-up carries all that is queued: the notifier drains
// the whole queue, and the dispatcher does not call the hook again until a drain has begun, so
// a busy event thread costs no write per item. The descriptor is never closed, so a wake-up that
// another thread copied just before the application object went away never writes to a reused
// descriptor; it merely counts up an eventfd that nobody reads any more.
void BindDispatcherToQt(TComDispatcher& Dispatcher) {
  const int WakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (WakeFd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  // A child of the application object lives on the GUI thread and goes with the application.
  auto* Notifier = new QSocketNotifier(WakeFd, QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(Notifier, &QSocketNotifier::activated, Notifier, [WakeFd, &Dispatcher] {
    std::uint64_t Count = 0;
    [[maybe_unused]] ssize_t Read = read(WakeFd, &Count, sizeof Count);
    Dispatcher.Drain();
  });
  Dispatcher.SetWakeUp([WakeFd] {
    const std::uint64_t One = 1;
    [[maybe_unused]] ssize_t Written = write(WakeFd, &One, sizeof One);
  });
}

}  // namespace tolvane
