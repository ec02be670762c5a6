#!/usr/bin/env bash
# Runs a Windows program of the tests under Wine (CTest's emulator for the mingw build):
# 64-bit Wine on the prefix $WINEPREFIX (by default build-mingw/wine/prefix, made by
# scripts/wine/prefix.sh), with the modem-line library preloaded for pseudo-terminals
# ($TOLVANE_MODEM_PRELOAD, by default build-mingw/wine/modem_lines.so). It refuses to run
# unless /dev/ttyS0, this machine's console, is hidden (scripts/wine/hidden.sh), so that no
# Windows program can reach it as COM1.
#   scripts/wine/run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
if [ -e /dev/ttyS0 ] && [ "$(stat -L -c %t:%T /dev/ttyS0)" != "$(stat -L -c %t:%T /dev/null)" ]; then
  echo "$0: /dev/ttyS0 is not hidden; run through scripts/wine/hidden.sh" >&2
  exit 125
fi
export WINEPREFIX="${WINEPREFIX:-$root/build-mingw/wine/prefix}" WINEDEBUG="${TOLVANE_WINEDEBUG:--all}"
export LD_PRELOAD="${TOLVANE_MODEM_PRELOAD:-$root/build-mingw/wine/modem_lines.so}"
exec /usr/lib/wine/wine64 "$@"
