// The input queue a device owes the port, shared by the backends: received bytes wait here until
// the port reads them, in a queue of the configured size, and the queue's event rules (received
// data, the event character, 80 percent full, overrun) are kept here once. Its input is a
// stream marked the way a tty with PARMRK marks it: 0xFF 0xFF stands for a data byte 0xFF,
// 0xFF 0x00 0x00 for a break and 0xFF 0x00 X for a byte X received with a parity or framing
// error (unless the options say the stream is not marked). The queue decodes that stream as it
// accepts bytes, drops NUL bytes when asked, replaces error bytes when asked, and tells which
// events the new bytes raise.
//
// Not thread-safe: the device guards it with its mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolvane {

struct TInputQueueOptions {
  std::size_t Capacity = 1024;
  bool DiscardNull = false;
  char EventChar = 0;
  bool ReplaceErrors = false;  // an error byte becomes ErrorChar
  char ErrorChar = 0;
  // With parity on, a marked byte is counted as a parity error, otherwise as a framing error:
  // the in-band mark does not say which of the two it was.
  bool ParityEnabled = false;
  // False for a stream without in-band marks (a network line): every byte is data.
  bool Marked = true;
};

class TInputQueue {
 public:
  // New options apply to bytes accepted from now on; queued bytes stay, also beyond a smaller
  // capacity.
  void Configure(const TInputQueueOptions& Options);
  const TInputQueueOptions& Options() const { return Options_; }

  // Raw tty bytes that can be accepted without losing any: decoding never makes more bytes
  // than it is given.
  std::size_t FreeSpace() const;
  std::size_t Size() const { return Bytes_.size() - Head_; }

  // Decodes Count raw bytes into the queue; returns the EV_ bits they raise and adds CE_ flags
  // to the pending errors.
  std::uint32_t Accept(const std::uint8_t* Raw, std::size_t Count);
  std::size_t Take(std::uint8_t* Out, std::size_t Max);
  // Discards the queued bytes and any half-read escape sequence.
  void Clear();

  // Returns the CE_ flags gathered since the last call and forgets them.
  std::uint32_t TakeErrors();

 private:
  enum class TEscape : std::uint8_t { None, SawFF, SawFF00 };

  std::uint32_t StoreRun(const std::uint8_t* Run, std::size_t Count);
  std::uint32_t Store(std::uint8_t Byte);
  std::uint32_t DecodeEscaped(std::uint8_t Byte);
  bool AtOrAbove80Percent() const;

  TInputQueueOptions Options_;
  // The queued bytes are Bytes_[Head_..]; taking advances Head_, and the space before it is
  // reclaimed once it outweighs what is still queued.
  std::vector<std::uint8_t> Bytes_;
  std::size_t Head_ = 0;
  TEscape Escape_ = TEscape::None;
  std::uint32_t Errors_ = 0;
};

}  // namespace tolvane
