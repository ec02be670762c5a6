#include "serialport/packet/com_data_packet.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>
#include <utility>

#include "serialport/port/com_port.h"

namespace tolvane {

namespace {

char FoldAscii(char C) {
  return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
}

bool IsAsciiLetter(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z');
}

bool EqualFolded(std::string_view A, std::string_view B) {
  for (std::size_t I = 0; I < A.size(); ++I) {
    if (FoldAscii(A[I]) != FoldAscii(B[I])) return false;
  }
  return true;
}

// The first occurrence regardless of letter case: the candidates for the first character are
// found with a byte search for each of its two cases, and each position is looked for again only
// once it is passed, so the text is scanned once; only a candidate is compared in full.
std::size_t FindFolded(std::string_view Text, std::string_view Sought) {
  const char Upper = FoldAscii(Sought.front());
  const bool Letter = IsAsciiLetter(Upper);
  const char Lower = Letter ? static_cast<char>(Upper - 'A' + 'a') : Upper;
  const std::string_view Rest = Sought.substr(1);
  std::size_t NextUpper = Text.find(Upper);
  std::size_t NextLower = Letter ? Text.find(Lower) : std::string_view::npos;
  for (;;) {
    const std::size_t Candidate = std::min(NextUpper, NextLower);
    if (Candidate == std::string_view::npos || Text.size() - Candidate < Sought.size()) {
      return std::string_view::npos;
    }
    if (EqualFolded(Rest, Text.substr(Candidate + 1, Rest.size()))) return Candidate;
    if (NextUpper == Candidate) NextUpper = Text.find(Upper, Candidate + 1);
    if (NextLower == Candidate) NextLower = Text.find(Lower, Candidate + 1);
  }
}

// The 0-based index of the first occurrence of Sought in Text, or npos when it does not occur
// or is empty. Folding maps only the ASCII letters, so any other byte is compared exactly.
std::size_t FindText(std::string_view Text, std::string_view Sought, bool Fold) {
  if (Sought.empty()) return std::string_view::npos;
  if (Fold) return FindFolded(Text, Sought);
  return Sought.size() == 1 ? Text.find(Sought.front()) : Text.find(Sought);
}

// Keeps a scan from holding on to the memory of one very large read once it is consumed.
constexpr std::size_t SpareCapacityKept = 64 * 1024;

}  // namespace

// Counts a handler as running while it lives, and holds the string a const std::string& handler
// is given: the outermost handler's own, or one per nesting level, so that a nested handler does
// not overwrite the string an outer one holds. The memory kept aside for the handlers goes once
// the outermost has returned.
class TComDataPacket::THandling {
 public:
  explicit THandling(TComDataPacket& Packet) : Packet_(Packet) {
    const auto Level = static_cast<std::size_t>(Packet.Handing_);
    if (Level > 0 && Packet.NestedScratch_.size() < Level) Packet.NestedScratch_.emplace_back();
    Scratch_ = Level == 0 ? &Packet.Scratch_ : &Packet.NestedScratch_[Level - 1];
    ++Packet.Handing_;
  }
  ~THandling() {
    if (--Packet_.Handing_ == 0 && !Packet_.Retired_.empty()) Packet_.Retired_.clear();
  }
  THandling(const THandling&) = delete;
  THandling& operator=(const THandling&) = delete;
  std::string& Scratch() const { return *Scratch_; }

 private:
  TComDataPacket& Packet_;
  std::string* Scratch_;
};

TComDataPacket::TComDataPacket(TComponent* AOwner)
    : TComponent(AOwner), OwnLink_(std::make_unique<TComLink>()) {
  OwnLink_->OnRxBuf = [this](TObject*, const void* Buffer, std::int32_t Count) {
    ReceiveBuffer(Buffer, Count);
  };
}

TComDataPacket::~TComDataPacket() {
  try {
    SetComPort(nullptr);
  } catch (...) {
    // A port refuses only a link it does not hold, so it keeps no reference to OwnLink_.
  }
}

void TComDataPacket::SetComPort(TCustomComPort* Value) {
  if (Value == ComPort_) return;
  if (ComPort_ != nullptr) {
    ComPort_->DetachLink(OwnLink_.get());
    RemoveFreeNotification(ComPort_);
  }
  ComPort_ = Value;
  if (Value != nullptr) {
    Value->FreeNotification(this);
    Value->AttachLink(OwnLink_.get());
  }
}

void TComDataPacket::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && ComPort_ != nullptr &&
      AComponent == static_cast<TComponent*>(ComPort_)) {
    SetComPort(nullptr);
  }
}

