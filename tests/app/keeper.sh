#!/usr/bin/env bash
# The installed keeper service: it takes the machine's Run keys and all users' Startup folder over (switched-off
# entries stay), survives fuzzing, cycles and pipe squatters and holds no privilege but traversal; the program
# beside it lists and starts, writes no machine key, refuses to uninstall while running; Restore All goes through
# the service, which holds off until "Start Pacewick?" is answered Yes; uninstalling puts every entry back; an
# overlong version resource harms nothing.
source "$(dirname "$0")/lib.sh"

readonly APPROVED='Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
# Both machine Run keys and their BackUp keys (the package's own value too), then all users' Startup and BackUp folders.
machine_keys() {
  values "HKEY_LOCAL_MACHINE\\$RUN"; echo ---; values "HKEY_LOCAL_MACHINE\\$BACKUP"
  echo ---; values "HKEY_LOCAL_MACHINE\\$RUN32"; echo ---; values "HKEY_LOCAL_MACHINE\\$BACKUP32"
  echo ---; folder_files "$(common_startup)"; echo ---; folder_files "$(common_held)"
}
# stage NAME <CONTENT: a file moved whole into a folder (never seen half written); prints its folder_files line.
stage() {
  mkdir -p "$work/stage"
  cat >"$work/stage/$1"
  touch -d '2021-02-03 04:05:06' "$work/stage/$1"
  folder_files "$work/stage"
}
staged_to() { mv "$work/stage/"* "$1/"; }
# The user's held items (the BackUp folder is made with its first item: looked for at each call).
user_held_files() { folder_files "$(user_held)"; }
# The exported line of a REG_EXPAND_SZ value: UTF-16 bytes and the terminating zero.
expand_line() { printf '"%s"=hex(2):%s00,00' "$1" "$(printf '%s' "$2" | iconv -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//')"; }
# fixture_passes DESCRIPTION ARGS...: the keeper fixture's last lines, and whether it passed.
fixture_passes() {
  local out status=0
  out=$(fixture "${@:2}") || status=$?
  tail -5 <<<"$out" | sed 's/^/       /'
  expect "$1" 0 "$status"
}
m64=$(expand_line 'Machine Tool' '"C:\tools\record_launch.exe" machine')
m32=$(sz_line 'Machine32 Tool' 'C:\tools\record_launch.exe machine32')
off=$(sz_line 'Switched Off' 'C:\tools\record_launch.exe off')
late=$(sz_line 'Late Tool' 'C:\tools\record_launch.exe late')
user_late=$(sz_line 'User Late' 'C:\tools\record_launch.exe user-late')
overlong=$(sz_line 'Overlong Tool' 'C:\tools\ver_overlong.exe machine')
marker='"Pacewick"="marker"'

echo "== the package installs and starts the service"
new_prefix keeper
install_msi
check "the keeper is installed beside the program" test -s "$(install_dir)/pacewick-keeper.exe"
check "the service starts and says so in its log" wait_until 30 log_says 'Keeper started'
fixture_passes "the running service holds no privilege but traversal" privileges
check "the log's lines are time-stamped" grep -qE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]{12} \[[0-9]+\] Keeper started' "$(log_file)"
expect "the package makes its Run value, both machine BackUp keys and the 32-bit Run key" \
  "$(printf '%s\n' "$(sz_line Pacewick "\"$installed\"")" --- --- --- --- ---)" "$(machine_keys)"

echo "== entries written into either machine Run key arrive in their BackUp key, switched-off ones stay"
put_programs
cp "$(dirname "$record_exe")/ver_overlong.exe" "$(c_drive tools/ver_overlong.exe)"
reg_add "HKLM\\$RUN" /v 'Overlong Tool' /d 'C:\tools\ver_overlong.exe machine'
check "the service takes over the program with the damaged version resource" \
  wait_until 10 holds "HKEY_LOCAL_MACHINE\\$BACKUP" 'Overlong Tool'
