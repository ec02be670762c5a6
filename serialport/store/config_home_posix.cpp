#include "serialport/store/config_home.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tolvane {
namespace {

constexpr const char* ConfigHomeVariable = "XDG_CONFIG_HOME";
constexpr const char* HomeVariable = "HOME";
constexpr const char* DefaultConfigSubdirectory = "/.config";

}  // namespace

std::string UserHomeDirectory() {
  if (const char* Home = std::getenv(HomeVariable); Home != nullptr && *Home != '\0') return Home;
  std::vector<char> Buffer(16 * 1024);
  passwd Entry{};
  passwd* Found = nullptr;
  if (::getpwuid_r(::getuid(), &Entry, Buffer.data(), Buffer.size(), &Found) == 0 &&
      Found != nullptr && Found->pw_dir != nullptr) {
    return Found->pw_dir;
  }
  return {};
}

std::string UserConfigHome() {
  // A relative $XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
  if (const char* Config = std::getenv(ConfigHomeVariable); Config != nullptr && *Config == '/') {
    return Config;
  }
  const std::string Home = UserHomeDirectory();
  return Home.empty() ? std::string() : Home + DefaultConfigSubdirectory;
}

std::string UserStateHome() {
  const char* State = std::getenv("XDG_STATE_HOME");
  return State != nullptr ? State : "";
}

}  // namespace tolvane
