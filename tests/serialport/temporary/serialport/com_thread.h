// TEMPORARY: stands in for the event thread until it lands; deleted at the merge.
#pragma once

namespace tolvane {

class TCustomComPort;

class TComThread {
 public:
  explicit TComThread(TCustomComPort&) {}
};

}  // namespace tolvane
