// termios2 carries the speed as a number, so an odd rate reads back as itself; its header
// clashes with glibc's <termios.h>, which this file therefore does without.
#include "tests/support/line_shape.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>

namespace tolvane::testing_support {
namespace {

namespace fs = std::filesystem;

// The number of Holder's descriptor on DevicePath, or -1.
int DescriptorOn(pid_t Holder, const std::string& DevicePath) {
  std::error_code Error;
  for (const auto& Entry :
       fs::directory_iterator("/proc/" + std::to_string(Holder) + "/fd", Error)) {
    if (fs::read_symlink(Entry.path(), Error) == DevicePath && !Error)
      return std::stoi(Entry.path().filename().string());
  }
  return -1;
}

}  // namespace

std::optional<TLineShape> LineShapeOf(pid_t Holder, const std::string& DevicePath) {
  const int Theirs = DescriptorOn(Holder, DevicePath);
  if (Theirs < 0) return std::nullopt;
  const int Process = static_cast<int>(::syscall(SYS_pidfd_open, Holder, 0));
  if (Process < 0) return std::nullopt;
  const int Fd = static_cast<int>(::syscall(SYS_pidfd_getfd, Process, Theirs, 0));
  ::close(Process);
  if (Fd < 0) return std::nullopt;
  termios2 Settings{};
  const bool Read = ::ioctl(Fd, TCGETS2, &Settings) == 0;
  ::close(Fd);
  if (!Read) return std::nullopt;
  return TLineShape{Settings.c_ospeed, (Settings.c_cflag & CSTOPB) != 0,
                    (Settings.c_cflag & CRTSCTS) != 0,
                    (Settings.c_iflag & IXON) != 0 && (Settings.c_iflag & IXOFF) != 0};
}

std::string ShapeText(const TLineShape& Shape) {
  return std::to_string(Shape.Speed) + (Shape.TwoStopBits ? " 2 stop" : " 1 stop") +
         (Shape.HardwareFlow ? " rtscts" : "") + (Shape.SoftwareFlow ? " xonxoff" : "");
}

}  // namespace tolvane::testing_support
