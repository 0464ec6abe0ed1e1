#!/usr/bin/env bash
# The package's life after its install: a repair, then the next version
# installed over it, keep the account's settings, every taken-over program and
# the keeper service; the next version's removal then puts everything back.
source "$(dirname "$0")/lib.sh"

keeper_starts() { grep -c 'Keeper started' "$(log_file)" 2>/dev/null || true; }
keeper_started_again() { [ "$(keeper_starts)" -gt "$starts_before" ]; }
all_started() { [ -f "$launch_log" ] && [ "$(wc -l <"$launch_log")" -ge 4 ]; }
# The programs the window lists, by name.
listed() { probe rows | cut -d'|' -f1 | grep -v '^$' | LC_ALL=C sort; }

new_prefix upgrade
put_startup_programs
install_and_take_over install
reg_add "HKCU\\$CONFIG" /v TimeDelay /t REG_DWORD /d 4000  # changed from the default 3 minutes
settings=$(values "HKEY_CURRENT_USER\\$CONFIG")

echo "== a repair rewrites the package's files and keys, never the account's"
rm -f "$(install_dir)/PacewickManual.chm"
# The repair of msiexec /famus, spelled as its properties: Wine's msiexec reads
# the letters of /f wrongly. Every file, the machine's and the account's keys of
# the package, and its shortcuts are written again.
wine msiexec /i "$PRODUCT" REINSTALL=ALL REINSTALLMODE=amus /qn
check "[repair] the missing file is back" test -s "$(install_dir)/PacewickManual.chm"
expect "[repair] the account's settings are kept" "$settings" "$(values "HKEY_CURRENT_USER\\$CONFIG")"
expect "[repair] every program stays in its BackUp key" "$taken" "$(backup_keys)"

echo "== the removal that an upgrade makes (UPGRADINGPRODUCTCODE set) restores nothing"
# Windows removes the older version so, with the property set; Wine's installer
# leaves it out, and so restores and takes over again in the upgrade below.
wine msiexec /x "$PRODUCT" UPGRADINGPRODUCTCODE="$NEXT_PRODUCT" /qn
check "[upgrade's removal] the program's files are gone" not test -e "$(install_dir)/pacewick.exe"
expect "[upgrade's removal] every program stays in its BackUp key" "$taken" "$(backup_keys)"
# (an emptied machine Run key may go with the package's value in it)
expect "[upgrade's removal] the Run keys hold none of them" 0 "$(run_keys | grep -c '^"' || true)"
install_msi

echo "== the next version installed over it"
starts_before=$(keeper_starts)
wine msiexec /i "$(win_path "$next_msi")" /qn && upgraded=yes || upgraded=no
expect "[upgrade] the installer accepts the newer package" yes "$upgraded"
check "[upgrade] the next version replaces the installed one" registered "$NEXT_PRODUCT"
check "[upgrade] the older version is unregistered" not registered "$PRODUCT"
expect "[upgrade] Apps and Features shows the next version" "\"DisplayVersion\"=\"$NEXT_VERSION\"" \
  "$(values "$(uninstall_key "$NEXT_PRODUCT")" | grep '^"DisplayVersion"=')"
check "[upgrade] the program is installed" cmp -s "$pacewick_exe" "$(install_dir)/pacewick.exe"
check "[upgrade] the keeper service runs again" wait_until 30 keeper_started_again
expect "[upgrade] the account's settings are kept" "$settings" "$(values "HKEY_CURRENT_USER\\$CONFIG")"
start_pacewick upgraded "$installed"
check "[upgrade] the program starts" probe wait-window 30000
expect "[upgrade] it lists every program taken over before" \
  "$(printf '%s\n' 'Machine Tool' 'Machine32 Tool' 'User Tool' 'Ünïcode 名前')" "$(listed)"
expect "[upgrade] every program is in its BackUp key as before" "$taken" "$(backup_keys)"
check "[upgrade] after the delay kept from before, every program starts" \
  wait_until 30 all_started
expect "[upgrade] each once" "$(LC_ALL=C sort <<'STARTED'
"C:\tools\record_launch.exe" machine
C:\tools\record_launch.exe machine32
C:\tools\record_launch.exe unicode
C:\tools\record_launch.exe user
STARTED
)" "$(tr -d '\r' <"$launch_log" | sed 's/ *$//' | LC_ALL=C sort)"
probe exit
check "[upgrade] the program ends on Exit" wait_pid "$last_pid" 20

echo "== the next version's removal puts everything back"
wine msiexec /x "$NEXT_PRODUCT" /qn
removed_with_everything_back removal "$NEXT_PRODUCT"
finish
