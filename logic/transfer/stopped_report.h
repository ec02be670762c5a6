// The operator's words for a transfer cut short by Disconnect, a lost line or quitting: the
// question before quitting cuts it short, the tool tip of every field it did not confirm, the
// result line, and for a Write the box that names every register by what became of it, with the
// way back to the values from before it.
#pragma once

#include <cstddef>
#include <string>

#include "logic/transfer/register_transfer.h"

namespace tolvane {

// What follows "Write stopped ": "by Disconnect", "because the line was lost", "on quitting".
std::string StopReason(TTransferStop Stop);

// The question before quitting cuts Transfer short: "A Write is running: 6 of 11 registers
// written. Stop it and quit?", "A Read is running: 6 of 11 registers read. ...".
std::string QuitQuestionText(const TRegisterTransfer& Transfer);

// The tool tips of a transfer cut short, one per kind; empty for a register it confirmed.
// "Not read: the connection was lost; the field keeps its previous text."
std::string StoppedReadMark(const TRegisterTransfer& Transfer, std::size_t Row, TTransferStop Stop);
// "Not written: ...", "Written, not verified: ...", or what the read-back found instead.
std::string StoppedWriteMark(const TRegisterTransfer& Transfer, std::size_t Row,
                             TTransferStop Stop);
std::string StoppedCompareMark(const TRegisterTransfer& Transfer, std::size_t Row,
                               TTransferStop Stop);
// The read for a Write's backup: nothing of the Write went out.
std::string StoppedBackupReadMark(const TRegisterTransfer& Transfer, std::size_t Row,
                                  TTransferStop Stop);

// The box, or the lines added to the lost-line box, when a Write was cut short: every register
// under written and verified, written and not verified, or not written; then the before-write
// backup and how to go back to it.
std::string StoppedWriteText(const TRegisterTransfer& Transfer, TTransferStop Stop);

// "Read stopped because the line was lost: 6 of 11 read at 14:02", "Write stopped by
// Disconnect: 11 of 11 written, 8 verified at 14:02".
std::string StoppedResultText(const TRegisterTransfer& Transfer, TTransferStop Stop,
                              const std::string& Time);

}  // namespace tolvane
