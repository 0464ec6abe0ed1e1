#!/usr/bin/env bash
# A start for an account the installer never set up: the Run keys hold programs,
# but neither the settings nor any BackUp key exist.
source "$(dirname "$0")/lib.sh"

readonly STATUS_ID=1014  # IDC_STATUS

new_prefix account
put_programs

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
finish