void TComDataPacket::SetCaseInsensitive(bool Value) {
  if (Value == CaseInsensitive_) return;
  CaseInsensitive_ = Value;
  ChangedRule();
}

void TComDataPacket::SetStartString(const std::string& Value) {
  if (Value == StartString_) return;
  StartString_ = Value;
  ChangedRule();
}

void TComDataPacket::SetStopString(const std::string& Value) {
  if (Value == StopString_) return;
  StopString_ = Value;
  ChangedRule();
}

void TComDataPacket::SetSize(std::int32_t Value) {
  if (Value == Size_) return;
  Size_ = Value;
  ChangedRule();
}

// Text collected under the old rule would be cut wrongly under the new one. While loading, the
// properties arrive one by one and nothing has been received yet.
void TComDataPacket::ChangedRule() {
  ++Changes_;
  if (!IsLoading()) ClearCollected();
}

bool TComDataPacket::HasEndRule() const {
  return Size_ > 0 || !StopString_.empty() || static_cast<bool>(OnCustomStop);
}

void TComDataPacket::ReceiveBuffer(const void* Buffer, std::int32_t Count) {
  struct TReading {
    bool& Flag;
    const bool Outer;
    ~TReading() { Flag = Outer; }
  } Reading{ReadingOpenPort_, ReadingOpenPort_};
  ReadingOpenPort_ = ComPort_ != nullptr && ComPort_->Connected();
  if (Buffer == nullptr || Count <= 0) {
    TakeText({});
    return;
  }
  TakeText(std::string_view(static_cast<const char*>(Buffer), static_cast<std::size_t>(Count)));
}

// A handler that closed the port (a disconnect on a reply) wants nothing more from that line;
// the rest of the read is thrown away rather than delivered after the close.
bool TComDataPacket::PortClosedDuringRead() const {
  return ReadingOpenPort_ && (ComPort_ == nullptr || !ComPort_->Connected());
}

void TComDataPacket::TakeData(const std::string& Text) {
  TakeText(Text);
}

void TComDataPacket::TakeText(std::string_view Text) {
  ++Changes_;
  if (!HasEndRule()) {
    Hand(&TComDataPacket::FirePacket, Text);
    return;
  }
  if (InPlace_.data() == nullptr && Collected_.empty() && !Text.empty()) {
    InPlace_ = Text;
    Consumed_ = 0;
  } else {
    KeepUnscanned();  // a handler's nested piece joins what the outer scan has left
    RetireCollected();
    Collected_.insert(Collected_.end(), Text.begin(), Text.end());
  }
  // The piece must not be referred to once this call returns, whatever a derived scan did.
  struct TKeepRest {
    TComDataPacket& Packet;
    ~TKeepRest() { Packet.KeepUnscanned(); }
  } KeepRest{*this};
  ScanCollected();
}

// Copies what is left of a piece scanned in place into the collected text.
void TComDataPacket::KeepUnscanned() {
  if (InPlace_.data() == nullptr) return;
  const std::string_view Rest = InPlace_.substr(std::min(Consumed_, InPlace_.size()));
  RetireCollected();
  Collected_.assign(Rest.begin(), Rest.end());
  InPlace_ = {};
  Consumed_ = 0;
}

void TComDataPacket::ClearCollected() {
  if (CollectedView().empty()) return;
  try {
    Hand(&TComDataPacket::FireDiscard, CollectedView());
  } catch (...) {
    ResetCollected();
    throw;
  }
  ResetCollected();
}

void TComDataPacket::ResetCollected() {
  ++Changes_;
  InPlace_ = {};
  RetireCollected();
  Collected_.clear();
  if (Collected_.capacity() > SpareCapacityKept) std::vector<char>().swap(Collected_);
  Consumed_ = 0;
  PacketOpen_ = false;
}

