#include "serialport/device/posix/termios2_rate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace tolvane {

int SetCustomRate(int Fd, std::uint32_t Rate) {
  termios2 Settings{};
  if (ioctl(Fd, TCGETS2, &Settings) != 0) return errno;
  Settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  Settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  Settings.c_ispeed = Rate;
  Settings.c_ospeed = Rate;
  if (ioctl(Fd, TCSETS2, &Settings) != 0) return errno;
  return 0;
}

int GetOutputRate(int Fd, std::uint32_t& Rate) {
  termios2 Settings{};
  if (ioctl(Fd, TCGETS2, &Settings) != 0) return errno;
  Rate = Settings.c_ospeed;
  return 0;
}

}  // namespace tolvane
