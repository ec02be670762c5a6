// The event thread's priority, as the operating system knows it.
#pragma once

#include "serialport/base/com_types.h"

namespace tolvane {

// Gives the calling thread Priority. Raising it above normal needs privileges and may be
// refused, which leaves the thread at normal priority.
void ApplyThreadPriority(TThreadPriority Priority);

}  // namespace tolvane
