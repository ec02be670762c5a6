// The packet assembler: a component that hears a port through its own link, collects the
// received bytes and cuts them into packets by a start string, a stop string, a fixed size or
// rules of the user's, firing OnPacket once per packet and OnDiscard for text it throws away.
//
// Threads: everything runs on the thread that delivers the port's events (the owner thread in
// the synchronised modes); properties are changed only from that thread or while the port is
// closed. There is no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "serialport/base/component.h"
#include "serialport/packet/com_text.h"
#include "serialport/port/com_link.h"

namespace tolvane {

class TCustomComPort;

// Str is valid for the duration of the call; a handler takes it as std::string_view (no copy),
// const std::string& or std::string (see TComText).
using TComStrEvent = std::function<void(TObject* Sender, const TComText& Str)>;
// Str is the collected text, valid for the duration of the call; the handler may set Pos to
// the 1-based position it finds (a start, or the last character of a packet).
using TCustPacketEvent =
    std::function<void(TObject* Sender, std::string_view Str, std::int32_t& Pos)>;

class TComDataPacket : public TComponent {
 public:
  explicit TComDataPacket(TComponent* AOwner);
  ~TComDataPacket() override;
  const char* ClassName() const override { return "TComDataPacket"; }

  // The port whose received data is assembled; the link follows it. A port that refuses the
  // link raises EComPort: a refused detach keeps the old port, a refused attach keeps the new
  // one without the link.
  TCustomComPort* ComPort() const { return ComPort_; }
  void SetComPort(TCustomComPort* Value);
  bool CaseInsensitive() const { return CaseInsensitive_; }
  void SetCaseInsensitive(bool Value);
  bool IncludeStrings() const { return IncludeStrings_; }
  void SetIncludeStrings(bool Value) { IncludeStrings_ = Value; }
  std::int32_t MaxBufferSize() const { return MaxBufferSize_; }
  void SetMaxBufferSize(std::int32_t Value) { MaxBufferSize_ = Value; }
  const std::string& StartString() const { return StartString_; }
  void SetStartString(const std::string& Value);
  const std::string& StopString() const { return StopString_; }
  void SetStopString(const std::string& Value);
  std::int32_t Size() const { return Size_; }
  void SetSize(std::int32_t Value);

  // Takes one received piece: without an end rule it is a packet by itself, otherwise it is
  // collected and scanned.
  void TakeData(const std::string& Text);
  // Discards the collected text (through OnDiscard) and waits for a new start.
  void ClearCollected();
  // True when packets end by size, by stop string or by the user's stop rule.
  bool HasEndRule() const;

  // The text received and neither delivered nor discarded yet.
  std::string Collected() const { return std::string(CollectedView()); }
  bool PacketOpen() const { return PacketOpen_; }

  TComStrEvent OnDiscard;
  TComStrEvent OnPacket;
  TCustPacketEvent OnCustomStart;
  TCustPacketEvent OnCustomStop;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Delivers every complete packet in the collected text, in order; then discards the text if
  // it has reached MaxBufferSize, also when a handler raised.
  virtual void ScanCollected();

  virtual void FireDiscard(const TComText& Str);
  virtual void FirePacket(const TComText& Str);
  virtual void FireCustomStart(std::string_view Str, std::int32_t& Pos);
  virtual void FireCustomStop(std::string_view Str, std::int32_t& Pos);

 private:
  class THandling;

  void ReceiveBuffer(const void* Buffer, std::int32_t Count);
  void TakeText(std::string_view Text);
  void KeepUnscanned();
  void ScanPackets();
  // The main window's rule (packets end at one stop byte; no start string, fixed size or rules
  // of the user's; the component's own hooks) needs no search beyond one memchr per packet.
  bool EndsAtStopByte() const;
  // Delivers the packets of that rule straight to OnPacket. Returns false when a handler changed
  // the rules or the collected text, so that the general scan goes on from where it stands.
  bool ScanStopBytes();
  void LookForStart();
  void AcceptStart(std::size_t Position);
  // Returns the number of characters the delivered packet took out of the collected text; 0
  // when no packet ended.
  std::size_t LookForEnd();
  std::size_t DeliverPacket(std::size_t Length);
  std::size_t DeliverStrippedOfStop(std::size_t Found);
  std::string_view TakeOut(std::size_t Count);
  std::string_view Strip(std::string_view Packet) const;
  // Hands Text to FirePacket or FireDiscard; while a handler runs, the memory Text lies in is
  // not changed (see RetireCollected).
  void Hand(void (TComDataPacket::*Fire)(const TComText&), std::string_view Text);
  // Before the collected text changes under a handler that may hold a view of it: the buffer
  // is kept aside, untouched, until the outermost handler has returned, and the text goes on in
  // a copy.
  void RetireCollected();
  void FinishScan();
  void ResetCollected();
  void ChangedRule();
  bool PortClosedDuringRead() const;

  std::string_view CollectedView() const {
    return (InPlace_.data() != nullptr ? InPlace_
                                       : std::string_view(Collected_.data(), Collected_.size()))
        .substr(Consumed_);
  }

  std::unique_ptr<TComLink> OwnLink_;
  TCustomComPort* ComPort_ = nullptr;
  std::string StartString_;
  std::string StopString_;
  std::int32_t MaxBufferSize_ = 1024;
  std::int32_t Size_ = 0;
  bool IncludeStrings_ = false;
  bool CaseInsensitive_ = false;
  bool PacketOpen_ = false;
  bool ReadingOpenPort_ = false;  // scanning a buffer the open port has just read
  // The collected text is Collected_ after its first Consumed_ bytes: packets are taken from the
  // front by advancing Consumed_, and the buffer is compacted once per scan, so a read holding
  // many packets costs time in proportion to its length.
  // A vector rather than a string: moving it always keeps its bytes where they are (see
  // RetireCollected).
  std::vector<char> Collected_;
  std::size_t Consumed_ = 0;
  // A received piece that arrives while nothing is collected is scanned where it lies (the
  // caller's buffer) instead of being copied in first; only what the scan leaves is kept.
  std::string_view InPlace_;
  int Handing_ = 0;  // handlers running, nested ones included
  // Counts the changes a handler can make to the rules or to where the collected text lies (a
  // nested piece, a discard, a new rule), so that a scan holding a view of the text sees that it
  // went stale.
  std::uint64_t Changes_ = 0;
  std::vector<std::vector<char>> Retired_;
  // The string a const std::string& handler is given, and one per nested handler (a deque, so
  // that growing it moves none).
  std::string Scratch_;
  std::deque<std::string> NestedScratch_;
};

}  // namespace tolvane
