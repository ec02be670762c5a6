// The user's configuration directory: $XDG_CONFIG_HOME when it is an absolute path, else
// ~/.config (the home directory from $HOME, else the password database); empty when neither is
// known.
#pragma once

#include <string>

namespace tolvane {

std::string UserConfigHome();

}  // namespace tolvane