reg_add "HKLM\\$RUN" /v 'Machine Tool' /t REG_EXPAND_SZ /d '"C:\tools\record_launch.exe" machine'
reg_add "HKLM\\$RUN32" /v 'Machine32 Tool' /d 'C:\tools\record_launch.exe machine32'
reg_add "HKLM\\$APPROVED" /v 'Switched Off' /t REG_BINARY /d 030000000000000000000000
reg_add "HKLM\\$RUN" /v 'Switched Off' /d 'C:\tools\record_launch.exe off'
# The package's Run value, marked: the program must not rewrite it.
reg_add "HKLM\\$RUN" /v Pacewick /d marker
common=$(printf '@"C:\\tools\\record_launch.exe" common\r\n' | stage 'Common Tool.bat')
staged_to "$(common_startup)"
expect_soon 10 "each entry is in its BackUp key or folder, exactly; the switched-off one and the package's value stay" \
  "$(printf '%s\n' "$marker" "$off" --- "$m64" "$overlong" --- --- "$m32" --- --- "$common")" machine_keys
kept=$(machine_keys)
reg_add "HKCU\\$CONFIG" /v TimeDelay /t REG_DWORD /d 4000
reg_add "HKCU\\$APPROVED" /v 'Switched Off' /t REG_BINARY /d 030000000000000000000000
reg_add "HKCU\\$RUN" /v 'Switched Off' /d 'C:\tools\record_launch.exe off'
reg_add "HKCU\\$APPROVED" /v 'Switched On' /t REG_BINARY /d 020000000000000000000000
reg_add "HKCU\\$RUN" /v 'Switched On' /d 'C:\tools\record_launch.exe on'
reg_add "HKCU\\$RUN" /v 'User Overlong' /d 'C:\tools\ver_overlong.exe user'
user_run=$(values "HKEY_CURRENT_USER\\$RUN")
approved=$(values "HKEY_CURRENT_USER\\$APPROVED")

echo "== 500 random requests, then 50 stops and starts during writes"
fixture_passes "each request is answered, the service still serves, the machine keys are unchanged" fuzz 500 20261207
check "the refusals are in the log" log_says 'Request refused: malformed or unknown'
fixture_passes "every entry written during the cycles is kept exactly, none lost or half moved" cycles 50
expect "the entries kept before are kept still" "$kept" "$(machine_keys)"

echo "== a process that takes the pipe's name first is refused; silent clients keep no one out"
check "the service stops" stop_keeper
wine "$(win_path "$keeper_fixture")" squat 10000 >"$work/squat.out" 2>&1 &  # unbuffered: read while it runs
squatter=$!
check "the squatter holds the pipe's name" wait_until 10 grep -q squatting "$work/squat.out"
wine net start PacewickKeeper >/dev/null 2>&1 || true
check "the service starts without its pipe and says so" wait_until 20 log_says 'Pipe could not be made'
refused=$(fixture hogs 0 1) && status=0 || status=$?
expect "the program's side gets no answer from the squatter" 1 "$status"
check "and says why" grep -q 'Keeper pipe refused' <<<"$refused"
wait "$squatter"
check "once the name is free the running service makes its pipe" wait_until 20 log_says 'Pipe made'
fixture_passes "beside 48 clients of another process that never read their replies, 20 Pings are each answered within 1 s" hogs 48 20

echo "== the program lists and starts the machine's and the switched-on entries, and writes no machine key"
start_pacewick program "$installed"
program=$last_pid
check "the program starts" probe wait-window 30000
expect "it lists the machine's entries and the user's switched-on ones" "$(printf '%s\n' \
  'Common Tool.bat|C:\ProgramData\Quorvell Software\Pacewick\StartupBackUp\Common Tool.bat|all user startup folder' \
  'Machine Tool|"C:\tools\record_launch.exe" machine|all user start-up list' \
  'Machine32 Tool|C:\tools\record_launch.exe machine32|all user start-up list' \
  'Overlong Tool|C:\tools\ver_overlong.exe machine|all user start-up list' \
  'Switched On|C:\tools\record_launch.exe on|Current user start-up list' \
  'User Overlong|C:\tools\ver_overlong.exe user|Current user start-up list')" "$(listed 1,2,4)"
expect "the damaged version resource names no company" "$(printf '%s\n' 'Overlong Tool|Unknown' 'User Overlong|Unknown')" \
  "$(listed 1,3 | grep Overlong)"
