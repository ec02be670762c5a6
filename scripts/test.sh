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

# Windows: the component's tests that need no Linux device, cross-built, and tolvane-cli.exe end
# to end, both under Wine; the simulator's line is linked as COM5.
start=$SECONDS
cmake --preset mingw -DBUILD_TESTING=ON >/dev/null
cmake --build --preset mingw -j2 --target tolvane-cli serialport_tests
mkdir -p build-mingw/wine
g++ -std=c++20 -O2 -Wall -Wextra -Werror -shared -fPIC -o build-mingw/wine/modem_lines.so \
  tests/support/wine/modem_lines_preload.cpp -ldl
wine_log=build-mingw/wine/wineserver.log
scripts/wine/hidden.sh bash -c '
  set -e
  scripts/wine/prefix.sh build-mingw/wine/prefix
  export WINEPREFIX=$PWD/build-mingw/wine/prefix
  wineserver -p 2>>"$1"
  status=0
  scripts/wine/run.sh build-mingw/tests/serialport/serialport_tests.exe --gtest_brief=1 || status=$?
  scripts/wine/cli_e2e.sh build-asan/tools/controller_simulator build-mingw/app/tolvane-cli.exe || status=$?
  wineserver -k || true
  exit $status' hidden "$wine_log"
echo "Windows under Wine: $((SECONDS - start)) s"
