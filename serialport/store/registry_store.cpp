#include "serialport/store/registry_store.h"

#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

#include "serialport/base/integer_text.h"
#include "serialport/base/translation.h"
#include "serialport/store/config_home.h"
#include "serialport/store/ini_document.h"
#include "serialport/store/text_file.h"

namespace tolvane {
namespace {

constexpr const char* StoreSubdirectory = "tolvane/registry";
constexpr const char* StoreExtension = ".ini";
constexpr const char* CurrentUserName = "HKEY_CURRENT_USER";
constexpr const char* LocalMachineName = "HKEY_LOCAL_MACHINE";
constexpr std::string_view StringPrefix = "s:";
constexpr std::string_view IntegerPrefix = "d:";
constexpr char KeySeparator = '\\';
constexpr unsigned StoreDirectoryMode = 0700;

constexpr const char* WriteFailedFormat = "Failed to set data for '%s'";
constexpr const char* WrongTypeFormat = "Invalid data type for '%s'";

[[noreturn]] void Raise(const char* Format, const std::string& Name) {
  throw ERegistryException(TranslateFilled(Format, "%s", Name));
}

// Key paths are stored with single backslashes between non-empty parts.
bool IsValidKeyPath(const std::string& Key) {
  if (Key.empty() || Key.front() == KeySeparator || Key.back() == KeySeparator) return false;
  if (Key.find(std::string(2, KeySeparator)) != std::string::npos) return false;
  return TIniDocument::IsStorableSection(Key);
}

}  // namespace

TRegistryAccessor::TRegistryAccessor(std::string BaseDirectory)
    : BaseDirectory_(std::move(BaseDirectory)) {}

std::string TRegistryAccessor::DefaultDirectory() {
  const std::string ConfigHome = UserConfigHome();
  if (ConfigHome.empty()) return {};
  return ConfigHome + "/" + StoreSubdirectory;
}

std::string TRegistryAccessor::RootFileName(TRegistryRoot Root) {
  return std::string(Root == TRegistryRoot::HKEY_LOCAL_MACHINE ? LocalMachineName
                                                               : CurrentUserName) +
         StoreExtension;
}

void TRegistryAccessor::SetRootKey(TRegistryRoot Root) {
  if (Root == Root_) return;
  CloseKey();
  Root_ = Root;
}

bool TRegistryAccessor::OpenKey(const std::string& Key, bool CanCreate) {
  CloseKey();
  if (BaseDirectory_.empty() || !IsValidKeyPath(Key)) return false;
  try {
    TIniDocument Store(ReadStore());
    if (!Store.HasSection(Key)) {
      if (!CanCreate) return false;
      Store.AddSection(Key);
      MakeDirectories(BaseDirectory_, StoreDirectoryMode);
      ReplaceFileAtomically(RootFilePath(), Store.Text());
    }
  } catch (const std::system_error&) {
    return false;
  }
  CurrentKey_ = Key;
  KeyOpen_ = true;
  return true;
}

void TRegistryAccessor::CloseKey() {
  CurrentKey_.clear();
  KeyOpen_ = false;
}

void TRegistryAccessor::WriteString(const std::string& Name, const std::string& Value) {
  WriteValue(Name, std::string(StringPrefix) + Value);
}

void TRegistryAccessor::WriteInteger(const std::string& Name, std::int32_t Value) {
  WriteValue(Name, std::string(IntegerPrefix) + std::to_string(Value));
}

std::string TRegistryAccessor::ReadString(const std::string& Name) const {
  if (!KeyOpen_) return {};
  std::optional<std::string> Stored;
  try {
    Stored = TIniDocument(ReadStore()).Value(CurrentKey_, Name);
  } catch (const std::system_error&) {
    Raise(WrongTypeFormat, Name);
  }
  if (!Stored) return {};
  if (!Stored->starts_with(StringPrefix)) Raise(WrongTypeFormat, Name);
  return Stored->substr(StringPrefix.size());
}

std::int32_t TRegistryAccessor::ReadInteger(const std::string& Name) const {
  if (!KeyOpen_) Raise(WrongTypeFormat, Name);
  std::optional<std::string> Stored;
  try {
    Stored = TIniDocument(ReadStore()).Value(CurrentKey_, Name);
  } catch (const std::system_error&) {
    Raise(WrongTypeFormat, Name);
  }
  if (!Stored || !Stored->starts_with(IntegerPrefix)) Raise(WrongTypeFormat, Name);
  const std::optional<std::int32_t> Value =
      ParseInteger(std::string_view(*Stored).substr(IntegerPrefix.size()));
  if (!Value) Raise(WrongTypeFormat, Name);
  return *Value;
}

bool TRegistryAccessor::ValueExists(const std::string& Name) const {
  if (!KeyOpen_) return false;
  try {
    return TIniDocument(ReadStore()).Value(CurrentKey_, Name).has_value();
  } catch (const std::system_error&) {
    return false;
  }
}

std::string TRegistryAccessor::RootFilePath() const {
  return BaseDirectory_ + "/" + RootFileName(Root_);
}

std::string TRegistryAccessor::ReadStore() const {
  std::optional<TFileHead> Head = ReadFileHead(RootFilePath(), MaxSettingsFileSize);
  if (!Head) return {};
  if (Head->Truncated) throw std::system_error(EFBIG, std::generic_category(), "read");
  return std::move(Head->Content);
}

void TRegistryAccessor::WriteValue(const std::string& Name, const std::string& TypedText) {
  if (!KeyOpen_ || !TIniDocument::IsStorableKey(Name) ||
      !TIniDocument::IsStorableValue(TypedText)) {
    Raise(WriteFailedFormat, Name);
  }
  try {
    TIniDocument Store(ReadStore());
    Store.SetValue(CurrentKey_, Name, TypedText);
    MakeDirectories(BaseDirectory_, StoreDirectoryMode);
    ReplaceFileAtomically(RootFilePath(), Store.Text());
  } catch (const std::system_error&) {
    Raise(WriteFailedFormat, Name);
  }
}

}  // namespace tolvane
