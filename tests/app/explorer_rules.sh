#!/usr/bin/env bash
# The installed program and what Explorer would start: an entry switched off in
# Task Manager stays where it is, off; the machine's 32-bit Run key is taken
# over into its own BackUp key and given back by the uninstall switch.
source "$(dirname "$0")/lib.sh"

readonly APPROVED='Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'

new_prefix explorer
install_msi
mkdir -p "$(c_drive tools)"
cp "$record_exe" "$(c_drive tools/record_launch.exe)"
export PACEWICK_LAUNCH_LOG='C:\launch.log'
reg_add "HKCU\\$CONFIG" /v Manual /t REG_DWORD /d 1
reg_add "HKCU\\$RUN" /v 'Switched Off' /d 'C:\tools\record_launch.exe off'
reg_add "HKCU\\$APPROVED" /v 'Switched Off' /t REG_BINARY /d 030000000000000000000000
reg_add "HKCU\\$RUN" /v 'Switched On' /d 'C:\tools\record_launch.exe on'
reg_add "HKCU\\$APPROVED" /v 'Switched On' /t REG_BINARY /d 020000000000000000000000
expect "the package makes the 32-bit view's BackUp key" "" "$(values "HKEY_LOCAL_MACHINE\\$BACKUP32")"
# The keeper service takes it over at once: what it was is spelled out here.
reg_add "HKLM\\$RUN32" /v 'Old 32-bit Tool' /d '"C:\tools\record_launch.exe" x86'
user_run=$(values "HKEY_CURRENT_USER\\$RUN")
run32=$(sz_line 'Old 32-bit Tool' '"C:\tools\record_launch.exe" x86')
approved=$(values "HKEY_CURRENT_USER\\$APPROVED")

start_pacewick run "$installed"
check "the installed program starts" probe wait-window 30000
expect "the switched-off entry stays in the user's Run key, exactly" \
  "$(grep '^"Switched Off"=' <<<"$user_run")" "$(values "HKEY_CURRENT_USER\\$RUN")"
expect "the switched-on entry is taken over" "$(grep '^"Switched On"=' <<<"$user_run")" \
  "$(values "HKEY_CURRENT_USER\\$BACKUP")"
expect "the 32-bit entry is in the 32-bit view's BackUp key, exactly" "$run32" \
  "$(values "HKEY_LOCAL_MACHINE\\$BACKUP32")"
expect "the 32-bit Run key is empty" "" "$(values "HKEY_LOCAL_MACHINE\\$RUN32")"
expect "the 64-bit machine BackUp key holds no 32-bit entry" "" "$(values "HKEY_LOCAL_MACHINE\\$BACKUP")"
rows=$(probe rows | grep -v '|Task Scheduler$' | cut -d'|' -f1,4 | LC_ALL=C sort)
expect "the window lists the switched-on and the 32-bit entries only" "$(printf '%s\n' \
  'Old 32-bit Tool|all user start-up list' 'Switched On|Current user start-up list')" "$rows"
probe exit
check "the program ends on Exit" wait_pid "$last_pid" 20

start_pacewick uninstall "$installed" -UNINSTALL
check "the uninstall switch ends" wait_pid "$last_pid" 30
expect "the 32-bit entry is back in its own Run key" "$run32" "$(values "HKEY_LOCAL_MACHINE\\$RUN32")"
expect "the user's Run key is as it was" "$user_run" "$(values "HKEY_CURRENT_USER\\$RUN")"
expect "Task Manager's switches are untouched" "$approved" "$(values "HKEY_CURRENT_USER\\$APPROVED")"
check "nothing was started" test ! -e "$(c_drive launch.log)"
finish
