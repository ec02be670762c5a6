#!/usr/bin/env bash
# Makes a Wine prefix for the Windows tests, or refreshes one: 64-bit, no COM1 (removed from
# dosdevices and blanked in HKLM\Software\Wine\Ports, since /dev/ttyS0 is this machine's
# console). Wine still maps the machine's serial devices to other COM names by itself; the
# tests run with /dev/null over every /dev/ttyS* (scripts/wine/hidden.sh) and open only the
# COM5 they link to a pseudo-terminal. (A blank Ports value turns that name's serial driver off
# altogether, so only COM1 is blanked.) Run it through scripts/wine/hidden.sh.
#   scripts/wine/prefix.sh PREFIX
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 PREFIX" >&2; exit 2; }
export WINEPREFIX="$(realpath -m "$1")" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
fi
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "" /f >/dev/null 2>&1
wineserver -w
rm -f "$WINEPREFIX"/dosdevices/com1
