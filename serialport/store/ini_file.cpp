#include "serialport/store/ini_file.h"

#include <system_error>
#include <utility>

#include "serialport/base/integer_text.h"
#include "serialport/base/system_error_cause.h"
#include "serialport/base/translation.h"
#include "serialport/store/text_file.h"

namespace tolvane {
namespace {

constexpr const char* WriteErrorFormat = "Unable to write to %s";
constexpr const char* UnstorableReason = "the text would break the file's lines";
constexpr const char* OversizedReason = "the file is larger than a settings file can be";

// The file's text, or nullopt when there is none or it cannot be read.
std::optional<std::string> ReadText(const std::string& Path) {
  try {
    std::optional<TFileHead> Head = ReadFileHead(Path, MaxSettingsFileSize);
    if (Head) return std::move(Head->Content);
  } catch (const std::system_error&) {
  }
  return std::nullopt;
}

}  // namespace

EIniFileException EIniFileException::UnableToWrite(const std::string& FileName,
                                                   const std::string& Reason) {
  EIniFileException Error(TranslateFilled(WriteErrorFormat, "%s", FileName));
  Error.SetDetail(FileName + ": " + Reason);
  return Error;
}

TIniFile::TIniFile(std::string FileName, std::string SeedFileName)
    : FileName_(std::move(FileName)), SeedFileName_(std::move(SeedFileName)) {}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  std::optional<std::string> Value;
  if (Pending_) {
    Value = Pending_->Value(Section, Ident);
  } else if (std::optional<std::string> Text = CurrentText()) {
    Value = TIniDocument(std::move(*Text)).Value(Section, Ident);
  }
  if (!Value) return Default;
  if (Value->size() > MaxValueLength) Value->resize(MaxValueLength);
  return *Value;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident,
                           const std::string& Value) {
  if (!TIniDocument::IsStorableSection(Section) || !TIniDocument::IsStorableKey(Ident) ||
      !TIniDocument::IsStorableValue(Value)) {
    RaiseWriteError(UnstorableReason);
  }
  if (TransactionDepth_ > 0) {
    if (!Pending_) Pending_ = DocumentForWriting();
    Pending_->SetValue(Section, Ident, Value);
    return;
  }
  TIniDocument Document = DocumentForWriting();
  Document.SetValue(Section, Ident, Value);
  Save(Document);
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

void TIniFile::BeginTransaction() {
  ++TransactionDepth_;
}

void TIniFile::Commit() {
  if (TransactionDepth_ == 0 || --TransactionDepth_ > 0) return;
  std::optional<TIniDocument> Written = std::move(Pending_);
  Pending_.reset();
  if (Written) Save(*Written);
}

void TIniFile::Update(const std::function<void()>& Writes) {
  BeginTransaction();
  try {
    Writes();
  } catch (...) {
    try {
      Commit();
    } catch (const EIniFileException&) {
      // The first failure is the one to report.
    }
    throw;
  }
  Commit();
}

// Runs one step of a write and turns a failure of the file into the INI error.
template <typename Step>
auto TIniFile::AsWriteError(Step&& Run) const {
  try {
    return Run();
  } catch (const EFileRefused& Refused) {
    RaiseWriteError(Refused.Reason());
  } catch (const std::system_error& Failed) {
    RaiseWriteError(SystemErrorReason(Failed.code().value()));
  }
}

// Until the file itself exists, reads fall back to the file it is seeded from.
std::optional<std::string> TIniFile::CurrentText() const {
  std::optional<std::string> Text = ReadText(FileName_);
  if (!Text && !SeedFileName_.empty()) Text = ReadText(SeedFileName_);
  return Text;
}

TIniDocument TIniFile::DocumentForWriting() const {
  return AsWriteError([this] {
    CheckReplaceable(FileName_);
    std::optional<TFileHead> Head = ReadFileHead(FileName_, MaxSettingsFileSize);
    if (!Head && !SeedFileName_.empty()) Head = ReadFileHead(SeedFileName_, MaxSettingsFileSize);
    // Rewriting only the head of an oversized file would lose its tail.
    if (Head && Head->Truncated) RaiseWriteError(OversizedReason);
    return TIniDocument(Head ? std::move(Head->Content) : std::string());
  });
}

void TIniFile::Save(const TIniDocument& Document) const {
  AsWriteError([&] { ReplaceFileAtomically(FileName_, Document.Text()); });
}

void TIniFile::RaiseWriteError(const std::string& Reason) const {
  throw EIniFileException::UnableToWrite(FileName_, Reason);
}

}  // namespace tolvane