void TComDataPacket::ScanCollected() {
  try {
    ScanPackets();
  } catch (...) {
    FinishScan();
    throw;
  }
  FinishScan();
}

// Repeats the search for as long as a delivered packet took text out, so every complete packet
// is delivered in order. A loop rather than a recursive call keeps the stack flat however many
// packets one read holds, and a delivery that took nothing out (a stop rule reporting an end
// in empty text) ends the scan instead of repeating it forever.
void TComDataPacket::ScanPackets() {
  for (;;) {
    if (EndsAtStopByte() && ScanStopBytes()) return;
    if (!PacketOpen_) LookForStart();
    if (!PacketOpen_) return;
    const std::size_t Taken = LookForEnd();
    if (Taken == 0 || PacketOpen_) return;
    if (PortClosedDuringRead()) {
      ClearCollected();
      return;
    }
  }
}

bool TComDataPacket::EndsAtStopByte() const {
  // A derived class may have its own hooks, which the general scan calls for every packet.
  return StopString_.size() == 1 && StartString_.empty() && Size_ <= 0 && !OnCustomStart &&
         !OnCustomStop && !(CaseInsensitive_ && IsAsciiLetter(StopString_.front())) &&
         typeid(*this) == typeid(TComDataPacket);
}

// The general scan's steps for this rule, with the per-packet work cut to the search and the
// call: no start to look for, the stop byte found by memchr where the text lies, the handler
// called directly (the hooks are the component's own). What a handler sees is what the general
// scan shows it: the packet taken out of the collected text, and no packet open while it runs.
bool TComDataPacket::ScanStopBytes() {
  const char Stop = StopString_.front();
  const std::uint64_t Seen = Changes_;
  const std::string_view Text = CollectedView();
  const char* Next = Text.data();
  const char* const End = Next + Text.size();
  PacketOpen_ = true;
  {
    const THandling Handling(*this);
    for (;;) {
      if (Next == End) return true;
      const void* Found = std::memchr(Next, Stop, static_cast<std::size_t>(End - Next));
      if (Found == nullptr) return true;
      const char* const Packet = Next;
      Next = static_cast<const char*>(Found) + 1;
      Consumed_ += static_cast<std::size_t>(Next - Packet);
      const auto Length = static_cast<std::size_t>(Next - Packet) - (IncludeStrings_ ? 0 : 1);
      PacketOpen_ = false;
      if (OnPacket) OnPacket(this, TComText(std::string_view(Packet, Length), Handling.Scratch()));
      if (PortClosedDuringRead()) break;
      if (Changes_ != Seen || OnCustomStart || OnCustomStop) return false;
      PacketOpen_ = true;
    }
  }
  ClearCollected();
  return true;
}

void TComDataPacket::LookForStart() {
  std::int32_t Pos = -1;
  FireCustomStart(CollectedView(), Pos);
  if (Pos > 0) {
    AcceptStart(static_cast<std::size_t>(Pos));
    return;
  }
  if (Pos != -1) return;  // the user's rule found no start yet
  if (StartString_.empty()) {
    PacketOpen_ = true;
    return;
  }
  const std::size_t Found = FindText(CollectedView(), StartString_, CaseInsensitive_);
  if (Found != std::string_view::npos) AcceptStart(Found + 1);
}

void TComDataPacket::AcceptStart(std::size_t Position) {
  PacketOpen_ = true;
  if (Position <= 1) return;
  const std::string_view Leading = TakeOut(Position - 1);
  if (!Leading.empty()) Hand(&TComDataPacket::FireDiscard, Leading);
}

