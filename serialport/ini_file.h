// An INI file on disk, addressed one key at a time. The object only remembers the path: every
// read looks at the file as it is now, every write reads the file, changes the one key and
// replaces the file atomically, so each write reports its own failure at the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "serialport/com_error.h"

namespace tolvane {

// A write to an INI file failed; the message names the file.
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

class TIniFile {
 public:
  // Values read back are cut to this many characters.
  static constexpr std::size_t MaxValueLength = 2047;

  explicit TIniFile(std::string FileName);

  const std::string& FileName() const { return FileName_; }

  // A missing or unreadable file, section or key gives Default.
  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) const;
  // Creates the file, the section or the key as needed and replaces an existing value in
  // place. A section, key or value that would break the file's lines is refused. Failures
  // raise EIniFileException "Unable to write to <file>".
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);

  // Decimal, or hexadecimal after "0x"/"0X"; text that is no integer gives Default.
  std::int32_t ReadInteger(const std::string& Section, const std::string& Ident,
                           std::int32_t Default) const;
  // Written in decimal.
  void WriteInteger(const std::string& Section, const std::string& Ident, std::int32_t Value);

 private:
  [[noreturn]] void RaiseWriteError() const;

  std::string FileName_;
};

}  // namespace tolvane
