#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer + UndefinedBehaviorSanitizer and runs
# every test; then builds with ThreadSanitizer and runs the component's tests again (the Qt parts are left out there: Qt itself is not built for it).
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
