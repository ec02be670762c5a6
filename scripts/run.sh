#!/usr/bin/env bash
# Builds what the demo needs (the utility and the controller simulator, optimised, nothing else)
# and starts the utility with the simulator as its far end, so Connect, Read and Write work
# without hardware. Arguments are passed on to the utility.
#
# The demo runs a copy of the utility in build-release/demo/, so its Settings.ini (beside that
# copy) is the demo's own and never the one of a real installation. The copy's port is set to
# the simulator's line, build-release/demo/controller, at every start. The simulator keeps its
# registers in build-release/demo/registers.txt, so values written survive the next demo.
#
# With --remote (the first argument) the utility reaches the simulator as it would a controller
# at a remote station: through ser2net, started in front of the simulator's line with a
# configuration in a temporary directory (RFC 2217 on 127.0.0.1 at a free port, chardelay off),
# and the copy's port is set to rfc2217://127.0.0.1:PORT. ser2net ends with the demo.
set -euo pipefail
cd "$(dirname "$0")/.."

remote=""
if [ "${1:-}" = "--remote" ]; then
  remote=1
  shift
fi

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
port="$line"
if [ -n "$remote" ]; then
  ser2net="$(command -v ser2net || true)"
  if [ -z "$ser2net" ] && [ -x /usr/sbin/ser2net ]; then ser2net=/usr/sbin/ser2net; fi
  if [ -z "$ser2net" ]; then
    echo "ser2net is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
  # Whether anything listens on the TCP port, on any IPv4 address (the kernel's table holds the
  # port in hexadecimal).
  listening() {
    awk -v port="$(printf ':%04X' "$1")" \
      '$4 == "0A" && substr($2, length($2) - 4) == port { found = 1 } END { exit !found }' \
      /proc/net/tcp
  }
  for _ in $(seq 20); do
    station_port=$((20000 + RANDOM % 40000))
    listening "$station_port" || break
  done
  port="rfc2217://127.0.0.1:$station_port"
fi
step "Preparing the demo copy in $demo"
mkdir -p "$demo"
cp "$build/app/tolvane" "$demo/tolvane"
rm -rf "$demo/locale"
cp -R "$build/app/locale" "$demo/locale"
if [ -f "$demo/Settings.ini" ] && grep -q '^Port=' "$demo/Settings.ini"; then
  sed -i "s|^Port=.*|Port=$port|" "$demo/Settings.ini"
elif [ -f "$demo/Settings.ini" ] && grep -q '^\[ComPort\]' "$demo/Settings.ini"; then
  sed -i "/^\[ComPort\]/a Port=$port" "$demo/Settings.ini"
else
  printf '[ComPort]\nPort=%s\n' "$port" >>"$demo/Settings.ini"
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
station=""
server=""
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    # ser2net does not always end at once on SIGTERM.
    for _ in $(seq 20); do kill -0 "$server" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  if [ -n "$station" ]; then rm -rf "$station"; fi
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

if [ -n "$remote" ]; then
  step "Starting ser2net in front of the simulator: RFC 2217 on 127.0.0.1:$station_port"
  station="$(mktemp -d)"
  cat >"$station/ser2net.yaml" <<EOF
%YAML 1.1
---
connection: &controller
  accepter: telnet(rfc2217),tcp,127.0.0.1,$station_port
  connector: serialdev,$line,9600n81,local
  options:
    chardelay: false
EOF
  "$ser2net" -n -u -c "$station/ser2net.yaml" -P "$station/ser2net.pid" \
    >"$station/ser2net.log" 2>&1 &
  server=$!
  for _ in $(seq 50); do listening "$station_port" && break; sleep 0.1; done
  if ! kill -0 "$server" 2>/dev/null || ! listening "$station_port"; then
    echo "ser2net did not start listening on 127.0.0.1:$station_port; it said:" >&2
    cat "$station/ser2net.log" >&2
    exit 1
  fi
fi

step "Starting the utility against the simulated controller on $port"
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
if [ -n "$remote" ]; then
  echo "  The line runs through ser2net ($station/ser2net.yaml, its output beside it)."
fi
"$demo/tolvane" "$@"
