// The interpreting half of the window's packet reaction: a register value goes into its field
// (unless it answers a Compare, see TTransferSequencer::ShowsReply) and counts as the reply of a
// running transfer, an identification reply with status "200" ends the polling. Appending the
// packet to the receive log stays with the window, which does it for every packet after this
// step.
#pragma once

#include <string_view>

#include "logic/protocol/field_texts.h"
#include "logic/transfer/transfer_sequencer.h"

namespace tolvane {

void ApplyReceivedPacket(std::string_view Packet, TFieldTexts& Fields,
                         TTransferSequencer& Sequencer);

}  // namespace tolvane
