#!/usr/bin/env bash
# The installed program: what the package installs, and the two ways of removing
# it. Neither may lose a program that Pacewick has taken over.
source "$(dirname "$0")/lib.sh"

installed='C:\Program Files\Quorvell Software\Pacewick\pacewick.exe'
install_dir() { c_drive 'Program Files/Quorvell Software/Pacewick'; }
uninstall_key="HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$PRODUCT"
product_registered() { [ "$(values "$uninstall_key")" != MISSING ]; }

# install_and_take_over NAME: a fresh prefix with the package installed, programs
# in both Run keys, and one run of the installed program that takes them over.
install_and_take_over() {
  new_prefix "$1"
  install_msi
  mkdir -p "$(c_drive tools)"
  cp "$record_exe" "$(c_drive tools/record_launch.exe)"
  reg_add "HKCU\\$CONFIG" /v TimeDelay /t REG_DWORD /d 600000
  reg_add "HKCU\\$RUN" /v 'User Tool' /d 'C:\tools\record_launch.exe user'
  reg_add "HKCU\\$RUN" /v 'Ünïcode 名前' /t REG_EXPAND_SZ /d 'C:\tools\record_launch.exe unicode'
  reg_add "HKLM\\$RUN" /v 'Machine Tool' /d '"C:\tools\record_launch.exe" machine'
  user_run=$(values "HKEY_CURRENT_USER\\$RUN")
  # The keeper service takes it over at once: what it was is spelled out here.
  machine_run=$(sz_line 'Machine Tool' '"C:\tools\record_launch.exe" machine')
  start_pacewick "$1-run" "$installed"
  check "[$1] the installed program starts" probe wait-window 30000
  probe exit
  check "[$1] the installed program ends on Exit" wait_pid "$last_pid" 20
  expect "[$1] the user's programs are taken over" "$user_run" "$(values "HKEY_CURRENT_USER\\$BACKUP")"
  expect "[$1] the machine's programs are taken over" "$machine_run" "$(values "HKEY_LOCAL_MACHINE\\$BACKUP")"
}

echo "== the package installs the program, its manual, its keys and its Run value"
new_prefix install
install_msi
check "pacewick.exe is installed" cmp -s "$pacewick_exe" "$(install_dir)/pacewick.exe"
check "the manual is installed beside it" test -s "$(install_dir)/PacewickManual.chm"
expect "the machine Run key starts the installed program" "$(sz_line Pacewick "\"$installed\"")" \
  "$(values "HKEY_LOCAL_MACHINE\\$RUN")"
expect "the package writes no settings of an account (the program makes them)" MISSING \
  "$(values "HKEY_CURRENT_USER\\$CONFIG")"
expect "the package writes no BackUp key of an account" MISSING "$(values "HKEY_CURRENT_USER\\$BACKUP")"
expect "the machine BackUp key exists, empty" "" "$(values "HKEY_LOCAL_MACHINE\\$BACKUP")"
menu=$(c_drive 'users')
check "the Start menu holds the program and its uninstaller" \
  test "$(find "$menu" -path '*Pacewick*' -name '*.lnk' | wc -l)" -eq 2

echo "== removed with msiexec /x directly: the taken-over programs stay in the BackUp keys"
install_and_take_over msiexec
wine msiexec /x "$PRODUCT" /qn
check "[msiexec] the program is removed" test ! -e "$(install_dir)/pacewick.exe"
check "[msiexec] the package is unregistered" not product_registered
expect "[msiexec] no user program is lost" "$user_run" "$(values "HKEY_CURRENT_USER\\$BACKUP")"
expect "[msiexec] no machine program is lost" "$machine_run" "$(values "HKEY_LOCAL_MACHINE\\$BACKUP")"

echo "== removed with -UNINSTALL: every program back in its Run key, then the package removed"
install_and_take_over switch
start_pacewick switch-running "$installed"
running=$last_pid
check "[switch] the program runs again" probe wait-window 30000
snapshot=$(registry_snapshot)
start_pacewick switch-refused "$installed" -UNINSTALL
refused=$last_pid
expect "[switch] while the program runs, the switch only asks to close it first" \
  "Please exit Pacewick app 1st then run uninstaller again" \
  "$(probe answer 'Pacewick Needs to be closed' ok 20000)"
check "[switch] the refused switch ends" wait_pid "$refused" 20
expect "[switch] the refused switch leaves the registry untouched" "$snapshot" "$(registry_snapshot)"
check "[switch] the refused switch leaves the package installed" product_registered
probe exit
check "[switch] the running program ends on Exit" wait_pid "$running" 20
timeout 60 wine "$installed" -UNINSTALL >"$work/uninstall-switch.out" 2>&1 || true
for ((i = 0; i < 60; i++)); do
  [ ! -e "$(install_dir)/pacewick.exe" ] && ! product_registered && break
  sleep 1
done
expect "[switch] every user program is back in the user's Run key" "$user_run" \
  "$(values "HKEY_CURRENT_USER\\$RUN")"
expect "[switch] every machine program is back in the machine Run key" "$machine_run" \
  "$(values "HKEY_LOCAL_MACHINE\\$RUN" | grep -v '^"Pacewick"=')"
expect "[switch] the user's BackUp key holds none of them" "" "$(values "HKEY_CURRENT_USER\\$BACKUP")"
expect "[switch] the machine BackUp key holds none of them" "" "$(values "HKEY_LOCAL_MACHINE\\$BACKUP")"
check "[switch] the uninstaller removed the program" test ! -e "$(install_dir)/pacewick.exe"
check "[switch] the package is unregistered" not product_registered
finish
