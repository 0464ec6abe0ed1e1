#!/usr/bin/env bash
# The first start for an account the installer never set up: the Run keys hold
# programs, but neither the settings nor any BackUp key exist. Then, after
# "Restore All" (Restored = 1), the program asks before taking over again: No
# changes nothing and the question comes again; Yes clears the flag and goes on.
# Last, a start from a path longer than MAX_PATH.
source "$(dirname "$0")/lib.sh"

new_prefix first-starts
put_programs
readonly STATUS_ID=1014  # IDC_STATUS

reg_add "HKCU\\$RUN" /v 'Recorder One' /d 'C:\tools\record_launch.exe one'
reg_add "HKCU\\$RUN" /v 'Recorder Two' /t REG_EXPAND_SZ /d 'C:\tools\record_launch.exe two'
reg_add "HKLM\\$RUN" /v 'Machine One' /d 'C:\tools\record_launch.exe machine'
user_before=$(values "HKEY_CURRENT_USER\\$RUN")
machine_before=$(values "HKEY_LOCAL_MACHINE\\$RUN")
expect "no key of the program exists before" "MISSING MISSING MISSING" \
  "$(values "HKEY_CURRENT_USER\\$CONFIG") $(values "HKEY_CURRENT_USER\\$BACKUP") $(values "HKEY_LOCAL_MACHINE\\$BACKUP")"

echo "== start without the program's keys"
start_pacewick first "$exe"
first=$last_pid
check "the main window appears" probe wait-window 30000
expect "the status counts down the default delay of 3 minutes" "Will start in 3 minute" "$(probe text $STATUS_ID)"
expect "the user's programs went into a BackUp key the program made, types and data intact" \
  "$user_before" "$(values "HKEY_CURRENT_USER\\$BACKUP")"
expect "the user's Run key is empty" "" "$(values "HKEY_CURRENT_USER\\$RUN")"
expect "the Config key was made, empty" "" "$(values "HKEY_CURRENT_USER\\$CONFIG")"
expect "no machine BackUp key was made" "MISSING" "$(values "HKEY_LOCAL_MACHINE\\$BACKUP")"
expect "the machine's programs stay in the machine Run key, beside Pacewick" \
  "$(LC_ALL=C sort <<<"$machine_before"$'\n'"$(sz_line Pacewick "\"$exe\"")")" \
  "$(values "HKEY_LOCAL_MACHINE\\$RUN")"
rows=$(probe rows | grep -v '|Task Scheduler$' | cut -d'|' -f1,2,4 | LC_ALL=C sort)
expect "the window lists the user's programs" "$(LC_ALL=C sort <<'ROWS'
Recorder One|C:\tools\record_launch.exe one|Current user start-up list
Recorder Two|C:\tools\record_launch.exe two|Current user start-up list
ROWS
)" "$rows"
sleep 2
check "nothing is launched at once" test ! -s "$launch_log"

probe exit
check "Exit ends the program" wait_pid "$first" 20

echo "== Restored = 1: the keys as a Restore All leaves them"
wine reg delete "HKCU\\$BACKUP" /va /f >/dev/null
wine reg delete "HKLM\\$RUN" /va /f >/dev/null
make_program_keys 600000 1
reg_add "HKCU\\$RUN" /v Newcomer /d 'C:\tools\record_launch.exe newcomer'
reg_add "HKLM\\$RUN" /v 'Machine Newcomer' /t REG_EXPAND_SZ /d 'C:\tools\record_launch.exe machine'
question=$'Pacewick was restored previously\nPress [Yes] to start.'
machine_run_before=$(values "HKEY_LOCAL_MACHINE\\$RUN")
before=$(registry_snapshot)

echo "== Restored = 1, answer No"
start_pacewick answer-no "$exe"
expect "the question is asked with its text" "$question" "$(probe answer 'Start Pacewick?' no 20000)"
check "No ends the program" wait_pid "$last_pid" 20
check "No opens no window" probe wait-gone 0
expect "No changes nothing: Run, BackUp and Config keys as before" "$before" "$(registry_snapshot)"

echo "== Restored = 1 again, answer Yes"
start_pacewick answer-yes "$exe"
yes_pid=$last_pid
check "the question comes again at the next start" probe wait-box 'Start Pacewick?' 20000
expect "nothing is taken over while the question waits" "$before" "$(registry_snapshot)"
expect "the question is asked with its text" "$question" "$(probe answer 'Start Pacewick?' yes 20000)"
check "Yes goes on to the main window" probe wait-window 30000
expect "Yes stores Restored = 0 and keeps the other settings" "$(printf '%s\n' \
  '"Manual"=dword:00000000' '"Restored"=dword:00000000' '"TimeDelay"=dword:000927c0')" \
  "$(values "HKEY_CURRENT_USER\\$CONFIG")"
expect "Yes takes over the user's Run value" "$(sz_line Newcomer 'C:\tools\record_launch.exe newcomer')" \
  "$(values "HKEY_CURRENT_USER\\$BACKUP")"
expect "the user's Run key is empty" "" "$(values "HKEY_CURRENT_USER\\$RUN")"
expect "the machine Run value is in its BackUp key with its type" \
  "$machine_run_before" "$(values "HKEY_LOCAL_MACHINE\\$BACKUP")"
probe exit
check "Exit ends the program" wait_pid "$yes_pid" 20

echo "== a start from a path longer than MAX_PATH registers that exact path"
long_dir=$(printf 'a long folder name %02d/' $(seq 1 14))
mkdir -p "$(c_drive "$long_dir")"
cp "$pacewick_exe" "$(c_drive "$long_dir")"
long_exe="C:\\${long_dir//\//\\}pacewick.exe"
check "the path is longer than MAX_PATH" test "${#long_exe}" -gt 260
start_pacewick long-path "$long_exe"
long_pid=$last_pid
check "the program starts from the long path" probe wait-window 30000
expect "the machine Run value is the whole path, quoted" "$(sz_line Pacewick "\"$long_exe\"")" \
  "$(values "HKEY_LOCAL_MACHINE\\$RUN")"
probe exit
check "Exit ends the program" wait_pid "$long_pid" 20
finish
