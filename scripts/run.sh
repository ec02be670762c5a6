#!/usr/bin/env bash
# Builds what the demo needs (the utility and the controller simulator, optimised, nothing else)
# and starts the utility with the simulator as its far end, so Connect, Read and Write work
# without hardware. Arguments are passed on to the utility.
#
# The demo runs a copy of the utility in build-release/demo/, so its Settings.ini (beside that
# copy) is the demo's own and never the one of a real installation. The copy's port is set to
# the simulator's line, build-release/demo/controller, at every start. The simulator keeps its
# registers in build-release/demo/registers.txt, so values written survive the next demo.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '[%3ds] %s\n' "$SECONDS" "$*"; }

# A window needs a display: say so before the build, not after it. A platform chosen by hand
# (QT_QPA_PLATFORM=offscreen, vnc, ...) needs none.
if [ -z "${QT_QPA_PLATFORM:-}" ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'EOF'
There is no graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the utility's
window cannot open. Run this from a desktop session, or inside a virtual X display:

    sudo apt-get install xvfb       # once
    xvfb-run -a scripts/run.sh
EOF
    exit 1
  fi
  if [ -n "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && command -v xdpyinfo >/dev/null &&
    ! xdpyinfo >/dev/null 2>&1; then
    echo "The display $DISPLAY does not answer; start the utility where a desktop runs, or" \
      "inside a virtual X display: xvfb-run -a scripts/run.sh" >&2
    exit 1
  fi
fi

step "Checking the Debian packages the build needs"
scripts/install-deps.sh
step "Configuring the optimised build in build-release/"
cmake --preset release >/dev/null
step "Building the utility and the controller simulator"
cmake --build --preset release --target tolvane controller_simulator

build="$PWD/build-release"
demo="$build/demo"
line="$demo/controller"
step "Preparing the demo copy in $demo"
mkdir -p "$demo"
cp "$build/app/tolvane" "$demo/tolvane"
rm -rf "$demo/locale"
cp -R "$build/app/locale" "$demo/locale"
if [ -f "$demo/Settings.ini" ] && grep -q '^Port=' "$demo/Settings.ini"; then
  sed -i "s|^Port=.*|Port=$line|" "$demo/Settings.ini"
elif [ -f "$demo/Settings.ini" ] && grep -q '^\[ComPort\]' "$demo/Settings.ini"; then
  sed -i "/^\[ComPort\]/a Port=$line" "$demo/Settings.ini"
else
  printf '[ComPort]\nPort=%s\n' "$line" >>"$demo/Settings.ini"
fi

# Qt wants a private runtime directory; a session without one (a root shell, ssh, xvfb-run
# from a terminal) gets one for the demo's run.
runtime=""
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  runtime="$(mktemp -d)"
  export XDG_RUNTIME_DIR="$runtime"
fi

step "Starting the controller simulator"
"$build/tools/controller_simulator" --link "$line" --log "$demo/simulator.log" \
  --registers "$demo/registers.txt" >/dev/null &
simulator=$!
cleanup() {
  kill "$simulator" 2>/dev/null || true
  wait "$simulator" 2>/dev/null || true
  if [ -n "$runtime" ]; then rm -rf "$runtime"; fi
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "$line" ] && break; sleep 0.1; done
# Without its far end the utility would start all the same and only fail at Connect.
if ! kill -0 "$simulator" 2>/dev/null || [ ! -e "$line" ]; then
  echo "The controller simulator did not start; see $demo/simulator.log" >&2
  exit 1
fi

step "Starting the utility against the simulated controller on $line"
cat <<EOF
  1. Press Connect: the simulator answers the identification and Read, Write, Send and
     Clear become active.
  2. Press Read: the eleven fields take the controller's values, which differ from the
     utility's defaults.
  3. Change a value (five digits, such as 02500) and press Write; the simulator keeps it
     in $demo/registers.txt.
  View, Terminal shows every packet; the simulator's log is $demo/simulator.log.
  Close the window to end the demo.
EOF
"$demo/tolvane" "$@"
