#include "serialport/ini_file.h"

#include <optional>
#include <system_error>
#include <utility>

#include "serialport/ini_document.h"
#include "serialport/integer_text.h"
#include "serialport/text_file.h"
#include "serialport/translation.h"

namespace tolvane {
namespace {

constexpr const char* WriteErrorFormat = "Unable to write to %s";

}  // namespace

TIniFile::TIniFile(std::string FileName) : FileName_(std::move(FileName)) {}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  std::optional<TFileHead> Head;
  try {
    Head = ReadFileHead(FileName_, MaxSettingsFileSize);
  } catch (const std::system_error&) {
    return Default;  // an unreadable file reads like a missing one
  }
  if (!Head) return Default;
  std::optional<std::string> Value = TIniDocument(std::move(Head->Content)).Value(Section, Ident);
  if (!Value) return Default;
  if (Value->size() > MaxValueLength) Value->resize(MaxValueLength);
  return *Value;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident,
                           const std::string& Value) {
  if (!TIniDocument::IsStorableSection(Section) || !TIniDocument::IsStorableKey(Ident) ||
      !TIniDocument::IsStorableValue(Value)) {
    RaiseWriteError();
  }
  try {
    std::optional<TFileHead> Head = ReadFileHead(FileName_, MaxSettingsFileSize);
    // Rewriting only the head of an oversized file would lose its tail.
    if (Head && Head->Truncated) RaiseWriteError();
    TIniDocument Document(Head ? std::move(Head->Content) : std::string());
    Document.SetValue(Section, Ident, Value);
    ReplaceFileAtomically(FileName_, Document.Text());
  } catch (const std::system_error&) {
    RaiseWriteError();
  }
}

std::int32_t TIniFile::ReadInteger(const std::string& Section, const std::string& Ident,
                                   std::int32_t Default) const {
  const std::string Text = ReadString(Section, Ident, std::string());
  return ParseInteger(Text).value_or(Default);
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident,
                            std::int32_t Value) {
  WriteString(Section, Ident, std::to_string(Value));
}

void TIniFile::RaiseWriteError() const {
  throw EIniFileException(TranslateFilled(WriteErrorFormat, "%s", FileName_));
}

}  // namespace tolvane
