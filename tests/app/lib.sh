# Shared by the end-to-end scripts: fresh Wine prefixes, the registry as exported
# by regedit (exact names, types and data), the probe, and the failure report.
#   source lib.sh BUILD_DIR PACEWICK_EXE RECORD_LAUNCH_EXE PROBE_EXE MSI
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/wine-prefix.sh"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
build=$1 pacewick_exe=$2 record_exe=$3 probe_exe=$4 msi=$5
keeper_fixture=${7:-}  # the keeper scripts' fixture
work="$build/app-tests/$(basename "$0" .sh)"
rm -rf "$work"
mkdir -p "$work"
export LC_ALL=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPREFIX

readonly RUN='Software\Microsoft\Windows\CurrentVersion\Run'
readonly BACKUP='software\Quorvell Software\Pacewick\BackUp'
readonly CONFIG='software\Quorvell Software\Pacewick\Config'
readonly PRODUCT='{6D2F0A91-3C4E-4B7A-9E15-28C7D04B3A62}'

failures=0
prefixes=()
background=()

stop_everything() {
  local p
  for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true; done
  for p in "${background[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap stop_everything EXIT

# new_prefix NAME: a fresh prefix, made current, its server kept for the script.
new_prefix() {
  export WINEPREFIX="$work/$1"
  prefixes+=("$WINEPREFIX")
  fresh_prefix "$build/wineprefix-template"
}

# The package, installed quietly. The first msiexec of a brand-new prefix may
# give up (91) while wineboot is still settling: it is tried again.
install_msi() {
  local attempt
  for attempt in 1 2 3 4 5; do wine msiexec /i "$(win_path "$msi")" /qn && return 0; sleep 2; done
  return 1
}

# The Windows path of a file of the current prefix's drive C.
c_drive() { printf '%s' "$WINEPREFIX/drive_c/$1"; }
win_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# put_programs: a copy of pacewick.exe under Program Files and record_launch.exe
# in C:\tools of the current prefix; sets exe (its Windows path) and launch_log
# (the recorder's log, which every started program appends its line to).
put_programs() {
  mkdir -p "$(c_drive 'Program Files/Pacewick Test')" "$(c_drive tools)"
  cp "$pacewick_exe" "$(c_drive 'Program Files/Pacewick Test/pacewick.exe')"
  cp "$record_exe" "$(c_drive tools/record_launch.exe)"
  exe='C:\Program Files\Pacewick Test\pacewick.exe'
  export PACEWICK_LAUNCH_LOG='C:\launch.log'
  launch_log=$(c_drive launch.log)
}

reg_add() { wine reg add "$@" /f >/dev/null; }
# The keys the installer makes: Config with its settings, both BackUp keys.
make_program_keys() {  # DELAY_MS RESTORED
  reg_add "HKCU\\$CONFIG" /v Manual /t REG_DWORD /d 0
  reg_add "HKCU\\$CONFIG" /v TimeDelay /t REG_DWORD /d "$1"
  reg_add "HKCU\\$CONFIG" /v Restored /t REG_DWORD /d "$2"
  make_key "HKCU\\$BACKUP"
  make_key "HKLM\\$BACKUP"
  make_key "HKCU\\$RUN"
}
# An empty key, as the installer makes it ("reg add KEY" alone would give the key
# an empty default value, which is a value like any other).
make_key() {
  reg_add "$1" /v pacewick-test /d x
  wine reg delete "$1" /v pacewick-test /f >/dev/null
}

# values HIVE\KEY: the key's values as regedit exports them, one sorted line each
# ("Name"="data", "Name"=hex(2):..., "Name"=dword:...); "MISSING" for no key.
values() {
  local file="$work/export.reg"
  rm -f "$file"
  wine regedit /e "$(win_path "$file")" "$1" >/dev/null 2>&1 || true
  if [ ! -s "$file" ]; then echo MISSING; return; fi
  iconv -f UTF-16LE -t UTF-8 "$file" | tr -d '\r' | sed -e ':a' -e '/\\$/N; s/\\\n  //; ta' |
    grep '^"' | LC_ALL=C sort || true
}
registry_snapshot() {
  values "HKEY_CURRENT_USER\\$RUN"; values "HKEY_LOCAL_MACHINE\\$RUN"
  values "HKEY_CURRENT_USER\\$BACKUP"; values "HKEY_LOCAL_MACHINE\\$BACKUP"
  values "HKEY_CURRENT_USER\\$CONFIG"
}
# The exported line of a REG_SZ value.
sz_line() { local d=${2//\\/\\\\}; d=${d//\"/\\\"}; printf '"%s"="%s"' "$1" "$d"; }

probe() { wine "$(win_path "$probe_exe")" "$@" 2>/dev/null | tr -d '\r'; }

# start_pacewick LOG EXE_WINDOWS_PATH [ARGS]: in the background, output to LOG.
start_pacewick() {
  local log="$work/$1.out"; shift
  wine "$@" >"$log" 2>&1 &
  background+=($!)
  last_pid=$!
}
# wait_pid PID SECONDS: true when the process ended in time.
wait_pid() {
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# The keeper service's log (under %ProgramData% of the service's account:
# C:\ProgramData on Windows, elsewhere under Wine), and the fixture that talks
# to the service from inside the prefix.
log_file() { find "$WINEPREFIX/drive_c" -path '*/Quorvell Software/Pacewick/keeper.log' 2>/dev/null | head -1; }
log_says() { grep -q "$1" "$(log_file)" 2>/dev/null; }
fixture() { wine "$(win_path "$keeper_fixture")" "$@" 2>&1 | tr -d '\r'; }
# wait_until SECONDS COMMAND...: true once the command succeeds.
wait_until() {
  local i limit=$(($1 * 10)); shift
  for ((i = 0; i < limit; i++)); do "$@" && return 0; sleep 0.1; done
  return 1
}

pass() { echo "ok   $1"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
# expect DESCRIPTION EXPECTED ACTUAL
expect() {
  if [ "$2" == "$3" ]; then pass "$1"; else
    fail "$1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/       /' || true
  fi
}
# check DESCRIPTION COMMAND...
check() { local d=$1; shift; if "$@"; then pass "$d"; else fail "$d"; fi; }
not() { ! "$@"; }

finish() {
  if [ "$failures" -ne 0 ]; then
    local f
    for f in "$work"/*.out; do
      [ -e "$f" ] || continue
      echo "----- standard output of $(basename "$f" .out)"; tr -d '\r' <"$f"
    done
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  stop_everything
  rm -rf "${prefixes[@]}"  # hundreds of MB each; a failed run keeps them to look into
}
