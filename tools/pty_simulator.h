// The simulator's line: a pseudo-terminal pair whose slave side the utility opens as its serial
// port, and the loop that reads what the utility sends, passes it to the controller model and
// writes the shaped replies back.
//
// One thread does everything, blocked in poll() on the master side, a signalfd for SIGINT and
// SIGTERM and an inotify watch on the slave device; it wakes only for input, a signal, a reply
// that falls due or the slave being opened or closed, never to spin. The simulator keeps a slave
// descriptor of its own open, so the master never sees a hang-up while the utility has the line
// closed, and the terminal's settings and exclusive-use flag live on between openings; the
// latter is cleared whenever the utility closes the line, so it can open it again.
//
// The line can vanish (after a number of packets, or on SIGUSR1): the simulator closes both of
// its descriptors, which hangs up the utility's side as a pulled USB adapter would, and drops
// what it had still to send. It comes back as a new pair (after a set time, or on SIGUSR2), and
// the owner is told the new device's path so it can put it where the utility looks.

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>

#include "tools/controller_model.h"
#include "tools/reply_shaper.h"
#include "tools/simulator_log.h"
#include "tools/simulator_options.h"

namespace tolvane {

class TPtySimulator {
 public:
  using TRegistersChanged = std::function<void(const TRegisterMap& Registers)>;
  // A line is ready at SlavePath (at the start and each time it comes back); false with Error
  // stops the simulator.
  using TLineReady = std::function<bool(const std::string& SlavePath, std::string& Error)>;

  // Output waiting for a receiver that does not read is bounded; replies beyond it are dropped.
  static constexpr std::size_t MaxQueuedBytes = 64 * 1024;

  TPtySimulator(TControllerModel& Model, TReplyShaper& Shaper, TSimulatorLog& Log,
                TRegistersChanged OnRegistersChanged, TVanishRule Vanish = {},
                TLineReady OnLineReady = {});
  ~TPtySimulator();
  TPtySimulator(const TPtySimulator&) = delete;
  TPtySimulator& operator=(const TPtySimulator&) = delete;

  // Takes SIGINT, SIGTERM, SIGUSR1 and SIGUSR2 through a signalfd and opens the pair; false
  // with Error on failure.
  bool Open(std::string& Error);
  // The path of the slave device, valid after Open; empty while the line has vanished.
  const std::string& SlavePath() const { return SlavePath_; }
  // Serves the line until SIGINT or SIGTERM; returns the signal, or 0 with Error on failure.
  int Run(std::string& Error);

 private:
  using TClock = std::chrono::steady_clock;
  struct TQueuedWrite {
    TClock::time_point Due;
    std::string Bytes;
  };

  bool OpenLine(std::string& Error);
  void CloseLine();
  // Closes the line as a pulled cable would; it comes back by ReturnAt_ or SIGUSR2.
  void Vanish(const std::string& Why);
  bool Return(std::string& Error);
  // Acts on a signal other than a stop; false with Error when the line could not come back.
  bool TakeSignal(int Signal, std::string& Error);
  int ReadSignal();
  void ReadMaster();
  void Answer(const std::string& Received);
  void QueueReply(const std::string& Reply);
  void WriteDue();
  void ReadSlaveEvents();
  int PollTimeoutMs() const;
  bool OutputDue() const;

  TControllerModel& Model_;
  TReplyShaper& Shaper_;
  TSimulatorLog& Log_;
  TRegistersChanged OnRegistersChanged_;
  TVanishRule Vanish_;
  TLineReady OnLineReady_;
  int PacketsTaken_ = 0;
  bool VanishDue_ = false;  // the packet count is reached: vanish after this read
  TClock::time_point ReturnAt_ = TClock::time_point::max();  // while vanished
  int Master_ = -1;
  int Slave_ = -1;
  int SignalFd_ = -1;
  int InotifyFd_ = -1;
  std::string SlavePath_;
  std::deque<TQueuedWrite> Output_;
  std::size_t QueuedBytes_ = 0;
  TClock::time_point LastDue_{};
  // After a read error on the master (which a held slave should prevent) input is not polled
  // for a moment, so a persistent error cannot make the loop spin.
  TClock::time_point MasterQuietUntil_{};
};

}  // namespace tolvane
