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

# Windows: the component's tests, the device contract on the Win32 backend and tolvane-cli.exe
# end to end, cross-built and run by CTest under Wine (scripts/wine/test.sh).
scripts/wine/test.sh build-asan/tools/controller_simulator
