#!/usr/bin/env bash
# Installs what is missing, builds the utility and the controller simulator, and starts the
# utility with the simulator as its far end, so Connect, Read and Write work without hardware.
#
# The demo runs a copy of the utility in build/demo/, so its Settings.ini (beside that copy)
# is the demo's own and never the one of a real installation. The copy's port is set to the
# simulator's line, build/demo/controller, at every start.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2

demo="$PWD/build/demo"
line="$demo/controller"
mkdir -p "$demo"
cp build/app/tolvane "$demo/tolvane"
if [ -f "$demo/Settings.ini" ] && grep -q '^Port=' "$demo/Settings.ini"; then
  sed -i "s|^Port=.*|Port=$line|" "$demo/Settings.ini"
elif [ -f "$demo/Settings.ini" ] && grep -q '^\[ComPort\]' "$demo/Settings.ini"; then
  sed -i "/^\[ComPort\]/a Port=$line" "$demo/Settings.ini"
else
  printf '[ComPort]\nPort=%s\n' "$line" >>"$demo/Settings.ini"
fi

build/tools/controller_simulator --link "$line" --log "$demo/simulator.log" >/dev/null &
simulator=$!
trap 'kill "$simulator" 2>/dev/null; wait "$simulator" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$line" ] && break; sleep 0.1; done
# Without its far end the utility would start all the same and only fail at Connect.
if ! kill -0 "$simulator" 2>/dev/null || [ ! -e "$line" ]; then
  echo "The controller simulator did not start; see $demo/simulator.log" >&2
  exit 1
fi

echo "Controller simulator on $line (log: $demo/simulator.log)"
"$demo/tolvane" "$@"
