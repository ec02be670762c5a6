// The simulator's log: one line per event, stamped with the local time to the millisecond.
// Received bytes are written escaped, so binary input cannot garble the log.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tolvane {

// Printable ASCII stays; "\" becomes "\\", CR and LF "\r" and "\n", any other byte "\xHH".
std::string EscapeBytes(std::string_view Bytes);

class TSimulatorLog {
 public:
  // Writes to stderr.
  TSimulatorLog() = default;
  ~TSimulatorLog();
  TSimulatorLog(const TSimulatorLog&) = delete;
  TSimulatorLog& operator=(const TSimulatorLog&) = delete;

  // Appends to Path from now on; false when the file cannot be opened.
  bool OpenFile(const std::string& Path);
  void Write(const std::string& Line);

 private:
  std::FILE* File_ = nullptr;
};

}  // namespace tolvane
