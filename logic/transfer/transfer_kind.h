// The kinds of transfer and, in one table, what each sends, shows, marks and reports. The
// register transfer plans its packets from its row, the sequencer follows the row when the
// transfer ends or is cut short, and the report words are the row's. A new kind is one row here
// and its texts in transfer_report.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

class TRegisterTransfer;

enum class TRegisterTransferKind : std::uint8_t { Read, Write, Compare, ReadForBackup };

// Why a transfer ended before its last step: Quit is the operator's Stop and Quit, or a signal
// to the command line.
enum class TTransferStop : std::uint8_t { Disconnect, LineLost, Quit };

// What follows a transfer that heard every register as it should.
enum class TTransferFollowUp : std::uint8_t {
  None,
  SaveAfterRead,  // the values read are saved as an "after read" backup
  SaveAndWrite,   // the values read are saved as the "before write" backup, then the Write runs
};

struct TTransferKindRow {
  TRegisterTransferKind Kind;
  // The word in result lines: "Read not started: ...". The read for a backup is part of a Write.
  std::string_view Name;
  // The line over the bar while it runs, and while it reads back what it sent.
  std::string_view RunningNote;
  std::string_view ReadBackNote;
  bool SendsValues;        // the values go out before every register is requested
  bool ShowsReplies;       // replies reach the fields
  bool ChangesController;  // cut short, it leaves the controller holding what nobody has read
  TTransferFollowUp FollowUp;
  // The rows marked when it ends, each with its tool tip; none means it went as it should.
  std::vector<std::size_t> (*MarkedRows)(const TRegisterTransfer&);
  std::string (*Mark)(const TRegisterTransfer&, std::size_t Row);
  // The one box when rows are marked; empty when there is nothing to say.
  std::string (*Box)(const TRegisterTransfer&);
  // The result line when it ends; Time is "14:02".
  std::string (*Result)(const TRegisterTransfer&, const std::string& Time);
  std::string (*StoppedResult)(const TRegisterTransfer&, TTransferStop, const std::string& Time);
  // The box when it is cut short; empty when the kind has nothing to say then.
  std::string (*StoppedBox)(const TRegisterTransfer&, TTransferStop);
  // The tool tip of a field it did not confirm when cut short; empty for one it confirmed.
  std::string (*StoppedMark)(const TRegisterTransfer&, std::size_t Row, TTransferStop);
};

const TTransferKindRow& KindRow(TRegisterTransferKind Kind);

}  // namespace tolvane
