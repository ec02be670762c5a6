#!/usr/bin/env bash
# tolvane-cli.exe end to end under Wine against the controller simulator, whose
# pseudo-terminal is linked as COM5 of the prefix: Read, Write with its read-back, a silent
# register, a pulled cable, bad files, Ctrl+C during a write, and the command line a script
# relies on. Runs the named cases (all without names; CTest runs each as a test of its own,
# "CliWine/<case>"), prints one line per check and exits with the number of failed checks. Run
# through scripts/wine/hidden.sh.
#   scripts/wine/cli_e2e.sh CONTROLLER_SIMULATOR TOLVANE_CLI_EXE [CASE...]
# Cases: help version read write silent-register pulled-cable bad-files absent-port full-output
#        quit-signal
set -uo pipefail
[ $# -ge 2 ] || { echo "usage: $0 CONTROLLER_SIMULATOR TOLVANE_CLI_EXE [CASE...]" >&2; exit 2; }
simulator="$(realpath "$1")" cli="$(realpath "$2")"
shift 2
all_cases=(help version read write silent-register pulled-cable bad-files absent-port full-output
           quit-signal)
cases=("${@:-${all_cases[@]}}")
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/../../build-mingw/wine/prefix}"
work="$(mktemp -d)"
trap 'stop_simulator; rm -rf "$work"' EXIT
failed=0
sim_pid=""

stop_simulator() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  sim_pid=""
}
start_simulator() {
  stop_simulator
  : > "$work/simulator.log"
  "$simulator" --link "$WINEPREFIX/dosdevices/com5" --log "$work/simulator.log" "$@" \
    > "$work/simulator.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ -L "$WINEPREFIX/dosdevices/com5" ] && grep -q /dev/ "$work/simulator.out" && return; sleep 0.05; done
  echo "the simulator did not start" >&2
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

for name in "${cases[@]}"; do
  if ! declare -F "case_$name" > /dev/null; then
    echo "FAILED  no case named $name"; failed=$((failed + 1)); continue
  fi
  "case_$name"
  stop_simulator
done
echo "$failed failed"
exit "$failed"
