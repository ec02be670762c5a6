// The far end of a COM port for the Windows tests under Wine, run on the Linux side: it listens
// on a TCP port of 127.0.0.1, and for each connection makes a fresh pseudo-terminal, links its
// slave as the COM port of the Wine prefix, says "ready" and then carries bytes both ways
// between the connection and the pseudo-terminal. When the connection ends the pseudo-terminal
// is closed, which hangs its line up: the COM port's device sees its cable pulled. One
// connection at a time; it runs until it is killed. With PORT 0 it takes a free port and prints
// "port N" on standard output once it listens.
//   pty_far_end PORT LINK     (LINK: the prefix's dosdevices/comN)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool WriteAll(int Fd, const char* Bytes, ssize_t Count) {
  while (Count > 0) {
    const ssize_t Written = write(Fd, Bytes, static_cast<std::size_t>(Count));
    if (Written < 0 && errno == EINTR) continue;
    if (Written <= 0) return false;
    Bytes += Written;
    Count -= Written;
  }
  return true;
}

// Links Link to the slave at once, replacing an earlier link without a moment without one.
bool LinkSlave(const std::string& Link, const char* Slave) {
  const std::string Temporary = Link + ".new";
  unlink(Temporary.c_str());
  return symlink(Slave, Temporary.c_str()) == 0 && rename(Temporary.c_str(), Link.c_str()) == 0;
}

// Carries bytes until the connection ends.
void Serve(int Connection, const std::string& Link) {
  int Master = -1;
  int Slave = -1;
  char Name[128] = {};
  if (openpty(&Master, &Slave, Name, nullptr, nullptr) != 0) return;
  termios Raw{};
  tcgetattr(Slave, &Raw);
  cfmakeraw(&Raw);
  tcsetattr(Slave, TCSANOW, &Raw);
  // The slave stays open here as well until the connection ends, so the master sees no hang-up
  // while the device under test opens and closes the line; closing both hangs it up.
  if (LinkSlave(Link, Name) && WriteAll(Connection, "ready\n", 6)) {
    char Buffer[4096];
    for (;;) {
      pollfd Polls[2] = {{Connection, POLLIN, 0}, {Master, POLLIN, 0}};
      if (poll(Polls, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (Polls[0].revents != 0) {
        const ssize_t Count = read(Connection, Buffer, sizeof Buffer);
        if (Count <= 0 || !WriteAll(Master, Buffer, Count)) break;
      }
      if (Polls[1].revents & POLLIN) {
        const ssize_t Count = read(Master, Buffer, sizeof Buffer);
        if (Count > 0 && !WriteAll(Connection, Buffer, Count)) break;
      }
    }
  }
  unlink(Link.c_str());
  close(Slave);
  close(Master);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PORT LINK\n", argv[0]);
    return 2;
  }
  const int Listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int On = 1;
  setsockopt(Listener, SOL_SOCKET, SO_REUSEADDR, &On, sizeof On);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[1])));
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(Listener, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0 ||
      listen(Listener, 4) != 0) {
    std::perror("pty_far_end");
    return 1;
  }
  socklen_t Length = sizeof Address;
  getsockname(Listener, reinterpret_cast<sockaddr*>(&Address), &Length);
  std::printf("port %d\n", ntohs(Address.sin_port));
  std::fflush(stdout);
  for (;;) {
    const int Connection = accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (Connection < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    setsockopt(Connection, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On);
    Serve(Connection, argv[2]);
    close(Connection);
  }
}
