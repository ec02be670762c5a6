// Value types of the serial port: enumerations with fixed ordinals and the small bit sets built
// on them. Ordinals are part of the stored and displayed form, so their order never changes.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace tolvane {

// A set of enumeration values stored in a word: bit n stands for the value of ordinal n.
template <typename Enum, typename Word>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<Enum> Values) {
    for (Enum Value : Values) Include(Value);
  }
  static constexpr TSet FromWord(Word Bits) {
    TSet Result;
    Result.Bits_ = Bits;
    return Result;
  }

  constexpr Word ToWord() const { return Bits_; }
  constexpr bool Contains(Enum Value) const { return (Bits_ & Bit(Value)) != 0; }
  constexpr bool Empty() const { return Bits_ == 0; }
  constexpr TSet& Include(Enum Value) {
    Bits_ = static_cast<Word>(Bits_ | Bit(Value));
    return *this;
  }
  constexpr TSet& Exclude(Enum Value) {
    Bits_ = static_cast<Word>(Bits_ & ~Bit(Value));
    return *this;
  }
  friend constexpr bool operator==(TSet A, TSet B) { return A.Bits_ == B.Bits_; }
  friend constexpr TSet operator|(TSet A, TSet B) {
    return FromWord(static_cast<Word>(A.Bits_ | B.Bits_));
  }

 private:
  static constexpr Word Bit(Enum Value) {
    return static_cast<Word>(Word{1} << static_cast<unsigned>(Value));
  }
  Word Bits_ = 0;
};

enum class TBaudRate : std::uint8_t {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum class TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum class TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum class TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum class TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum class TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum class TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };

enum class TComError : std::uint8_t {
  ceFrame,
  ceRxParity,
  ceOverrun,
  ceBreak,
  ceIO,
  ceMode,
  ceRxOver,
  ceTxFull
};
using TComErrors = TSet<TComError, std::uint8_t>;

enum class TComEvent : std::uint8_t {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full
};
using TComEvents = TSet<TComEvent, std::uint16_t>;
inline constexpr TComEvents AllComEvents = TComEvents::FromWord(0x03FF);

enum class TComLineSignal : std::uint8_t { lsCTS, lsDSR, lsRing, lsRLSD };
using TComLineSignals = TSet<TComLineSignal, std::uint8_t>;

enum class TSettingsStore : std::uint8_t { ssRegistry, ssIniFile };
// Ordinals follow the stored bit values (sgBasic = 1, sgFlowControl = 2, ... sgOthers = 32).
enum class TStoredGroup : std::uint8_t {
  sgBasic,
  sgFlowControl,
  sgBuffer,
  sgTimeouts,
  sgParity,
  sgOthers
};
using TStoredGroups = TSet<TStoredGroup, std::uint8_t>;

enum class TThreadPriority : std::uint8_t {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

}  // namespace tolvane
