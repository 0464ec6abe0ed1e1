#!/usr/bin/env bash
# The keeper service as the package installs it: it takes over both machine Run
# keys, the program started afterwards lists and starts their entries and writes
# no machine key, Restore All goes through the service, which holds off until a
# Pacewick takes over again, and the uninstall shortcut puts every machine entry
# back into its own Run key before the package goes.
source "$(dirname "$0")/lib.sh"

readonly APPROVED='Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
machine_keys() {
  values "HKEY_LOCAL_MACHINE\\$RUN" | grep -v '^"Pacewick"='; echo ---; values "HKEY_LOCAL_MACHINE\\$BACKUP"
  echo ---; values "HKEY_LOCAL_MACHINE\\$RUN32"; echo ---; values "HKEY_LOCAL_MACHINE\\$BACKUP32"
}

echo "== the package installs and starts the service"
new_prefix keeper
install_msi
check "the keeper is installed beside the program" test -s "$(install_dir)/pacewick-keeper.exe"
check "the service starts and says so in its log" wait_until 30 log_says 'Keeper started'
check "the log's lines are time-stamped" grep -qE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]{12} \[[0-9]+\] Keeper started' "$(log_file)"

echo "== entries written into either machine Run key arrive in their BackUp key"
mkdir -p "$(c_drive tools)"
cp "$record_exe" "$(c_drive tools/record_launch.exe)"
export PACEWICK_LAUNCH_LOG='C:\launch.log'
reg_add "HKLM\\$RUN" /v 'Machine Tool' /t REG_EXPAND_SZ /d '"C:\tools\record_launch.exe" machine'
reg_add "HKLM\\$RUN32" /v 'Machine32 Tool' /d 'C:\tools\record_launch.exe machine32'
reg_add "HKLM\\$APPROVED" /v 'Switched Off' /t REG_BINARY /d 030000000000000000000000
reg_add "HKLM\\$RUN" /v 'Switched Off' /d 'C:\tools\record_launch.exe off'
# The installer's Run value, marked: the program must not rewrite it.
reg_add "HKLM\\$RUN" /v Pacewick /d marker
# The exported line of a REG_EXPAND_SZ value: UTF-16 bytes and the terminating zero.
expand_line() { printf '"%s"=hex(2):%s00,00' "$1" "$(printf '%s' "$2" | iconv -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//')"; }
machine_values=$(expand_line 'Machine Tool' '"C:\tools\record_launch.exe" machine')
backed_up() { values "HKEY_LOCAL_MACHINE\\$BACKUP" | grep -q '^"Machine Tool"=' && values "HKEY_LOCAL_MACHINE\\$BACKUP32" | grep -q '^"Machine32 Tool"='; }
check "the service takes over both machine Run keys" wait_until 10 backed_up
sleep 0.5
expect "the 64-bit entry is in its BackUp key with its type and bytes" "$machine_values" \
  "$(values "HKEY_LOCAL_MACHINE\\$BACKUP")"
expect "the 32-bit entry is in the 32-bit BackUp key" "$(sz_line 'Machine32 Tool' 'C:\tools\record_launch.exe machine32')" \
  "$(values "HKEY_LOCAL_MACHINE\\$BACKUP32")"
expect "the switched-off entry and the program's own value stay in the Run key" \
  "$(printf '%s\n' '"Pacewick"="marker"' "$(sz_line 'Switched Off' 'C:\tools\record_launch.exe off')")" \
  "$(values "HKEY_LOCAL_MACHINE\\$RUN")"
expect "the 32-bit Run key is empty" "" "$(values "HKEY_LOCAL_MACHINE\\$RUN32")"
wine reg delete "HKLM\\$BACKUP" /va /f >/dev/null; wine reg delete "HKLM\\$BACKUP32" /va /f >/dev/null
reg_add "HKLM\\$BACKUP" /v 'Machine Tool' /t REG_EXPAND_SZ /d '"C:\tools\record_launch.exe" machine'
reg_add "HKLM\\$BACKUP32" /v 'Machine32 Tool' /d 'C:\tools\record_launch.exe machine32'
kept_before=$(machine_keys)