expect "the user's switched-off entry stays in the Run key, exactly" "$(grep '^"Switched Off"=' <<<"$user_run")" \
  "$(values "HKEY_CURRENT_USER\\$RUN")"
expect "the user's switched-on entries are taken over" "$(grep -E '^"(Switched On|User Overlong)"=' <<<"$user_run")" \
  "$(values "HKEY_CURRENT_USER\\$BACKUP")"
reg_add "HKCU\\$RUN" /v 'User Late' /d 'C:\tools\record_launch.exe user-late'
check "the program takes a newcomer to the user's Run key over while the service keeps the machine's" \
  wait_until 10 holds "HKEY_CURRENT_USER\\$BACKUP" 'User Late'
user_item=$(stage 'User Folder Tool.exe' <"$record_exe")
staged_to "$(user_startup)"
expect_soon 10 "the program takes a newcomer to the user's Startup folder over, exactly" "$user_item" user_held_files
expect "it lists the all-users item from the service's BackUp folder and the user's item" "$(printf '%s\n' \
  'Common Tool.bat|all user startup folder' 'User Folder Tool.exe|Current user startup folder')" \
  "$(listed 1,4 | grep Tool\\.)"
check "the program says the service keeps the machine keys" grep -q 'Keeper service keeps the machine start-up lists' "$work/program.out"
check "after the delay the programs start" wait_until 30 launched 8
snapshot=$(registry_snapshot)
start_pacewick switch-refused "$installed" -UNINSTALL
expect "while the program runs, the uninstall switch only asks to close it first" \
  "Please exit Pacewick app 1st then run uninstaller again" "$(probe answer 'Pacewick Needs to be closed' ok 20000)"
check "the refused switch ends" wait_pid "$last_pid" 20
expect "the refused switch leaves the registry untouched" "$snapshot" "$(registry_snapshot)"
expect "the machine keys are as the service left them" "$kept" "$(machine_keys)"
check "the service stops" stop_keeper
start_pacewick no-answer "$installed" -RESTOREMACHINE
check "the elevated restore says so when the installed service does not answer" \
  grep -q 'does not answer' <(probe answer Pacewick ok 20000)
check "and ends" wait_pid "$last_pid" 20
start_pacewick no-answer-delete "$installed" -DELETEMACHINEENTRY 2 \
  "$(printf 'Machine Tool' | iconv -t UTF-16BE | od -An -tx1 -v | tr -d ' \n' | tr a-f A-F)"
check "so does the elevated deletion" grep -q 'does not answer' <(probe answer Pacewick ok 20000)
check "and ends" wait_pid "$last_pid" 20
expect "they change no machine key" "$kept" "$(machine_keys)"
wine net start PacewickKeeper >/dev/null 2>&1 || true
check "the service answers again" wait_until 30 wine "$(win_path "$keeper_fixture")" fuzz 0 1

echo "== Restore All through the service, then the hold-off"
probe press 1023
probe answer 'Are you sure to restore?' yes 20000 >/dev/null
check "Restore All ends the program" wait_pid "$program" 30
expect "each machine entry, the switched-on one and the newcomer were started once" "$(printf '%s\n' \
  '"C:\tools\record_launch.exe" machine' '"C:\tools\record_launch.exe" machine32' \
  '"C:\tools\record_launch.exe" on' '"C:\tools\record_launch.exe" user-late' \
  '"C:\tools\ver_overlong.exe" machine' '"C:\tools\ver_overlong.exe" user' \
  '"C:\tools\record_launch.exe" common' "\"$(c_path "$(user_held)")\\User Folder Tool.exe\"" | LC_ALL=C sort)" \
  "$(launches)"
expect "both machine Run keys and the all-users folder are back byte for byte, the BackUp places empty" \
  "$(printf '%s\n' "$m64" "$overlong" "$marker" "$off" --- --- "$m32" --- --- "$common" ---)" "$(machine_keys)"
expect "the user's Startup folder item is back, exactly" "$user_item"$'\n'--- \
  "$(folder_files "$(user_startup)"; echo ---; folder_files "$(user_held)")"
