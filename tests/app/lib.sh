# Shared by the end-to-end scripts: fresh prefixes, the registry as regedit exports it, the probe, the report.
#   source lib.sh BUILD_DIR PACEWICK_EXE RECORD_LAUNCH_EXE PROBE_EXE MSI
set -Eeuo pipefail
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
# Set before any desktop shell starts: an elevated Pacewick has the shell start programs, with its environment.
export PACEWICK_LAUNCH_LOG='C:\launch.log'

readonly RUN='Software\Microsoft\Windows\CurrentVersion\Run'
readonly BACKUP='software\Quorvell Software\Pacewick\BackUp'
readonly CONFIG='software\Quorvell Software\Pacewick\Config'
# PRODUCT, NEXT_PRODUCT, NEXT_VERSION: product codes of the package and of the test-only next version (next_msi).
source "$build/test-packages/product-codes.sh"
next_msi=$build/test-packages/pacewick-next.msi
readonly RUN32='Software\WOW6432Node\Microsoft\Windows\CurrentVersion\Run'
readonly BACKUP32='Software\WOW6432Node\Quorvell Software\Pacewick\BackUp'
# Where the package installs the program, as Windows and as this script see it.
readonly installed='C:\Program Files\Quorvell Software\Pacewick\pacewick.exe'
install_dir() { c_drive 'Program Files/Quorvell Software/Pacewick'; }

failures=0
prefixes=()
background=()

