#!/usr/bin/env bash
# Cross-builds tolvane-cli.exe for 64-bit Windows with mingw-w64 (preset mingw, in
# build-mingw/): only the component, the logic and the command line, two jobs at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset mingw -DBUILD_TESTING=OFF >/dev/null
cmake --build --preset mingw -j2 --target tolvane-cli tolvane_catalogs
