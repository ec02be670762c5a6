#include "logic/transfer/packet_reaction.h"

#include "logic/protocol/controller_protocol.h"

namespace tolvane {

void ApplyReceivedPacket(std::string_view Packet, TFieldTexts& Fields,
                         TTransferSequencer& Sequencer) {
  const TPacketMeaning Meaning = InterpretPacket(Packet);
  if (Meaning.IdentificationConfirmed) Sequencer.ConfirmIdentification();
  if (!Meaning.FieldUpdate) return;
  if (Sequencer.ShowsReply(Meaning.FieldUpdate->Row, Meaning.FieldUpdate->Text)) {
    Fields.SetFieldText(Meaning.FieldUpdate->Row, Meaning.FieldUpdate->Text);
  }
  Sequencer.RegisterValueReceived(Meaning.FieldUpdate->Row, Meaning.FieldUpdate->Text);
}

}  // namespace tolvane
