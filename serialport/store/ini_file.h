// An INI file on disk, addressed one key at a time. The object remembers the path: every read
// looks at the file as it is now, and outside a transaction every write reads the file, changes
// the one key and replaces the file atomically, so each write reports its own failure at the
// call.
//
// A transaction gathers many writes into one save. Between BeginTransaction and the matching
// Commit the writes are collected in memory (reads see them) and the outermost Commit replaces
// the file once. The first write of a transaction already checks that the file can be replaced,
// so a file that cannot be written fails at that write, as it would key by key. Transactions
// nest; an object destroyed inside one drops what it collected.
//
// A seed file stands in for a file that does not exist yet: reads come from it, and the first
// save starts from its whole content, so a copy made elsewhere loses nothing of the original.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "serialport/base/com_error.h"
#include "serialport/store/ini_document.h"

namespace tolvane {

// A write to an INI file failed. The message names the file ("Unable to write to <file>"); the
// detail gives the file and the reason, as the system or the INI layer states it.
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
  static EIniFileException UnableToWrite(const std::string& FileName, const std::string& Reason);
};

class TIniFile {
 public:
  // Values read back are cut to this many characters.
  static constexpr std::size_t MaxValueLength = 2047;

  explicit TIniFile(std::string FileName, std::string SeedFileName = {});

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

  void BeginTransaction();
  // Ends the innermost transaction; the outermost saves what was written, if anything, in one
  // atomic replace, and raises EIniFileException when that fails.
  void Commit();
  // Runs Writes inside a transaction and commits it. When Writes fails, what it wrote before
  // the failure is saved all the same (as key-by-key writes would have left the file) and
  // Writes' own error is raised.
  void Update(const std::function<void()>& Writes);

 private:
  std::optional<std::string> CurrentText() const;
  TIniDocument DocumentForWriting() const;
  void Save(const TIniDocument& Document) const;
  template <typename Step>
  auto AsWriteError(Step&& Run) const;
  [[noreturn]] void RaiseWriteError(const std::string& Reason) const;

  std::string FileName_;
  std::string SeedFileName_;
  int TransactionDepth_ = 0;
  std::optional<TIniDocument> Pending_;  // what the open transaction has written so far
};

}  // namespace tolvane
