// Turns one reply of the controller into the writes that put it on the line, with the faults
// real controllers and lines show: a delay, a reply split over several writes, a line end or
// line noise before it, or a reply that never comes. Pure logic; the I/O loop runs the writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tolvane {

struct TReplyFaults {
  int DelayMs = 0;               // before the first byte of a reply
  std::size_t SplitSize = 0;     // bytes per write; 0: the reply in one write
  int SplitGapMs = 5;            // between the writes of a split reply
  bool CrLf = false;             // "\r\n" before the reply
  std::size_t GarbageBytes = 0;  // random bytes and a ";" before the reply
  int DropEvery = 0;             // every Nth reply is not sent; 0: none
};

// One write, due AtMs milliseconds after the reply was made.
struct TTimedWrite {
  int AtMs = 0;
  std::string Bytes;
};

class TReplyShaper {
 public:
  explicit TReplyShaper(TReplyFaults Faults, std::uint32_t Seed = 1);

  // The writes for one reply, in order; none when this reply is dropped.
  std::vector<TTimedWrite> Shape(const std::string& Reply);

 private:
  std::string Garbage();

  TReplyFaults Faults_;
  std::mt19937 Random_;
  long Replies_ = 0;
};

}  // namespace tolvane
