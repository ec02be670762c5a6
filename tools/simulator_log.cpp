#include "tools/simulator_log.h"

#include <chrono>
#include <ctime>

namespace tolvane {

std::string EscapeBytes(std::string_view Bytes) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string Text;
  for (const char C : Bytes) {
    const auto Byte = static_cast<unsigned char>(C);
    if (C == '\\') {
      Text += "\\\\";
    } else if (C == '\r') {
      Text += "\\r";
    } else if (C == '\n') {
      Text += "\\n";
    } else if (Byte >= 0x20 && Byte < 0x7F) {
      Text += C;
    } else {
      Text += "\\x";
      Text += Hex[Byte >> 4];
      Text += Hex[Byte & 0x0F];
    }
  }
  return Text;
}

TSimulatorLog::~TSimulatorLog() {
  if (File_ != nullptr) std::fclose(File_);
}

bool TSimulatorLog::OpenFile(const std::string& Path) {
  std::FILE* File = std::fopen(Path.c_str(), "a");
  if (File == nullptr) return false;
  if (File_ != nullptr) std::fclose(File_);
  File_ = File;
  return true;
}

void TSimulatorLog::Write(const std::string& Line) {
  using std::chrono::system_clock;
  const system_clock::time_point Now = system_clock::now();
  const std::time_t Seconds = system_clock::to_time_t(Now);
  const auto Millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(Now.time_since_epoch()).count() % 1000;
  std::tm Local{};
  localtime_r(&Seconds, &Local);
  char Stamp[32];
  std::strftime(Stamp, sizeof Stamp, "%Y-%m-%d %H:%M:%S", &Local);
  std::FILE* Out = File_ != nullptr ? File_ : stderr;
  std::fprintf(Out, "%s.%03d %s\n", Stamp, static_cast<int>(Millis), Line.c_str());
  std::fflush(Out);
}

}  // namespace tolvane
