#include "tools/reply_shaper.h"

#include <algorithm>

namespace tolvane {

TReplyShaper::TReplyShaper(TReplyFaults Faults, std::uint32_t Seed)
    : Faults_(Faults), Random_(Seed) {}

std::vector<TTimedWrite> TReplyShaper::Shape(const std::string& Reply) {
  ++Replies_;
  if (Faults_.DropEvery > 0 && Replies_ % Faults_.DropEvery == 0) return {};

  std::string Line;
  if (Faults_.GarbageBytes > 0) Line += Garbage();
  if (Faults_.CrLf) Line += "\r\n";
  Line += Reply;

  const std::size_t Piece = Faults_.SplitSize > 0 ? Faults_.SplitSize : Line.size();
  std::vector<TTimedWrite> Writes;
  int At = std::max(Faults_.DelayMs, 0);
  for (std::size_t Start = 0; Start < Line.size(); Start += Piece) {
    Writes.push_back({At, Line.substr(Start, Piece)});
    At += std::max(Faults_.SplitGapMs, 0);
  }
  return Writes;
}

// Noise is a packet of its own: any bytes but ";", then a ";", so the reply after it still
// arrives whole while the receiver sees a packet it cannot understand.
std::string TReplyShaper::Garbage() {
  std::uniform_int_distribution<int> AnyByte(0, 254);
  std::string Noise;
  for (std::size_t Index = 0; Index < Faults_.GarbageBytes; ++Index) {
    int Byte = AnyByte(Random_);
    if (Byte >= ';') ++Byte;  // 0..254 mapped onto every byte value except ';'
    Noise += static_cast<char>(Byte);
  }
  return Noise + ";";
}

}  // namespace tolvane
