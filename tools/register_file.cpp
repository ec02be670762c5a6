#include "tools/register_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tolvane {

namespace {

std::string SystemError(const std::string& What, const std::string& Path) {
  return What + " " + Path + ": " + std::strerror(errno);
}

bool WriteAll(int Fd, const std::string& Bytes) {
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t Written = ::write(Fd, Bytes.data() + Done, Bytes.size() - Done);
    if (Written < 0 && errno == EINTR) continue;
    if (Written <= 0) return false;
    Done += static_cast<std::size_t>(Written);
  }
  return true;
}

}  // namespace

std::string FormatRegisters(const TRegisterMap& Registers) {
  std::string Text;
  for (const auto& [Address, Value] : Registers) Text += Address + "=" + Value + "\n";
  return Text;
}

void ParseRegisters(std::string_view Text, TRegisterMap& Registers) {
  while (!Text.empty()) {
    const std::size_t LineEnd = Text.find('\n');
    std::string_view Line = Text.substr(0, LineEnd);
    Text.remove_prefix(LineEnd == std::string_view::npos ? Text.size() : LineEnd + 1);
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    const std::size_t Equals = Line.find('=');
    if (Equals == std::string_view::npos) continue;
    const auto Register = Registers.find(std::string(Line.substr(0, Equals)));
    const std::string_view Value = Line.substr(Equals + 1);
    if (Register != Registers.end() && IsRegisterValue(Value)) Register->second = Value;
  }
}

bool LoadRegisterFile(const std::string& Path, TRegisterMap& Registers, std::string& Error) {
  std::ifstream File(Path, std::ios::binary);
  if (!File) {
    if (errno == ENOENT) return true;
    Error = SystemError("cannot read", Path);
    return false;
  }
  std::ostringstream Text;
  Text << File.rdbuf();
  ParseRegisters(Text.str(), Registers);
  return true;
}

bool SaveRegisterFile(const std::string& Path, const TRegisterMap& Registers, std::string& Error) {
  const std::string Temporary = Path + ".new";
  const int Fd = ::open(Temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (Fd < 0) {
    Error = SystemError("cannot create", Temporary);
    return false;
  }
  const bool Written = WriteAll(Fd, FormatRegisters(Registers)) && ::fsync(Fd) == 0;
  if (!Written) Error = SystemError("cannot write", Temporary);
  ::close(Fd);
  if (Written && std::rename(Temporary.c_str(), Path.c_str()) == 0) return true;
  if (Written) Error = SystemError("cannot replace", Path);
  ::unlink(Temporary.c_str());
  return false;
}

}  // namespace tolvane
