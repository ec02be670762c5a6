// One Read or one Write of the eleven registers, as a plan of one step per timer tick, and the
// bookkeeping that tells what the controller confirmed.
//
// A Read requests each register; a Write sends each value taken at the press and then requests
// each register back, so that what the controller holds is compared with what was sent. A
// Compare requests each register like a Read, but its replies are only collected, to be set
// against the window's values taken at the press; they never reach the fields. The read for a
// Write's backup collects them the same way. What each kind does is its row in
// transfer_kind.h. A reply
// counts for a register only when it arrives after that register's request. After the last
// request a short grace waits for late replies; each register still silent is requested once
// more, followed by one more grace. Nothing here knows the window or the port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "logic/protocol/register_table.h"
#include "logic/transfer/transfer_kind.h"

namespace tolvane {

// Ticks to wait for late replies after the last request of a round, unless every request of it
// has been answered.
inline constexpr int ReplyGraceTicks = 3;

using TRegisterTexts = std::array<std::string, RegisterCount>;

// What became of one register.
struct TRegisterOutcome {
  bool Sent = false;                 // a Write's packet is on the line
  bool Requested = false;            // its read request was due at least once
  std::optional<std::string> Reply;  // the last value answered after a request
  // The last answer after a request that did not pass the field check: it counts as no reply.
  std::optional<std::string> NotAValue;
};

class TRegisterTransfer {
 public:
  static TRegisterTransfer Read();
  // Values holds the eleven checked texts, which are the ones sent.
  static TRegisterTransfer Write(const TRegisterTexts& Values);
  // Values holds the eleven texts the replies are compared with.
  static TRegisterTransfer Compare(const TRegisterTexts& Values);
  // Values holds the eleven texts of the Write that follows once the present values are saved.
  static TRegisterTransfer ReadForBackup(const TRegisterTexts& Values);

  TRegisterTransferKind Kind() const { return Kind_; }
  const TTransferKindRow& Row() const { return KindRow(Kind_); }
  // Whether a reply belongs in the field it names: not for a Compare or the read for a backup,
  // whose replies are only collected.
  bool ShowsReplies() const { return Row().ShowsReplies; }

  // The packet of this tick, or nothing on a tick of grace. Once Done() no step is left.
  std::optional<std::string> NextPacket();
  // The packet NextPacket gave is on the line. A register counts as written only then, so a
  // write that failed is not reported as sent.
  void PacketWritten();
  bool Done() const;

  // A register-value packet for Row arrived. A value that does not pass the field check is kept
  // apart: the register counts as not answered, and is asked again like a silent one.
  void ReplyReceived(std::size_t Row, const std::string& Value);

  // Packets sent so far and in the plan as it stands (retries extend it).
  int PacketsSent() const { return PacketsSent_; }
  int PacketsPlanned() const;

  const std::array<TRegisterOutcome, RegisterCount>& Outcomes() const { return Outcomes_; }
  // The value a Write sent for Row, the window's value a Compare holds against the reply, or the
  // value the Write after a read for its backup will send.
  const std::string& ValueSent(std::size_t Row) const { return Values_.at(Row); }
  const TRegisterTexts& Values() const { return Values_; }
  // The backup of the controller's values made before this Write; empty when none was made.
  const std::string& BackupFile() const { return BackupFile_; }
  void SetBackupFile(std::string File) { BackupFile_ = std::move(File); }
  // Rows whose request went out and got no reply that is a value.
  std::vector<std::size_t> SilentRows() const;
  // For a Write: rows whose reply differs from the value sent or that did not answer. For a
  // Compare: rows whose reply differs from the window's value or that did not answer.
  std::vector<std::size_t> UnconfirmedRows() const;
  int RowsSent() const;
  int RowsAnswered() const;
  // The eleven replies, when every register answered.
  std::optional<TRegisterTexts> Replies() const;

 private:
  enum class TStepKind : std::uint8_t { Send, Request, Grace };
  struct TStep {
    TStepKind Kind;
    std::size_t Row;
  };

  TRegisterTransfer(TRegisterTransferKind Kind, const TRegisterTexts& Values);
  void PlanRequests(const std::vector<std::size_t>& Rows);
  void SkipGraceWhenAllAnswered();

  TRegisterTransferKind Kind_;
  TRegisterTexts Values_;
  std::string BackupFile_;
  std::vector<TStep> Plan_;
  std::size_t Next_ = 0;
  std::optional<TStep> Pending_;  // given by NextPacket, not yet reported written
  bool Retried_ = false;
  int PacketsSent_ = 0;
  std::array<TRegisterOutcome, RegisterCount> Outcomes_{};
};

}  // namespace tolvane
