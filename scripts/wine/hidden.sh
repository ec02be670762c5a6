#!/usr/bin/env bash
# Runs a command for Wine with this machine's console hidden: /dev/ttyS0 is the console here, and
# Wine would map it as COM1 by itself. The command runs in a mount namespace of its own in which
# /dev/null lies over every /dev/ttyS* device, so nothing it starts can open one of them; Wine's
# own debug output is off. Needs root (unshare -m).
#   scripts/wine/hidden.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export WINEDEBUG=-all
exec ${sudo:+$sudo --preserve-env} unshare -m --propagation private -- bash -c '
  set -e
  for tty in /dev/ttyS*; do [ -e "$tty" ] && mount --bind /dev/null "$tty"; done
  exec "$@"' hidden "$@"
