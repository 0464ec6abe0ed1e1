#!/usr/bin/env bash
# The installed program and every way of removing it: the Start menu's
# "Uninstall Pacewick" (pacewick.exe -UNINSTALL), Apps and Features (the
# UninstallString the package registers) and msiexec /x. Each puts every
# taken-over program back into its own Run key before the files go; a Pacewick
# that will not end stops the removal, which leaves everything as it was.
# One prefix: each route installs the package again over the same programs.
source "$(dirname "$0")/lib.sh"

echo "== the package installs the program, its manual, its keys and its Run value"
new_prefix uninstall
put_startup_programs
install_and_take_over install
check "pacewick.exe is installed" cmp -s "$pacewick_exe" "$(install_dir)/pacewick.exe"
check "the manual is installed beside it" test -s "$(install_dir)/PacewickManual.chm"
expect "the machine Run key starts the installed program" "$(sz_line Pacewick "\"$installed\"")" \
  "$(values "HKEY_LOCAL_MACHINE\\$RUN")"
expect "the package writes no settings of an account (the program makes them)" "" \
  "$(values "HKEY_CURRENT_USER\\$CONFIG")"
check "the Start menu holds the program and its uninstaller" \
  test "$(find "$(c_drive users)" -path '*Pacewick*' -name '*.lnk' | wc -l)" -eq 2
uninstall_string=$(wine reg query "$(uninstall_key "$PRODUCT")" /v UninstallString | tr -d '\r' |
  sed -n 's/.*REG_EXPAND_SZ *//p')
expect "Apps and Features is given msiexec /x of this package" "MsiExec.exe /X$PRODUCT" "$uninstall_string"

echo "== msiexec /x, quietly, while the program runs: it is ended, then everything is back"
start_pacewick running "$installed"
running=$last_pid
check "[msiexec] the program runs" probe wait-window 30000
wine msiexec /x "$PRODUCT" /qn
check "[msiexec] the running program was ended" wait_pid "$running" 20
removed_with_everything_back msiexec

echo "== the UninstallString of Apps and Features, run as given (the installer's full window)"
install_and_take_over apps
timeout 120 wine cmd /c "$uninstall_string" >"$work/apps.out" 2>&1
removed_with_everything_back apps

echo "== a Pacewick that does not end (its question is open) stops msiexec /x: nothing changes"
install_and_take_over stuck
start_pacewick stuck "$installed"
stuck=$last_pid
check "[stuck] the program runs" probe wait-window 30000
probe press 1023  # Restore All, which asks first
check "[stuck] its question is open" probe wait-box 'Are you sure to restore?' 20000
wine msiexec /x "$PRODUCT" /qn && removal=done || removal=failed
expect "[stuck] the removal fails" failed "$removal"
check "[stuck] the program's files are still there" cmp -s "$pacewick_exe" "$(install_dir)/pacewick.exe"
expect "[stuck] every program is still in its BackUp key" "$taken" "$(backup_keys)"
expect "[stuck] the Run keys hold none of them" "$(printf '%s\n' --- ---)" "$(run_keys)"
probe answer 'Are you sure to restore?' no 20000 >/dev/null
check "[stuck] the program ends once its question is answered" wait_pid "$stuck" 20
# Windows rolls the whole removal back; Wine leaves the product unregistered
# (its files, keys and service stay): installed again for the next route.
install_msi

echo "== the Start menu's uninstaller: refused while the program runs, then everything back"
start_pacewick switch-running "$installed"
running=$last_pid
check "[switch] the program runs" probe wait-window 30000
snapshot=$(registry_snapshot)
start_pacewick switch-refused "$installed" -UNINSTALL
refused=$last_pid
expect "[switch] while the program runs, the switch only asks to close it first" \
  "Please exit Pacewick app 1st then run uninstaller again" \
  "$(probe answer 'Pacewick Needs to be closed' ok 20000)"
check "[switch] the refused switch ends" wait_pid "$refused" 20
expect "[switch] the refused switch leaves the registry untouched" "$snapshot" "$(registry_snapshot)"
probe exit
check "[switch] the running program ends on Exit" wait_pid "$running" 20
timeout 60 wine "$installed" -UNINSTALL >"$work/uninstall-switch.out" 2>&1 || true
wait_until 60 not registered "$PRODUCT" || true
removed_with_everything_back switch

echo "== another account's programs, left in its BackUp key, go back with the README's command"
reg_add "HKCU\\$BACKUP" /v 'Other Tool' /t REG_EXPAND_SZ /d '%SystemRoot%\other.exe /min'
reg_add "HKCU\\$BACKUP" /v 'Ändere' /d '"C:\tools\other tool.exe"'
other=$(values "HKEY_CURRENT_USER\\$BACKUP")
wine reg delete "HKCU\\$RUN" /va /f >/dev/null
timeout 30 wine reg copy 'HKCU\Software\Quorvell Software\Pacewick\BackUp' \
  'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' </dev/null >/dev/null
expect "[other account] every program is in its Run key, exactly" "$other" "$(values "HKEY_CURRENT_USER\\$RUN")"
finish
