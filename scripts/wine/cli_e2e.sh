#!/usr/bin/env bash
# tolvane-cli.exe end to end under Wine against the controller simulator, whose
# pseudo-terminal is linked as COM5 of the prefix: Read, Write with its read-back, a silent
# register, a pulled cable, bad files, Ctrl+C during a write, and the command line a script
# relies on. The remote-* cases reach the simulator through the real ser2net on 127.0.0.1
# (rfc2217:// and socket://): Read, a refusal, a connection cut under a read and under a write,
# and a port nobody listens on. Runs the named cases (all without names; CTest runs each as a
# test of its own, "CliWine/<case>"), prints one line per check and exits with the number of
# failed checks. Run through scripts/wine/hidden.sh.
#   scripts/wine/cli_e2e.sh CONTROLLER_SIMULATOR TOLVANE_CLI_EXE [CASE...]
# Cases: help version read write silent-register pulled-cable bad-files absent-port full-output
#        quit-signal remote-read remote-raw-read remote-line-vanishes remote-server-stops
#        remote-nobody-listens
set -uo pipefail
[ $# -ge 2 ] || { echo "usage: $0 CONTROLLER_SIMULATOR TOLVANE_CLI_EXE [CASE...]" >&2; exit 2; }
simulator="$(realpath "$1")" cli="$(realpath "$2")"
shift 2
all_cases=(help version read write silent-register pulled-cable bad-files absent-port full-output
           quit-signal remote-read remote-raw-read remote-line-vanishes remote-server-stops
           remote-nobody-listens)
cases=("${@:-${all_cases[@]}}")
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/../../build-mingw/wine/prefix}"
work="$(mktemp -d)"
trap 'stop_server; stop_simulator; rm -rf "$work"' EXIT
failed=0
sim_pid=""
server_pid=""
line="$WINEPREFIX/dosdevices/com5"  # where the simulator links its line

stop_simulator() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  sim_pid=""
}
start_simulator() {
  stop_simulator
  : > "$work/simulator.log"
  "$simulator" --link "$line" --log "$work/simulator.log" "$@" \
    > "$work/simulator.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ -L "$line" ] && grep -q /dev/ "$work/simulator.out" && return; sleep 0.05; done
  echo "the simulator did not start" >&2
}
# A loopback port nobody listens on (none in /proc/net/tcp), picked at random.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 40000))
    listening "$port" || { echo "$port"; return; }
  done
  echo "no free port found" >&2
  return 1
}
listening() {  # listening PORT: some socket listens on it (state 0A) on IPv4 or IPv6
  grep -qi "^ *[0-9]*: [0-9A-F]*:$(printf %04X "$1") [0-9A-F]*:0000 0A" /proc/net/tcp /proc/net/tcp6 2>/dev/null
}
stop_server() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  server_pid=""
}
# start_station [SIMULATOR OPTION...]: the simulator, with ser2net in front of its line on
# 127.0.0.1: RFC 2217 on $port, raw TCP on $raw_port. ser2net opens the line only when a
# client connects, so it is watched for listening, not connected to.
start_station() {
  line="$work/line"
  start_simulator "$@"
  port="$(free_port)" raw_port="$(free_port)"
  while [ "$raw_port" = "$port" ]; do raw_port="$(free_port)"; done
  cat > "$work/ser2net.yaml" <<YAML
%YAML 1.1
---
connection: &controller
  accepter: telnet(rfc2217),tcp,127.0.0.1,$port
  connector: serialdev,$line,9600n81,local
  options:
    chardelay: false
connection: &raw
  accepter: tcp,127.0.0.1,$raw_port
  connector: serialdev,$line,9600n81,local
  options:
    chardelay: false
YAML
  /usr/sbin/ser2net -n -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" > "$work/ser2net.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do listening "$port" && listening "$raw_port" && return; sleep 0.05; done
  echo "ser2net did not listen: $(cat "$work/ser2net.log")" >&2
}
# cli ARGS...: runs tolvane-cli.exe in $work; exit code in $code, output in $out and $err.
cli() {
  (cd "$work" && "$here/run.sh" "$cli" "$@" > "$work/out.txt" 2> "$work/err.txt")
  code=$?
  out="$(cat "$work/out.txt")" err="$(cat "$work/err.txt")"
}
check() {  # check WHAT CONDITION...
  local what="$1"; shift
  if "$@"; then echo "ok      $what"; else echo "FAILED  $what (exit $code)"; echo "$err" | sed 's/^/        /'; failed=$((failed + 1)); fi
}
contains() { case "$1" in *"$2"*) return 0;; *) return 1;; esac; }
values() {  # values UaMAX-value ... the eleven in table order
  local keys=(UaMAX IaMAX UgMax IgMax T__ON T_OFF T_Lig T_Slp SWR_H VOX_D SWH_D) i=0
  echo "[Settings]"
  for v in "$@"; do echo "${keys[$i]}=$v"; i=$((i + 1)); done
}
held=(02900 00850 00550 00200 00025 00060 00005 00020 00003 00015 00030)
history="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/tolvane/history"

