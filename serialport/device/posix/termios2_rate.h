// Line rates outside the B-constants, through termios2 and BOTHER. Kept apart from the rest of the
// termios code because <asm/termbits.h>, which defines termios2, clashes with glibc's <termios.h>.
#pragma once

#include <cstdint>

namespace tolvane {

// Sets Rate in both directions on an open tty, keeping every other setting; 0 or errno.
int SetCustomRate(int Fd, std::uint32_t Rate);
// Reads back the output rate of an open tty in bits per second; 0 or errno.
int GetOutputRate(int Fd, std::uint32_t& Rate);

}  // namespace tolvane