echo "== the program started afterwards lists and starts them, and writes no machine key"
reg_add "HKCU\\$CONFIG" /v TimeDelay /t REG_DWORD /d 4000
start_pacewick program "$installed"
program=$last_pid
check "the program starts" probe wait-window 30000
rows=$(probe rows)
check "it lists the 64-bit machine entry" grep -q '^Machine Tool|"C:\\tools\\record_launch.exe" machine|' <<<"$rows"
check "it lists the 32-bit machine entry" grep -q '^Machine32 Tool|' <<<"$rows"
reg_add "HKCU\\$RUN" /v 'User Late' /d 'C:\tools\record_launch.exe user-late'
check "the program takes a newcomer to the user's Run key over while the service keeps the machine's" \
  wait_until 10 holds "HKEY_CURRENT_USER\\$BACKUP" 'User Late'
sleep 8
expect "each machine entry and the newcomer are started once" \
  "$(printf '%s\n' '"C:\tools\record_launch.exe" machine' 'C:\tools\record_launch.exe machine32' 'C:\tools\record_launch.exe user-late')" \
  "$(tr -d '\r' <"$(c_drive launch.log)" | sed 's/ *$//' | sort)"
expect "the program leaves its Run value to the installer" '"Pacewick"="marker"' \
  "$(values "HKEY_LOCAL_MACHINE\\$RUN" | grep '^"Pacewick"=')"
expect "the machine keys are as the service left them" "$kept_before" "$(machine_keys)"
check "the program says the service keeps the machine keys" grep -q 'Keeper service keeps the machine start-up lists' "$work/program.out"

echo "== Restore All through the service, then the hold-off"
probe press 1023
probe answer 'Are you sure to restore?' yes 20000 >/dev/null
check "Restore All ends the program" wait_pid "$program" 30
expect "both machine Run keys are back byte for byte, the BackUp keys empty" \
  "$(printf '%s\n' "$machine_values" "$(sz_line 'Switched Off' 'C:\tools\record_launch.exe off')" --- --- \
     "$(sz_line 'Machine32 Tool' 'C:\tools\record_launch.exe machine32')" ---)" "$(machine_keys)"
reg_add "HKLM\\$RUN32" /v 'Late Tool' /d 'C:\tools\record_launch.exe late'
sleep 1.5
check "held off: a new machine entry stays in its Run key" grep -q '^"Late Tool"=' <(values "HKEY_LOCAL_MACHINE\\$RUN32")
wine net stop PacewickKeeper >/dev/null 2>&1 || true
wine net start PacewickKeeper >/dev/null 2>&1 || true
check "the service restarted" wait_until 20 log_says 'Take-over held off after a restore (start)'
check "a restart keeps the hold-off" grep -q '^"Late Tool"=' <(values "HKEY_LOCAL_MACHINE\\$RUN32")
start_pacewick answer-no "$installed"
probe answer 'Start Pacewick?' no 20000 >/dev/null
check "No ends the program" wait_pid "$last_pid" 20
check "after No the hold-off stands" grep -q '^"Late Tool"=' <(values "HKEY_LOCAL_MACHINE\\$RUN32")
start_pacewick answer-yes "$installed"
probe answer 'Start Pacewick?' yes 20000 >/dev/null
check "Yes opens the window" probe wait-window 30000
check "Yes ends the hold-off: the late entry is taken over" wait_until 10 not holds "HKEY_LOCAL_MACHINE\\$RUN32" 'Late Tool'
check "and listed" grep -q '^Late Tool|' <(probe rows)
probe exit
check "Exit ends the program" wait_pid "$last_pid" 20
taken=$(machine_keys)

echo "== the uninstall shortcut: every machine entry back in its own Run key, then the package goes"
timeout 60 wine "$installed" -UNINSTALL >"$work/uninstall.out" 2>&1 || true
check "the package is removed" wait_until 60 test ! -e "$(install_dir)/pacewick-keeper.exe"
expect "both machine Run keys hold every entry again, the BackUp keys none" \
  "$(printf '%s\n' "$machine_values" "$(sz_line 'Switched Off' 'C:\tools\record_launch.exe off')" --- --- \
     "$(sz_line 'Late Tool' 'C:\tools\record_launch.exe late')" "$(sz_line 'Machine32 Tool' 'C:\tools\record_launch.exe machine32')" ---)" \
  "$(machine_keys)"
check "the service restored them for the uninstall" log_says 'Restore of the machine entries (uninstall)'
check "the service is gone" not wine "$(win_path "$keeper_fixture")" fuzz 0 1
finish
