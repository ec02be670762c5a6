// Small eventfd helpers of the POSIX device: a wake-up that a blocked poll() sees.
#pragma once

namespace tolvane {

// Makes Fd readable; harmless when it already is.
void SignalWake(int Fd);
// Consumes the wake-ups gathered so far, so the next poll() blocks again.
void ConsumeWake(int Fd);

}  // namespace tolvane
