#!/usr/bin/env bash
# Pacewick as users get it: installed from the package into a fresh Wine prefix,
# started from where the installer put it, with programs in both Run keys, and
# timed from another process (installed_timer) as another program sees it:
#   - how long a value that a program adds to the user's Run key stays there,
#     while Pacewick waits idle and while "Run All" starts 30 programs;
#   - start to the main window shown, and Exit to the process gone;
#   - Exit while the countdown starts 300 held programs, to the process gone.
# The delay is Manual but in the last, so nothing else starts but what Run All starts. Every program
# started is record_launch.exe, which appends its command line to a log and ends.
#   bench/installed.sh BUILD_DIR
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
build=$(realpath "$1")
msi=$build/pacewick.msi
timer=$build/bin/installed_timer.exe
probe_exe=$build/bin/app_probe.exe
record_exe=$build/bin/record_launch.exe
for file in "$msi" "$timer" "$probe_exe" "$record_exe"; do
  [ -f "$file" ] || { echo "missing $file: build first (make build)" >&2; exit 2; }
done

work=$build/bench-installed
export LC_ALL=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$work/prefix
# Inherited by Pacewick and so by every program it starts.
export PACEWICK_LAUNCH_LOG='C:\bench\launch.log'
launch_log=$WINEPREFIX/drive_c/bench/launch.log

readonly RUN='Software\Microsoft\Windows\CurrentVersion\Run'
readonly BACKUP='software\Quorvell Software\Pacewick\BackUp'
readonly CONFIG='software\Quorvell Software\Pacewick\Config'
source "$build/test-packages/product-codes.sh"  # PRODUCT: the package's product code
readonly installed='C:\Program Files\Quorvell Software\Pacewick\pacewick.exe'
readonly idle_newcomers=50 idle_rest_ms=300
readonly run_all_programs=30 run_all_min_newcomers=10 run_all_rest_ms=20
readonly start_exit_runs=5
# Newcomers with many entries held: each size in every round, the rounds one
# after the other, so that a busy stretch of the machine weighs on all sizes.
readonly held_sizes="20 1000 10000" held_newcomers=100 held_rest_ms=100 rounds=${BENCH_ROUNDS:-2}
readonly burst=400 burst_runs=3

pacewick_pid=
stop_everything() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$pacewick_pid" ]; then wait "$pacewick_pid" 2>/dev/null || true; fi
}
trap stop_everything EXIT

failures=0
failed() { echo "FAILED: $*"; failures=$((failures + 1)); }
win_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
probe() { wine "$(win_path "$probe_exe")" "$@" 2>/dev/null | tr -d '\r'; }
timer() { wine "$(win_path "$timer")" "$@" 2>&1 | tr -d '\r'; }

# import_reg NAME: regedit imports the REGEDIT4 text on standard input in one go
# (one wine start for dozens of values instead of one each).
import_reg() {
  local file="$work/$1.reg"
  { printf 'REGEDIT4\r\n\r\n'; sed 's/$/\r/'; } >"$file"
  wine regedit /s "$(win_path "$file")" >/dev/null 2>&1
}
# run_values HIVE COUNT LABEL: REGEDIT4 lines of COUNT harmless programs.
run_values() {
  local i
  printf '[%s\\%s]\n' "$1" "$RUN"
  for ((i = 1; i <= $2; i++)); do
    printf '"%s program %d"="\\"C:\\\\bench\\\\record_launch.exe\\" listed %s %d"\n' "$3" "$i" "$3" "$i"
  done
  printf '\n'
}

# held_values COUNT: REGEDIT4 lines that make the user's BackUp key hold COUNT
# programs (the machine's keeps its 10), as if taken over earlier.
held_values() {
  local i
  printf '[-HKEY_CURRENT_USER\\%s]\n\n[HKEY_CURRENT_USER\\%s]\n' "$BACKUP" "$BACKUP"
  for ((i = 1; i <= $1; i++)); do
    printf '"user program %d"="\\"C:\\\\bench\\\\record_launch.exe\\" listed user %d"\n' "$i" "$i"
  done
  printf '\n'
}

# start_pacewick NAME: the installed program in the background; true once its window exists.
start_pacewick() {
  wine "$installed" >"$work/$1.out" 2>&1 &
  pacewick_pid=$!
  probe wait-window 60000
}
# exit_pacewick: presses Exit and waits for the process to end.
exit_pacewick() {
  local i
  probe exit || true
  for ((i = 0; i < 300; i++)); do
    kill -0 "$pacewick_pid" 2>/dev/null || { wait "$pacewick_pid" 2>/dev/null || true; pacewick_pid=; return 0; }
    sleep 0.1
  done
  failed "Pacewick did not end on Exit"
  return 1
}

