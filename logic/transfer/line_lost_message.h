// The one box the operator sees when the serial line goes away while connected (an adapter
// pulled, a controller powered off): which device, and the system's reason.
#pragma once

#include <string>

namespace tolvane {

// "Connection to /dev/ttyUSB0 lost: Input/output error" for Device "/dev/ttyUSB0" and EIO, in
// the operator's language when the catalogs translate both the sentence and the reason.
std::string LineLostMessage(const std::string& Device, int SystemErrorCode);

}  // namespace tolvane