reg_add "HKLM\\$RUN32" /v 'Late Tool' /d 'C:\tools\record_launch.exe late'
sleep 1.5
check "held off: a new machine entry stays in its Run key" holds "HKEY_LOCAL_MACHINE\\$RUN32" 'Late Tool'
check "the service stops" stop_keeper
wine net start PacewickKeeper >/dev/null 2>&1 || true
check "the service restarted" wait_until 20 log_says 'Take-over held off after a restore (start)'
check "a restart keeps the hold-off" holds "HKEY_LOCAL_MACHINE\\$RUN32" 'Late Tool'
# As if another account's administrator had ended the hold-off meanwhile.
reg_add "HKLM\\$BACKUP" /v 'Held Tool' /d 'C:\tools\record_launch.exe held'
snapshot=$(registry_snapshot)
start_pacewick answer-no "$installed"
probe answer 'Start Pacewick?' no 20000 >/dev/null
check "No ends the program" wait_pid "$last_pid" 20
check "after No the hold-off stands" holds "HKEY_LOCAL_MACHINE\\$RUN32" 'Late Tool'
check "after No the entry the service holds is started at once" wait_until 10 launched 5
expect "once" 1 "$(launches | grep -c 'record_launch.exe" held$')"
expect "after No no key is changed" "$snapshot" "$(registry_snapshot)"
wine reg delete "HKLM\\$BACKUP" /v 'Held Tool' /f >/dev/null
# As if the restoring account never answered: an administrator's window says so and offers to end it.
reg_add "HKCU\\$CONFIG" /v Restored /t REG_DWORD /d 0
reg_add "HKCU\\$CONFIG" /v Manual /t REG_DWORD /d 1
readonly hold_off_offer="Delay every user's programs again?"
start_pacewick offered "$installed"
check "an administrator's window offers to end the hold-off" probe wait-box "$hold_off_offer" 30000
expect "and says why under its list" \
  "Not delayed since a Restore All: the programs of every user start with Windows." "$(probe text 1025)"
probe answer "$hold_off_offer" no 20000 >/dev/null
check "No to the offer leaves the hold-off" holds "HKEY_LOCAL_MACHINE\\$RUN32" 'Late Tool'
exit_program "$last_pid"
reg_add "HKCU\\$CONFIG" /v Manual /t REG_DWORD /d 0
reg_add "HKCU\\$CONFIG" /v Restored /t REG_DWORD /d 1
start_pacewick answer-yes "$installed"
probe answer 'Start Pacewick?' yes 20000 >/dev/null
check "Yes opens the window" probe wait-window 30000
check "Yes ends the hold-off: the late entry is taken over" wait_until 10 not holds "HKEY_LOCAL_MACHINE\\$RUN32" 'Late Tool'
check "and listed" grep -q '^Late Tool|' <(probe rows)
exit_program "$last_pid"

echo "== the uninstall switch: every entry back in its own Run key, then the package goes"
timeout 60 wine "$installed" -UNINSTALL >"$work/uninstall.out" 2>&1 || true
check "the package is unregistered" wait_until 60 not registered "$PRODUCT"
check "its files are gone" not test -e "$(install_dir)/pacewick.exe" -o -e "$(install_dir)/pacewick-keeper.exe"
expect "both machine Run keys hold every entry again, the BackUp keys none" \
  "$(printf '%s\n' "$m64" "$overlong" "$off" --- --- "$late" "$m32" --- --- "$common" ---)" "$(machine_keys)"
expect "the user's Run key holds every entry again, its BackUp key none" \
  "$(LC_ALL=C sort <<<"$user_run"$'\n'"$user_late")"$'\n'--- "$(values "HKEY_CURRENT_USER\\$RUN"; echo ---; values "HKEY_CURRENT_USER\\$BACKUP")"
expect "the user's Startup folder holds its item again, its BackUp folder none" "$user_item"$'\n'--- \
  "$(folder_files "$(user_startup)"; echo ---; folder_files "$(user_held)")"
expect "Task Manager's switches are untouched" "$approved" "$(values "HKEY_CURRENT_USER\\$APPROVED")"
# In the removal's own log (under Wine its %ProgramData% is not the service's).
check "the package's removal restored them as the system" \
  grep -rqF --include=keeper.log "Restore of the machine entries (the package's removal)" "$WINEPREFIX/drive_c"
check "the service is gone" not wine "$(win_path "$keeper_fixture")" fuzz 0 1
finish