case_help() {
  cli --help; check "--help exits 0 with the usage on stdout" [ "$code" -eq 0 ]
  check "--help prints the usage" contains "$out" "Usage: tolvane-cli"
}
case_version() {
  cli --version; check "--version exits 0" [ "$code" -eq 0 ]
  check "--version names the version" [ "$(printf %s "$out" | tr -d '\r')" = "tolvane-cli 0.0.1" ]
}
case_read() {
  rm -rf "$history"
  start_simulator
  cli --port COM5 read values.ini
  check "read through COM5 exits 0" [ "$code" -eq 0 ]
  check "read saves the eleven values" [ "$(tr -d '\r' < "$work/values.ini")" = "$(values "${held[@]}")" ]
  check "read keeps a backup under %LOCALAPPDATA%\\tolvane\\history" \
    [ -n "$(ls "$history" 2>/dev/null | grep ' after read.ini')" ]
}
case_write() {
  local new=("${held[@]}"); new[0]=03100
  values "${new[@]}" > "$work/new.ini"
  start_simulator
  cli --port COM5 write new.ini
  check "write with read-back exits 0" [ "$code" -eq 0 ]
  check "write reached the controller" grep -q "register 0012 set to 03100" "$work/simulator.log"
  check "write names its backup" contains "$err" "before write.ini"
  cli --port COM5 --json compare new.ini
  check "compare --json finds them equal" contains "$out" '"equal":true'
}
case_silent-register() {
  start_simulator --silent-registers 0016
  cli --port COM5 read silent.ini
  check "a silent register fails the read with exit 1" [ "$code" -eq 1 ]
  check "the silent register is named" contains "$err" "UgMax (Ug max, V)"
  check "nothing is saved" [ ! -e "$work/silent.ini" ]
}
case_pulled-cable() {
  start_simulator --vanish-after 4
  cli --port COM5 read pulled.ini
  check "a pulled cable ends the read with exit 3" [ "$code" -eq 3 ]
  check "the lost line is named" contains "$err" "Connection to \\\\.\\COM5 lost"
}
case_bad-files() {
  local bad=("${held[@]}"); bad[7]=20
  values "${bad[@]}" > "$work/bad.ini"
  printf '\x7fELF garbage\n' > "$work/garbage.ini"
  start_simulator
  cli --port COM5 write bad.ini
  check "a bad file gives exit 2" [ "$code" -eq 2 ]
  check "the bad value is named" contains "$err" 'T_Slp (Time Sleep) holds "20"'
  cli --port COM5 write garbage.ini
  check "a file that is no values file is named so" contains "$err" "not a values file"
  check "nothing reached the line" bash -c "! grep -q ' rx ' '$work/simulator.log'"
}
case_absent-port() {
  cli --port COM9 read none.ini
  check "a port that is not there gives exit 3" [ "$code" -eq 3 ]
}
case_full-output() {
  (cd "$work" && "$here/run.sh" "$cli" ports > /dev/full 2> "$work/err.txt"); code=$?; err="$(cat "$work/err.txt")"
  check "ports > /dev/full fails" [ "$code" -ne 0 ]
}
# Ctrl+C: Wine turns the SIGINT into the console's Ctrl+C event, as Windows' console does.
case_quit-signal() {
  local new=("${held[@]}") i
  for i in "${!new[@]}"; do new[$i]=$(printf %05d $((10#${held[$i]} + 1))); done
  values "${new[@]}" > "$work/quit.ini"
  start_simulator --delay 100
  (cd "$work" && exec "$here/run.sh" "$cli" --port COM5 write quit.ini > "$work/out.txt" 2> "$work/err.txt") &
  local pid=$!
  for _ in $(seq 300); do [ "$(grep -c ' set to ' "$work/simulator.log")" -ge 3 ] && break; sleep 0.05; done
  kill -INT "$pid"; wait "$pid"; code=$?
  out="$(cat "$work/out.txt")" err="$(cat "$work/err.txt")"
  local written; written=$(grep -c ' set to ' "$work/simulator.log")
  check "Ctrl+C during a write exits 1" [ "$code" -eq 1 ]
  check "it stops between registers and says how many were written" \
    contains "$err" "Write stopped on quitting after $written of 11 registers"
  check "some registers were left" [ "$written" -lt 11 ]
  check "the backup is named with Windows separators" contains "$err" 'AppData\Local\tolvane\history\'
}

case_remote-read() {
  rm -rf "$history"
  start_station
  cli --port "rfc2217://127.0.0.1:$port" read remote.ini
  check "read through rfc2217:// exits 0" [ "$code" -eq 0 ]
  check "read saves the eleven values" [ "$(tr -d '\r' < "$work/remote.ini")" = "$(values "${held[@]}")" ]
  check "the read went through ser2net" grep -q "line opened" "$work/simulator.log"
  # ser2net serves one client: a second one is refused, in ser2net's own words.
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  cli --port "rfc2217://127.0.0.1:$port" read refused.ini
  exec 3>&-
  check "a refused connection gives exit 3" [ "$code" -eq 3 ]
  check "the refusal is in the server's words" contains "$err" "rfc2217://127.0.0.1:$port: Port already in use"
  check "nothing is saved" [ ! -e "$work/refused.ini" ]
}
case_remote-raw-read() {
  start_station
  cli --port "socket://127.0.0.1:$raw_port" read raw.ini
  check "read through socket:// exits 0" [ "$code" -eq 0 ]
  check "read saves the eleven values" [ "$(tr -d '\r' < "$work/raw.ini")" = "$(values "${held[@]}")" ]
}
# The remote adapter pulled: the line under ser2net closes, and ser2net ends the connection.
case_remote-line-vanishes() {
  start_station --vanish-after 4
  cli --port "rfc2217://127.0.0.1:$port" read vanished.ini
  check "a line lost under ser2net ends the read with exit 3" [ "$code" -eq 3 ]
  check "the lost line is named" contains "$err" "Connection to rfc2217://127.0.0.1:$port lost"
  check "nothing is saved" [ ! -e "$work/vanished.ini" ]
}
# ser2net itself ends while a write is under way.
case_remote-server-stops() {
  local new=("${held[@]}"); new[0]=03100
  values "${new[@]}" > "$work/new.ini"
  start_station
  (for _ in $(seq 400); do grep -q "register 0012 set to" "$work/simulator.log" && break; sleep 0.02; done
   kill "$server_pid") &
  local killer=$!
  cli --port "socket://127.0.0.1:$raw_port" write new.ini
  wait "$killer"
  check "the write had begun" grep -q "register 0012 set to 03100" "$work/simulator.log"
  check "a server gone during a write ends it with exit 3" [ "$code" -eq 3 ]
  check "the lost line is named" contains "$err" "Connection to socket://127.0.0.1:$raw_port lost"
}
case_remote-nobody-listens() {
  local nobody started
  nobody="$(free_port)"
  started=$(date +%s%N)
  cli --port "rfc2217://127.0.0.1:$nobody" read nobody.ini
  echo "info    refused after $(( ($(date +%s%N) - started) / 1000000 )) ms, Wine's start included"
  check "a port nobody listens on gives exit 3" [ "$code" -eq 3 ]
  check "the reason is the refused connection" contains "$err" "cannot open the port rfc2217://127.0.0.1:$nobody: "
  check "in the system's words" contains "$err" "refused"
}

for name in "${cases[@]}"; do
  if ! declare -F "case_$name" > /dev/null; then
    echo "FAILED  no case named $name"; failed=$((failed + 1)); continue
  fi
  "case_$name"
  stop_server
  stop_simulator
  line="$WINEPREFIX/dosdevices/com5"
done
echo "$failed failed"
exit "$failed"
