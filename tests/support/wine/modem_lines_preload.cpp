// Modem lines for pseudo-terminals under Wine, loaded into Wine with LD_PRELOAD by the Windows
// tests. A pty has no modem lines, so TIOCMGET fails on it, and Wine's communications calls
// then fail too: WaitCommEvent ends at once with error 995, EscapeCommFunction(SETDTR) and
// GetCommModemStatus with error 50. This library answers the modem-line requests for pty slaves
// as a serial driver would:
// - TIOCMGET reports the lines written by the test's far end to the file named by
//   TOLVANE_MODEM_LINES (words "CTS", "DSR", "RI", "CD"; all off without the file) together with
//   the DTR and RTS levels last set through this library;
// - TIOCMSET, TIOCMBIS and TIOCMBIC set those DTR and RTS levels;
// - TIOCGICOUNT counts each change of CTS, DSR, RI and CD seen by TIOCMGET;
// - once the far end has hung up (the slave reports POLLHUP), every one of them fails with EIO,
//   as a driver does when its adapter is unplugged.
// Every other request, and every descriptor that is not a pty slave, goes to the C library.
#include <dlfcn.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using TIoctl = int (*)(int, unsigned long, void*);

TIoctl RealIoctl() {
  static TIoctl Real = reinterpret_cast<TIoctl>(dlsym(RTLD_NEXT, "ioctl"));
  return Real;
}

// UNIX 98 pty slaves have the majors 136 to 143.
bool IsPtySlave(int Fd) {
  struct stat Status;
  if (fstat(Fd, &Status) != 0 || !S_ISCHR(Status.st_mode)) return false;
  const unsigned Major = major(Status.st_rdev);
  return Major >= 136 && Major <= 143;
}

bool FarEndHungUp(int Fd) {
  pollfd Poll = {Fd, 0, 0};
  return poll(&Poll, 1, 0) == 1 && (Poll.revents & POLLHUP) != 0;
}

std::atomic<int> Outputs{TIOCM_DTR | TIOCM_RTS};  // DTR and RTS as last set
std::atomic<int> LastInputs{0};
std::atomic<int> Counts[4];  // changes of CTS, DSR, RI, CD

constexpr int InputBits[4] = {TIOCM_CTS, TIOCM_DSR, TIOCM_RI, TIOCM_CD};

int ReadInputs() {
  const char* Path = std::getenv("TOLVANE_MODEM_LINES");
  if (Path == nullptr) return 0;
  std::FILE* File = std::fopen(Path, "r");
  if (File == nullptr) return 0;
  char Text[64] = {};
  const std::size_t Length = std::fread(Text, 1, sizeof Text - 1, File);
  std::fclose(File);
  Text[Length] = '\0';
  int Lines = 0;
  if (std::strstr(Text, "CTS")) Lines |= TIOCM_CTS;
  if (std::strstr(Text, "DSR")) Lines |= TIOCM_DSR;
  if (std::strstr(Text, "RI")) Lines |= TIOCM_RI;
  if (std::strstr(Text, "CD")) Lines |= TIOCM_CD;
  const int Before = LastInputs.exchange(Lines);
  for (int Index = 0; Index < 4; ++Index) {
    if ((Before ^ Lines) & InputBits[Index]) ++Counts[Index];
  }
  return Lines;
}

int Answer(unsigned long Request, void* Argument) {
  int* Bits = static_cast<int*>(Argument);
  switch (Request) {
    case TIOCMGET:
      *Bits = ReadInputs() | Outputs.load();
      return 0;
    case TIOCMSET:
      Outputs = *Bits & (TIOCM_DTR | TIOCM_RTS);
      return 0;
    case TIOCMBIS:
      Outputs |= *Bits & (TIOCM_DTR | TIOCM_RTS);
      return 0;
    case TIOCMBIC:
      Outputs &= ~(*Bits & (TIOCM_DTR | TIOCM_RTS));
      return 0;
    default: {
      ReadInputs();
      serial_icounter_struct* Icount = static_cast<serial_icounter_struct*>(Argument);
      std::memset(Icount, 0, sizeof *Icount);
      Icount->cts = Counts[0];
      Icount->dsr = Counts[1];
      Icount->rng = Counts[2];
      Icount->dcd = Counts[3];
      return 0;
    }
  }
}

bool IsModemRequest(unsigned long Request) {
  return Request == TIOCMGET || Request == TIOCMSET || Request == TIOCMBIS || Request == TIOCMBIC ||
         Request == TIOCGICOUNT;
}

}  // namespace

extern "C" int ioctl(int Fd, unsigned long Request, ...) {
  va_list Arguments;
  va_start(Arguments, Request);
  void* Argument = va_arg(Arguments, void*);
  va_end(Arguments);
  if (!IsModemRequest(Request) || !IsPtySlave(Fd)) return RealIoctl()(Fd, Request, Argument);
  if (FarEndHungUp(Fd)) {
    errno = EIO;
    return -1;
  }
  return Answer(Request, Argument);
}
