// The user's configuration directory: $XDG_CONFIG_HOME when it is an absolute path, else
// ~/.config (the home directory from $HOME, else the password database); empty when neither is
// known.
#pragma once

#include <string>

namespace tolvane {

std::string UserConfigHome();
// The user's home directory: $HOME, else the password database; empty when neither knows it.
std::string UserHomeDirectory();
// Where the user's state (histories, backups) belongs: $XDG_STATE_HOME as it is set (empty when
// it is not; the caller falls back to ~/.local/state); on Windows %LOCALAPPDATA%.
std::string UserStateHome();

}  // namespace tolvane
