// A stand-in for the system registry, for the port's registry settings store. Each root key is
// one typed key-value file, <base>/HKEY_CURRENT_USER.ini or <base>/HKEY_LOCAL_MACHINE.ini, by
// default under the user's configuration directory ($XDG_CONFIG_HOME, else ~/.config) in
// tolvane/registry; both roots belong to the user. A registry key is a section named by its
// path (backslashes between the parts, compared without regard to case), a value is a line
// whose text carries its type: "s:" for a string, "d:" for a 32-bit integer in decimal. Every
// write replaces the file atomically.
#pragma once

#include <cstdint>
#include <string>

#include "serialport/base/com_error.h"

namespace tolvane {

// A registry read or write failed.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

enum class TRegistryRoot : std::uint8_t { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };

class TRegistryAccessor {
 public:
  explicit TRegistryAccessor(std::string BaseDirectory = DefaultDirectory());
  TRegistryAccessor(const TRegistryAccessor&) = delete;
  TRegistryAccessor& operator=(const TRegistryAccessor&) = delete;

  // <config>/tolvane/registry; empty when neither $XDG_CONFIG_HOME nor a home is known.
  static std::string DefaultDirectory();
  // The root's file name without directory, e.g. "HKEY_CURRENT_USER.ini".
  static std::string RootFileName(TRegistryRoot Root);

  TRegistryRoot RootKey() const { return Root_; }
  // Changing the root closes the open key.
  void SetRootKey(TRegistryRoot Root);

  // Opens the key with full access, creating it (and the store) when CanCreate is set.
  // Returns false when the key cannot be opened; a key path is its parts joined by single
  // backslashes, without a leading one.
  bool OpenKey(const std::string& Key, bool CanCreate);
  void CloseKey();
  bool HasCurrentKey() const { return KeyOpen_; }
  const std::string& CurrentPath() const { return CurrentKey_; }

  // Writes raise ERegistryException when no key is open or the store cannot be written.
  void WriteString(const std::string& Name, const std::string& Value);
  void WriteInteger(const std::string& Name, std::int32_t Value);
  // A missing value (or no open key) reads as empty text; a value of another type raises.
  std::string ReadString(const std::string& Name) const;
  // A missing value, no open key or a value of another type raises.
  std::int32_t ReadInteger(const std::string& Name) const;
  bool ValueExists(const std::string& Name) const;

 private:
  std::string RootFilePath() const;
  std::string ReadStore() const;
  void WriteValue(const std::string& Name, const std::string& TypedText);

  std::string BaseDirectory_;
  TRegistryRoot Root_ = TRegistryRoot::HKEY_CURRENT_USER;
  std::string CurrentKey_;
  bool KeyOpen_ = false;
};

}  // namespace tolvane