stop_everything() {
  local p
  for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true; done
  for p in "${background[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap stop_everything EXIT
# A failing command outside a check stops the script, said and reported as a failed check (substitutions too).
stopped_at() {
  [ "$BASHPID" == "$$" ] || return 0
  echo "not ok  the script stopped at line $1: $2 (exit $3)"
  failures=$((failures + 1))
  finish
}
trap 'stopped_at "$LINENO" "$BASH_COMMAND" "$?"' ERR

# new_prefix NAME: a fresh prefix, made current, its server kept for the script.
new_prefix() {
  export WINEPREFIX="$work/$1"
  prefixes+=("$WINEPREFIX")
  fresh_prefix "$build/wineprefix-template"
  # Explorer restarted to read the unmanaged-windows setting (else its tray window costs 2 s at every Exit).
  wineserver -k
  prefix_ready
}

# install_msi [PROPERTY=VALUE...]: the package installed quietly; a brand-new prefix's first msiexec may give up
# (91) while settling: tried again.
install_msi() {
  local attempt
  for attempt in 1 2 3 4 5; do wine msiexec /i "$(win_path "$msi")" "$@" /qn && return 0; sleep 2; done
  return 1
}

# The Windows path of a file of the current prefix's drive C.
c_drive() { printf '%s' "$WINEPREFIX/drive_c/$1"; }
win_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
# The path of a file of the current prefix's drive C as Windows sees it.
c_path() { local p=${1#"$WINEPREFIX/drive_c/"}; p=${p//\//\\}; printf 'C:\\%s' "$p"; }

# put_programs: pacewick.exe under Program Files, record_launch.exe in C:\tools; sets exe and launch_log.
put_programs() {
  mkdir -p "$(c_drive 'Program Files/Pacewick Test')" "$(c_drive tools)"
  cp "$pacewick_exe" "$(c_drive 'Program Files/Pacewick Test/pacewick.exe')"
  cp "$record_exe" "$(c_drive tools/record_launch.exe)"
  exe='C:\Program Files\Pacewick Test\pacewick.exe'
  launch_log=$(c_drive launch.log)
}

# The Startup folders of the user and of all users, where Explorer finds them.
user_startup() {
  find "$WINEPREFIX/drive_c/users" -maxdepth 8 -ipath '*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp' \
    -not -path '*/Public/*' | head -1
}
common_startup() { c_drive 'ProgramData/Microsoft/Windows/Start Menu/Programs/StartUp'; }
# Their BackUp folders: the user's in the roaming profile, all users' under %ProgramData%; "" until made.
user_held() { find "$WINEPREFIX/drive_c/users" -type d -path '*/Quorvell Software/Pacewick/StartupBackUp' | head -1; }
common_held() {
  find "$WINEPREFIX/drive_c" -path "$WINEPREFIX/drive_c/users" -prune -o \
    -type d -path '*/Quorvell Software/Pacewick/StartupBackUp' -print | head -1
}
# folder_files DIR...: a sorted line per file ("name" size write-time checksum): changed bytes or times show.
folder_files() {
  local dir file
  for dir; do
    [ -d "$dir" ] || continue
    for file in "$dir"/*; do
      [ -f "$file" ] || continue
      printf '"%s" %s %s\n' "${file##*/}" "$(stat -c '%s %Y' "$file")" "$(md5sum <"$file" | cut -c1-32)"
    done
  done | LC_ALL=C sort
}
# reg_add ARGS...: Wine's reg.exe has been seen to fail (exit 1, nothing written) in a prefix whose
# service had just started: asked once more after a moment; a second failure stands.
reg_add() { wine reg add "$@" /f >/dev/null || { sleep 1; wine reg add "$@" /f >/dev/null; }; }
clear_values() { local key; for key; do wine reg delete "$key" /va /f >/dev/null 2>&1 || true; done; }
# The settings and the installer's keys: the machine's BackUp key and the user's Run key, empty (no default value).
make_program_keys() {  # DELAY_MS RESTORED [MANUAL]
  local key
  reg_add "HKCU\\$CONFIG" /v Manual /t REG_DWORD /d "${3:-0}"
  reg_add "HKCU\\$CONFIG" /v TimeDelay /t REG_DWORD /d "$1"
  reg_add "HKCU\\$CONFIG" /v Restored /t REG_DWORD /d "$2"
  for key in "HKLM\\$BACKUP" "HKCU\\$RUN"; do
    reg_add "$key" /v pacewick-test /d x
    wine reg delete "$key" /v pacewick-test /f >/dev/null
  done
}

# values HIVE\KEY: its values as regedit exports them, one sorted line each; "MISSING" for no key.
values() {
  local file="$work/export.reg"
  rm -f "$file"
  # Once more before "MISSING": under load an export now and then writes nothing.
  wine regedit /e "$(win_path "$file")" "$1" >/dev/null 2>&1 || true
  [ -s "$file" ] || wine regedit /e "$(win_path "$file")" "$1" >/dev/null 2>&1 || true
  if [ ! -s "$file" ]; then echo MISSING; return; fi
  iconv -f UTF-16LE -t UTF-8 "$file" | tr -d '\r' | sed -e ':a' -e '/\\$/N; s/\\\n  //; ta' |
    grep '^"' | LC_ALL=C sort || true
}
# The user's and the machine's Run keys, their BackUp keys, the user's settings, each followed by "---".
registry_snapshot() {
  local key
  for key in "HKEY_CURRENT_USER\\$RUN" "HKEY_LOCAL_MACHINE\\$RUN" "HKEY_CURRENT_USER\\$BACKUP" \
    "HKEY_LOCAL_MACHINE\\$BACKUP" "HKEY_CURRENT_USER\\$CONFIG"; do values "$key"; echo ---; done
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
wait_pid() { wait_until "$2" not kill -0 "$1" 2>/dev/null; }
# exit_program PID [CHECK]: the window's Exit pressed, and the program checked to end.
exit_program() { probe exit; check "${2:-Exit ends the program}" wait_pid "$1" 20; }

# The keeper's log (under the service account's %ProgramData%), and the fixture that talks to the service.
log_file() { find "$WINEPREFIX/drive_c" -path '*/Quorvell Software/Pacewick/keeper.log' 2>/dev/null | head -1; }
log_says() { grep -q "$1" "$(log_file)" 2>/dev/null; }
fixture() { wine "$(win_path "$keeper_fixture")" "$@" 2>&1 | tr -d '\r'; }
# stop_keeper: the service stopped as its log shows; asked again when Wine's net stop returns too early.
keeper_stops() { grep -c 'Keeper stopped' "$(log_file)" 2>/dev/null || true; }
stopped_since() { [ "$(keeper_stops)" -gt "$1" ]; }
stop_keeper() {
  local before attempt
  before=$(keeper_stops)
  for attempt in 1 2 3; do
    wine net stop PacewickKeeper >/dev/null 2>&1 || true
    wait_until 10 stopped_since "$before" && return 0
  done
  return 1
}
# holds KEY NAME: true while the key has a value of that name (read afresh at each call).
holds() { values "$1" | grep -q "^\"$2\"="; }
# wait_until SECONDS COMMAND...: true once the command succeeds (tried again until the time is up).
wait_until() {
  local end=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}
# The window's rows without logon tasks, the given fields (cut -f) of each, sorted.
listed() { probe rows | grep -v '|Task Scheduler$' | cut -d'|' -f"$1" | LC_ALL=C sort; }
# The command lines the started programs recorded, sorted; launched N: at least N of them.
launches() { tr -d '\r' <"$launch_log" 2>/dev/null | sed 's/ *$//' | LC_ALL=C sort || true; }
launched() { [ -f "$launch_log" ] && [ "$(wc -l <"$launch_log")" -ge "$1" ]; }

# A package's key in Apps and Features, and whether it is there.
uninstall_key() { printf 'HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s' "$1"; }
registered() { [ "$(values "$(uninstall_key "$1")")" != MISSING ]; }

pass() { echo "ok   $1"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
# expect DESCRIPTION EXPECTED ACTUAL
expect() {
  if [ "$2" == "$3" ]; then pass "$1"; else
    fail "$1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/       /' || true
  fi
}
# expect_soon SECONDS DESCRIPTION EXPECTED COMMAND...: expect, once the command prints EXPECTED or the time is up.
expect_soon() {
  local seconds=$1 description=$2 expected=$3; shift 3
  prints() { [ "$("$@")" == "$expected" ]; }
  wait_until "$seconds" prints "$@" || true
  expect "$description" "$expected" "$("$@")"
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
    if [ -n "${WINEPREFIX:-}" ] && [ -n "$(log_file)" ]; then echo "----- the keeper's log"; tr -d '\r' <"$(log_file)"; fi
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  stop_everything
  rm -rf "${prefixes[@]}"  # hundreds of MB each; a failed run keeps them to look into
}
