#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer + UndefinedBehaviorSanitizer and runs
# every test; then builds with ThreadSanitizer and runs the component's tests again (the Qt parts are left out there: Qt itself is not built for it).
# Last, tolvane-cli.exe cross-built for Windows runs end to end under Wine against the simulator
# (scripts/wine/), with this machine's /dev/ttyS0 hidden.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j2

cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan -j2

# Windows: the component's tests that need no Linux device, the device contract on the Win32
# backend and tolvane-cli.exe end to end (CliWine/*), cross-built and run by CTest under Wine.
# The contract's far end is a fresh pseudo-terminal per test, linked as COM7 by pty_far_end; the
# simulator's line is linked as COM5.
start=$SECONDS
cmake --preset mingw -DBUILD_TESTING=ON \
  -DTOLVANE_LINUX_SIMULATOR="$PWD/build-asan/tools/controller_simulator" >/dev/null
cmake --build --preset mingw -j2 --target tolvane-cli serialport_tests
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
echo "Windows under Wine: $((SECONDS - start)) s"