std::size_t TComDataPacket::LookForEnd() {
  std::int32_t Pos = -1;
  FireCustomStop(CollectedView(), Pos);
  std::size_t Length = 0;
  if (Pos > 0) {
    Length = static_cast<std::size_t>(Pos);
  } else if (Pos != -1) {
    return 0;  // the user's rule found no end yet
  } else {
    const std::string_view Text = CollectedView();
    if (Size_ > 0 && Text.size() >= static_cast<std::size_t>(Size_)) {
      // The fixed size wins even over a stop string within it.
      Length = static_cast<std::size_t>(Size_);
    } else {
      // The end is looked for after the start string, which may itself equal the stop string.
      const std::size_t StartLength = StartString_.size();
      if (StopString_.empty() || Text.size() < StartLength) return 0;
      const std::size_t Found = FindText(Text.substr(StartLength), StopString_, CaseInsensitive_);
      if (Found == std::string_view::npos) return 0;
      if (StartLength == 0 && !IncludeStrings_) {
        // Found is then the stop string's first occurrence, which stripping removes: the packet
        // is handed on without it, with no second search and no second copy.
        PacketOpen_ = false;
        return DeliverStrippedOfStop(Found);
      }
      Length = StartLength + Found + StopString_.size();
    }
  }
  PacketOpen_ = false;
  return DeliverPacket(Length);
}

std::size_t TComDataPacket::DeliverPacket(std::size_t Length) {
  const std::string_view Packet = TakeOut(Length);
  Hand(&TComDataPacket::FirePacket, Strip(Packet));
  return Packet.size();
}

std::size_t TComDataPacket::DeliverStrippedOfStop(std::size_t Found) {
  const std::string_view Packet = CollectedView().substr(0, Found);
  const std::size_t Taken = Found + StopString_.size();
  Consumed_ += Taken;
  Hand(&TComDataPacket::FirePacket, Packet);
  return Taken;
}

// The text taken out stays where it lies until the scan ends (FinishScan compacts).
std::string_view TComDataPacket::TakeOut(std::size_t Count) {
  const std::string_view Text = CollectedView();
  Count = std::min(Count, Text.size());
  Consumed_ += Count;
  return Text.substr(0, Count);
}

void TComDataPacket::Hand(void (TComDataPacket::*Fire)(const TComText&), std::string_view Text) {
  const THandling Handling(*this);
  (this->*Fire)(TComText(Text, Handling.Scratch()));
}

void TComDataPacket::RetireCollected() {
  if (Handing_ == 0 || Collected_.empty()) return;
  std::vector<char> Copy(Collected_);
  Retired_.push_back(std::move(Collected_));
  Collected_ = std::move(Copy);
}

// Only the first occurrence counts: a packet in which the stop string also occurs earlier
// keeps its final stop string.
std::string_view TComDataPacket::Strip(std::string_view Packet) const {
  if (IncludeStrings_) return Packet;
  if (!StartString_.empty() && FindText(Packet, StartString_, CaseInsensitive_) == 0) {
    Packet.remove_prefix(StartString_.size());
  }
  if (!StopString_.empty() && Packet.size() >= StopString_.size()) {
    const std::size_t Tail = Packet.size() - StopString_.size();
    if (FindText(Packet, StopString_, CaseInsensitive_) == Tail)
      Packet.remove_suffix(StopString_.size());
  }
  return Packet;
}

// Compacts away the text taken out during the scan, then applies the buffer limit.
void TComDataPacket::FinishScan() {
  KeepUnscanned();
  if (Consumed_ > 0) {
    RetireCollected();
    Collected_.erase(Collected_.begin(), Collected_.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                  Consumed_, Collected_.size())));
    Consumed_ = 0;
    if (Collected_.capacity() > SpareCapacityKept + 2 * Collected_.size()) {
      Collected_.shrink_to_fit();
    }
  }
  if (MaxBufferSize_ > 0 && CollectedView().size() >= static_cast<std::size_t>(MaxBufferSize_)) {
    ClearCollected();
  }
}

void TComDataPacket::FireDiscard(const TComText& Str) {
  if (OnDiscard) OnDiscard(this, Str);
}

void TComDataPacket::FirePacket(const TComText& Str) {
  if (OnPacket) OnPacket(this, Str);
}

void TComDataPacket::FireCustomStart(std::string_view Str, std::int32_t& Pos) {
  if (OnCustomStart) OnCustomStart(this, Str, Pos);
}

void TComDataPacket::FireCustomStop(std::string_view Str, std::int32_t& Pos) {
  if (OnCustomStop) OnCustomStop(this, Str, Pos);
}

}  // namespace tolvane
