// A link is how another component hears a port: a passive object whose assigned callbacks the
// port calls. The port keeps links in attach order and does not own them.
#pragma once

#include <cstdint>
#include <functional>

namespace tolvane {

class TObject;

using TLinkNotify = std::function<void(TObject* Sender)>;
using TLinkSwitch = std::function<void(TObject* Sender, bool OnOff)>;
using TLinkBuffer = std::function<void(TObject* Sender, const void* Buffer, std::int32_t Count)>;
using TLinkLineLost = std::function<void(TObject* Sender, std::int32_t SystemErrorCode)>;

class TComLink {
 public:
  TLinkSwitch OnConnChange;
  TLinkBuffer OnRxBuf;
  TLinkBuffer OnTxBuf;
  TLinkNotify OnTxEmpty;
  TLinkNotify OnRxFlag;
  TLinkSwitch OnCTSChange;
  TLinkSwitch OnDSRChange;
  TLinkSwitch OnRLSDChange;
  TLinkNotify OnRing;
  TLinkSwitch OnTxActivity;
  TLinkSwitch OnRxActivity;
  // The port's line is gone; called just before the port's own OnLineLost (see com_port.h).
  TLinkLineLost OnLineLost;
};

}  // namespace tolvane
