#!/usr/bin/env bash
# After "Restore All" (Restored = 1) the program asks before taking over again:
# No changes nothing and the question comes again; Yes clears the flag and goes on.
# Then a start from a path longer than MAX_PATH.
source "$(dirname "$0")/lib.sh"

new_prefix restored
make_program_keys 600000 1
mkdir -p "$(c_drive Pacewick)" "$(c_drive tools)"
cp "$pacewick_exe" "$(c_drive Pacewick/pacewick.exe)"
cp "$record_exe" "$(c_drive tools/record_launch.exe)"
exe='C:\Pacewick\pacewick.exe'
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
