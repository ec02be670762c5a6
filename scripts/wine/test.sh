#!/usr/bin/env bash
# The Windows part of the tests: cross-builds the component's tests and tolvane-cli.exe with
# mingw-w64 (the mingw preset, build-mingw/), makes the Wine prefix and runs CTest there under
# Wine with this machine's /dev/ttyS0 hidden: the component's tests that need no Linux device,
# the device contract on the Win32 backend (DeviceContract/Win32.*) and tolvane-cli.exe end to
# end against the controller simulator built for Linux (CliWine/*). Prints the time it took.
#   scripts/wine/test.sh CONTROLLER_SIMULATOR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 CONTROLLER_SIMULATOR" >&2; exit 2; }
simulator="$(realpath "$1")"
cd "$(dirname "$0")/../.."
SECONDS=0
# The contract's far end is a fresh pseudo-terminal per test, linked as COM7 by pty_far_end; the
# simulator's line is linked as COM5.
cmake --preset mingw -DBUILD_TESTING=ON \
  -DTOLVANE_LINUX_SIMULATOR="$simulator" >/dev/null
cmake --build --preset mingw -j2 --target tolvane-cli tolvane_catalogs serialport_tests
mkdir -p build-mingw/wine
g++ -std=c++20 -O2 -Wall -Wextra -Werror -shared -fPIC -o build-mingw/wine/modem_lines.so \
  tests/support/wine/modem_lines_preload.cpp -ldl
g++ -std=c++20 -O2 -Wall -Wextra -Werror -o build-mingw/wine/pty_far_end \
  tests/support/wine/pty_far_end.cpp -lutil
wine_log=build-mingw/wine/wineserver.log
scripts/wine/hidden.sh bash -c '
  set -e
  scripts/wine/prefix.sh build-mingw/wine/prefix
  export WINEPREFIX=$PWD/build-mingw/wine/prefix
  wineserver -p 2>>"$1"
  # Wine starts its services with the first program, and they keep that program'"'"'s output
  # open: started here, they cannot hold up CTest, which waits for the end of that output.
  scripts/wine/run.sh wineboot >/dev/null 2>&1
  coproc far { exec build-mingw/wine/pty_far_end 0 "$WINEPREFIX/dosdevices/com7"; }
  read -r _ port <&"${far[0]}"
  export TOLVANE_FAR_END_PORT=$port TOLVANE_FAR_END_COM=COM7
  status=0
  ctest --test-dir build-mingw --output-on-failure || status=$?
  kill "$far_PID" || true
  wineserver -k || true
  exit $status' hidden "$wine_log"
echo "Windows under Wine: $SECONDS s"
