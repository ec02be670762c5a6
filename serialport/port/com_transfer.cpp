#include "serialport/port/com_transfer.h"

namespace tolvane {

void NewTransfer(PComTransfer& Transfer) {
  Transfer = new TComTransfer();
}

void FreeTransfer(PComTransfer& Transfer) {
  delete Transfer;  // the record's data copy goes with it
  Transfer = nullptr;
}

}  // namespace tolvane