# exit_during_launch: Exit pressed while the countdown starts 300 held programs
# (once 20 have run), timed from the press until the process is gone; every
# program started must have started once and every one must still be held.
readonly exit_launch_programs=300 exit_launch_delay_ms=1000 exit_launch_started=20 exit_launch_rounds=3
# The goal allows for an idle Exit's time, as measured by "start and Exit" before it.
exit_during_launch() {
  local idle_exit
  idle_exit=$(sed -n 's/.*Exit to process gone: median \([0-9.]*\) ms.*/\1/p' "$results" | tail -1)
  echo "== Exit while the countdown starts $exit_launch_programs held programs, $exit_launch_rounds times"
  timer exit-during-launch "$installed" "$exit_launch_programs" "$exit_launch_delay_ms" "$exit_launch_started" \
    "$exit_launch_rounds" "${idle_exit:-0}" "$PACEWICK_LAUNCH_LOG" | tee -a "$results" ||
    failed "Exit during the countdown's starts"
}

echo "== a fresh Wine prefix: $WINEPREFIX"
wineserver -k >/dev/null 2>&1 || true  # a run cut short last time
rm -rf "$work"
mkdir -p "$work"
source "$(dirname "$0")/../tools/wine-prefix.sh"
prefix_ready

echo "== installing $msi quietly"
wine msiexec /i "$(win_path "$msi")" /qn >/dev/null 2>&1 || true
# The first msiexec of a new prefix can return while the installation still runs
# (it waits on services that wineboot is still starting): wait for its result.
installed_file="$WINEPREFIX/drive_c/Program Files/Quorvell Software/Pacewick/pacewick.exe"
for ((i = 0; i < 120; i++)); do
  [ -f "$installed_file" ] &&
    wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$PRODUCT" >/dev/null 2>&1 &&
    wine reg query "HKLM\\$RUN" /v Pacewick >/dev/null 2>&1 && break
  sleep 1
done
if ! cmp -s "$build/bin/pacewick.exe" "$installed_file"; then
  echo "the package did not install pacewick.exe" >&2
  exit 1
fi
mkdir -p "$WINEPREFIX/drive_c/bench"
cp "$record_exe" "$WINEPREFIX/drive_c/bench/record_launch.exe"

results=$work/results.txt
: >"$results"

echo "== idle: 20 programs taken over at the start, then $idle_newcomers newcomers"
import_reg idle <<EOF
[HKEY_CURRENT_USER\\$CONFIG]
"Manual"=dword:00000001

$(run_values HKEY_CURRENT_USER 10 user)
$(run_values HKEY_LOCAL_MACHINE 10 machine)
EOF
if start_pacewick idle; then
  rows=$(probe rows | grep -c ' listed ' || true)
  [ "$rows" -eq 20 ] || failed "the list holds $rows of the 20 programs"
  timer newcomers "$idle_newcomers" "$idle_rest_ms" | tee -a "$results" || failed "idle newcomers"
  exit_pacewick || true
else
  failed "no Pacewick window (idle)"
fi
[ ! -s "$launch_log" ] || failed "programs were started with the delay set to Manual"

echo "== newcomers with 20, 1,000 and 10,000 entries held, $rounds rounds; Exit after a burst of $burst newcomers"
for ((round = 1; round <= rounds; round++)); do
  for held in $held_sizes; do
    held_values $((held - 10)) | import_reg "held$held"
    if start_pacewick "held$held"; then
      sleep 2  # the list read, the splash gone
      timer newcomers "$held_newcomers" "$held_rest_ms" "$held" | tee -a "$results" || failed "newcomers, $held held"
      exit_pacewick || true
    else
      failed "no Pacewick window ($held held)"
    fi
  done
  timer burst-exit "$installed" "$burst" "$burst_runs" | tee -a "$results" || failed "Exit after a burst"
done

echo "== Run All: $run_all_programs programs listed, newcomers written while they start (rounds until $run_all_min_newcomers)"
timer run-all "$installed" "$run_all_programs" "$run_all_min_newcomers" "$run_all_rest_ms" "$PACEWICK_LAUNCH_LOG" |
  tee -a "$results" || failed "newcomers during Run All"

echo "== start and Exit, $start_exit_runs times (the Run keys hold only Pacewick's own value)"
timer start-exit "$installed" "$start_exit_runs" | tee -a "$results" || failed "start and Exit"

exit_during_launch

echo
echo "=== Pacewick installed from the package ($(nproc) cores, $(wine --version 2>/dev/null), load average $(cut -d" " -f1-3 /proc/loadavg))"
echo "targets: newcomer median < 10 ms and max < 50 ms whatever is held; during Run All max < 150 ms; Exit after a burst < 3 s (Wine keeps a tray process about 2 s); Exit during the starts < 1000 ms beyond an idle Exit"
cat "$results"
if [ "$failures" -ne 0 ]; then
  echo "$failures step(s) failed"
  exit 1
fi
