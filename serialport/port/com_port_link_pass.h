// The link pass shared by the port's data path and its event delivery (internal to the port).
#pragma once

#include "serialport/port/com_port.h"

namespace tolvane {

// Visits the links by position, counting them once when the pass begins. A callback that
// detaches a link shortens the list; the pass then stops at its end rather than read past it.
template <typename Call>
void TCustomComPort::ForEachLink(Call&& Visit) {
  const std::size_t Count = LinkList_.size();
  for (std::size_t Index = 0; Index < Count && Index < LinkList_.size(); ++Index) {
    Visit(*LinkList_[Index]);
  }
}

}  // namespace tolvane
