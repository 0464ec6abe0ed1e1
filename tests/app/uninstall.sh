#!/usr/bin/env bash
# The package's life over the three Run keys and both Startup folders: install takes over; repair and upgrade
# keep settings, programs and service; msiexec /x, Apps and Features put every program back first; a Pacewick
# that will not end stops the removal. (pacewick.exe -UNINSTALL is keeper.sh's.)
source "$(dirname "$0")/lib.sh"

keeper_starts() { grep -c 'Keeper started' "$(log_file)" 2>/dev/null || true; }
keeper_started_again() { [ "$(keeper_starts)" -gt "$starts_before" ]; }
# The three Run keys (the program's own value left out) and both Startup folders; their BackUp keys and folders.
run_keys() {
  values "HKEY_CURRENT_USER\\$RUN"; echo ---
  values "HKEY_LOCAL_MACHINE\\$RUN" | { grep -v '^"Pacewick"=' || true; }; echo ---
  values "HKEY_LOCAL_MACHINE\\$RUN32"; echo ---
  folder_files "$(user_startup)"; echo ---; folder_files "$(common_startup)"
}
backup_keys() {
  values "HKEY_CURRENT_USER\\$BACKUP"; echo ---; values "HKEY_LOCAL_MACHINE\\$BACKUP"; echo ---
  values "HKEY_LOCAL_MACHINE\\$BACKUP32"; echo ---
  folder_files "$(user_held)"; echo ---; folder_files "$(common_held)"
}
none=$(printf '%s\n' --- --- --- ---)
# event_source SOURCE VALUE: the value of the Event Log source in the Application log; empty without it.
event_source() {
  wine reg query "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\$1" /v "$2" 2>/dev/null |
    tr -d '\r' | sed -n "s/^ *$2 *\(REG_[A-Z_]*\) *\(.*\)$/\1 \2/p"
}
# install_and_take_over LABEL [PROPERTY=VALUE...]: installed; the service takes the machine's programs, the
# program the user's.
install_and_take_over() {
  install_msi "${@:2}"
  start_pacewick "$1-take-over" "$installed"
  check "[$1] the installed program starts" probe wait-window 30000
  exit_program "$last_pid" "[$1] and ends on Exit"
  expect_soon 30 "[$1] every program is in its BackUp key, exactly" "$run_before" backup_keys
  expect "[$1] the Run keys hold none of them" "$none" "$(run_keys)"
}
# removed_with_everything_back LABEL [PRODUCT]: gone, every program back in its Run key exactly, BackUp empty.
removed_with_everything_back() {
  check "[$1] the program's files are gone" not test -e "$(install_dir)/pacewick.exe" -o -e "$(install_dir)/pacewick-keeper.exe"
  check "[$1] the package is unregistered" not registered "${2:-$PRODUCT}"
  expect "[$1] the three Run keys are as before the take-over" "$run_before" "$(run_keys)"
  expect "[$1] the BackUp keys hold none of them" "$none" "$(backup_keys)"
  expect "[$1] the machine's defaults are gone" MISSING "$(defaults)"
  expect "[$1] the Event Log sources are gone" "" "$(event_source Pacewick EventMessageFile)$(event_source 'Pacewick Keeper' EventMessageFile)"
}
readonly DEFAULTS='software\Quorvell Software\Pacewick\Defaults'
defaults() { values "HKEY_LOCAL_MACHINE\\$DEFAULTS"; }
# install_code PROPERTY=VALUE...: the exit code of a quiet install with them (its low byte: Wine hands a shell no
# more), logged in $work/install.log; a brand-new prefix's first msiexec may give up (91) while settling.
install_code() {
  local attempt code
  for attempt in 1 2 3 4 5; do
    code=0
    wine msiexec /i "$(win_path "$msi")" "$@" /qn /l*v "$(win_path "$work/install.log")" || code=$?
    [ "$code" -ne 91 ] && break
    sleep 2
  done
  echo "$code"
}

echo "== the package installs the program, its manual and its shortcuts; the programs are taken over"
new_prefix uninstall
put_programs
# Names and data only an exact copy keeps.
reg_add "HKCU\\$RUN" /v 'User Tool' /d 'C:\tools\record_launch.exe user'
reg_add "HKCU\\$RUN" /v 'Ünïcode 名前' /t REG_EXPAND_SZ /d 'C:\tools\record_launch.exe unicode'
reg_add "HKLM\\$RUN" /v 'Machine Tool' /t REG_EXPAND_SZ /d '"C:\tools\record_launch.exe" machine'
reg_add "HKLM\\$RUN32" /v 'Machine32 Tool' /d 'C:\tools\record_launch.exe machine32'
# A program and a script, with write times a copy would not keep by chance.
cp "$record_exe" "$(user_startup)/Folder Tool.exe"
printf '@"C:\\tools\\record_launch.exe" common\r\n' >"$(common_startup)/Common Tool.bat"
touch -d '2021-02-03 04:05:06' "$(user_startup)/Folder Tool.exe" "$(common_startup)/Common Tool.bat"
run_before=$(run_keys)

echo "== a setting at install out of range stops the install: nothing is installed, the log says why"
for bad in DELAY=abc DELAY=0 DELAY=31 DELAY=2.5 STARTWHENREADY=2 MANUAL=yes; do
  expect "[$bad] Windows Installer returns 1603" $((1603 % 256)) "$(install_code "$bad")"
  check "[$bad] no program folder" not test -e "$(install_dir)"
  expect "[$bad] no keeper service" MISSING "$(values 'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\PacewickKeeper')"
  expect "[$bad] no defaults" MISSING "$(defaults)"
  check "[$bad] the log names the property" grep -q "Pacewick was not installed: ${bad%=*} must be" "$work/install.log"
done

echo "== settings at install become the machine's defaults"
install_and_take_over install DELAY=2 STARTWHENREADY=1
given=$(printf '%s\n' '"DelayMinutes"=dword:00000002' '"StartWhenReady"=dword:00000001')
expect "the properties given are the machine's defaults, the one left out writes nothing" "$given" "$(defaults)"
taken=$(backup_keys)
check "pacewick.exe is installed" cmp -s "$pacewick_exe" "$(install_dir)/pacewick.exe"
check "the manual is installed beside it" test -s "$(install_dir)/PacewickManual.chm"
for source in 'Pacewick pacewick.exe' 'Pacewick Keeper pacewick-keeper.exe'; do
  exe=${source##* } source=${source% *}
  expect "the Event Log source $source has $exe for its sentences" "REG_EXPAND_SZ $(c_path "$(install_dir)/$exe")" \
    "$(event_source "$source" EventMessageFile)"
  expect "the Event Log source $source has errors, warnings and information" "REG_DWORD 0x7" \
    "$(event_source "$source" TypesSupported)"
done
check "the policy definitions are installed for the administrator" test -s "$(install_dir)/PolicyDefinitions/en-US/Pacewick.adml" -a -s "$(install_dir)/PolicyDefinitions/Pacewick.admx"
expect "the package writes no settings of an account (the program makes them)" "" \
  "$(values "HKEY_CURRENT_USER\\$CONFIG")"
check "the Start menu holds the program and its uninstaller" \
  test "$(find "$(c_drive users)" -path '*Pacewick*' -name '*.lnk' | wc -l)" -eq 2
uninstall_string=$(wine reg query "$(uninstall_key "$PRODUCT")" /v UninstallString | tr -d '\r' |
  sed -n 's/.*REG_EXPAND_SZ *//p')
expect "Apps and Features is given msiexec /x of this package" "MsiExec.exe /X$PRODUCT" "$uninstall_string"
reg_add "HKCU\\$CONFIG" /v TimeDelay /t REG_DWORD /d 1000  # changed from the default 3 minutes
settings=$(values "HKEY_CURRENT_USER\\$CONFIG")

echo "== a repair rewrites the package's files and keys, never the account's"
rm -f "$(install_dir)/PacewickManual.chm"
# msiexec /famus as properties (Wine's msiexec misreads /f): files, keys and shortcuts written again.
wine msiexec /i "$PRODUCT" REINSTALL=ALL REINSTALLMODE=amus /qn
check "[repair] the missing file is back" test -s "$(install_dir)/PacewickManual.chm"
expect "[repair] the account's settings are kept" "$settings" "$(values "HKEY_CURRENT_USER\\$CONFIG")"
expect "[repair] every program stays in its BackUp key" "$taken" "$(backup_keys)"
expect "[repair] the defaults given at install are kept" "$given" "$(defaults)"

echo "== the removal that an upgrade makes (UPGRADINGPRODUCTCODE set) restores nothing"
# Windows removes the old version with the property set; Wine's leaves it out, so restores and retakes below.
wine msiexec /x "$PRODUCT" UPGRADINGPRODUCTCODE="$NEXT_PRODUCT" /qn
check "[upgrade's removal] the program's files are gone" not test -e "$(install_dir)/pacewick.exe"
expect "[upgrade's removal] every program stays in its BackUp key" "$taken" "$(backup_keys)"
# (an emptied machine Run key may go with the package's value in it)
expect "[upgrade's removal] the Run keys hold none of them" 0 "$(run_keys | grep -c '^"' || true)"
install_msi DELAY=2 STARTWHENREADY=1

echo "== the next version installed over it"
starts_before=$(keeper_starts)
# A new delay given, the start when ready left out.
wine msiexec /i "$(win_path "$next_msi")" DELAY=5 /qn && upgraded=yes || upgraded=no
expect "[upgrade] the installer accepts the newer package" yes "$upgraded"
check "[upgrade] the next version replaces the installed one" registered "$NEXT_PRODUCT"
check "[upgrade] the older version is unregistered" not registered "$PRODUCT"
expect "[upgrade] Apps and Features shows the next version" "\"DisplayVersion\"=\"$NEXT_VERSION\"" \
  "$(values "$(uninstall_key "$NEXT_PRODUCT")" | grep '^"DisplayVersion"=')"
check "[upgrade] the program is installed" cmp -s "$pacewick_exe" "$(install_dir)/pacewick.exe"
check "[upgrade] the keeper service runs again" wait_until 30 keeper_started_again
expect "[upgrade] the account's settings are kept" "$settings" "$(values "HKEY_CURRENT_USER\\$CONFIG")"
expect "[upgrade] the delay given is the new default, the setting left out is kept" \
  "$(printf '%s\n' '"DelayMinutes"=dword:00000005' '"StartWhenReady"=dword:00000001')" "$(defaults)"
# Only this start's launches count below: the take-over runs before, with the machine's default of starting
# when ready, may have started a program before the script pressed Exit.
rm -f "$launch_log"
start_pacewick upgraded "$installed"
check "[upgrade] the program starts" probe wait-window 30000
expect "[upgrade] it lists every program taken over before, with the Startup folders' items" "$(LC_ALL=C sort <<'ROWS'
Common Tool.bat|all user startup folder
Folder Tool.exe|Current user startup folder
Machine Tool|all user start-up list
Machine32 Tool|all user start-up list
User Tool|Current user start-up list
Ünïcode 名前|Current user start-up list
ROWS
)" "$(listed 1,4)"
expect "[upgrade] every program is in its BackUp key as before" "$taken" "$(backup_keys)"
check "[upgrade] after the delay kept from before, the programs start" wait_until 30 launched 6
held_exe="$(c_path "$(user_held)")\Folder Tool.exe"

echo "== msiexec /x of the next version, quietly, while it runs: it is ended, then everything is back"
wine msiexec /x "$NEXT_PRODUCT" /qn
check "[msiexec] the running program was ended" wait_pid "$last_pid" 20
# The Startup folders' items are opened where they are held.
expect "[upgrade] each program was started once" "$(LC_ALL=C sort <<STARTED
"$held_exe"
"C:\tools\record_launch.exe" common
"C:\tools\record_launch.exe" machine
"C:\tools\record_launch.exe" machine32
"C:\tools\record_launch.exe" unicode
"C:\tools\record_launch.exe" user
STARTED
)" "$(launches)"
removed_with_everything_back msiexec "$NEXT_PRODUCT"

echo "== the UninstallString of Apps and Features, run as given (the installer's full window)"
install_and_take_over apps
# Two more accounts in the machine's list of profiles: one signed in (its registry under HKEY_USERS, as
# Windows loads it) whose Pacewick held a Run value and a Startup item, one whose profile is gone.
readonly SECOND=S-1-5-21-0-0-0-1001 GONE=S-1-5-21-0-0-0-1002
readonly PROFILES='SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
second=$(c_drive profiles/second)
mkdir -p "$second/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup" \
  "$second/AppData/Roaming/Quorvell Software/Pacewick/StartupBackUp"
printf '@echo second\r\n' >"$second/AppData/Roaming/Quorvell Software/Pacewick/StartupBackUp/Second Tool.cmd"
reg_add "HKLM\\$PROFILES\\$SECOND" /v ProfileImagePath /t REG_EXPAND_SZ /d "$(c_path "$second")"
reg_add "HKLM\\$PROFILES\\$GONE" /v ProfileImagePath /t REG_EXPAND_SZ /d 'C:\profiles\gone'
reg_add "HKU\\$SECOND\\$BACKUP" /v "Second Tool" /t REG_EXPAND_SZ /d '%ProgramFiles%\second.exe /q'
reg_add "HKU\\$SECOND\\$RUN" /v Kept /d 'C:\kept.exe'
second_held=$(folder_files "$second/AppData/Roaming/Quorvell Software/Pacewick/StartupBackUp")
timeout 120 wine cmd /c "$uninstall_string" >"$work/apps.out" 2>&1
removed_with_everything_back apps
expect "[apps] the signed-in account's Run key holds its program again, exactly" \
  "$(printf '%s\n' '"Kept"="C:\\kept.exe"' '"Second Tool"=hex(2):25,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,46,00,69,00,6c,00,65,00,73,00,25,00,5c,00,73,00,65,00,63,00,6f,00,6e,00,64,00,2e,00,65,00,78,00,65,00,20,00,2f,00,71,00,00,00')" \
  "$(values "HKEY_USERS\\$SECOND\\$RUN")"
expect "[apps] and its BackUp key none" "" "$(values "HKEY_USERS\\$SECOND\\$BACKUP")"
expect "[apps] its Startup item is back in its own Startup folder" "$second_held" \
  "$(folder_files "$second/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup")"
check "[apps] the account whose profile is gone is named in the keeper's log" \
  grep -q "Account $GONE: not reached, every entry stays held" "$(log_file)"
# Gone again, so that the Startup BackUp folders found below are the program's own.
wine reg delete "HKU\\$SECOND" /f >/dev/null 2>&1 || true
for sid in "$SECOND" "$GONE"; do wine reg delete "HKLM\\$PROFILES\\$sid" /f >/dev/null 2>&1 || true; done
rm -rf "$(c_drive profiles)"

echo "== a Pacewick that does not end (its question is open) stops msiexec /x: nothing changes"
install_msi
start_pacewick stuck "$installed"
stuck=$last_pid
check "[stuck] the program runs" probe wait-window 30000
expect_soon 30 "[stuck] every program is taken over again" "$taken" backup_keys
probe press 1023  # Restore All, which asks first
check "[stuck] its question is open" probe wait-box 'Are you sure to restore?' 20000
wine msiexec /x "$PRODUCT" /qn && removal=done || removal=failed
expect "[stuck] the removal fails" failed "$removal"
check "[stuck] the program's files are still there" cmp -s "$pacewick_exe" "$(install_dir)/pacewick.exe"
expect "[stuck] every program is still in its BackUp key" "$taken" "$(backup_keys)"
expect "[stuck] the Run keys hold none of them" "$none" "$(run_keys)"
probe answer 'Are you sure to restore?' no 20000 >/dev/null
check "[stuck] the program ends once its question is answered" wait_pid "$stuck" 20

# Under Wine every process is in one session: this one's Pacewick stands for every session's.
echo "== the removal's system step ends a running Pacewick as its Exit does, before it puts anything back"
start_pacewick signalled "$installed"
signalled=$last_pid
check "[system step] the program runs" probe wait-window 30000
wine "${installed%\\*}\\pacewick-keeper.exe" -restore-for-removal || true
check "[system step] the program has ended" wait_pid "$signalled" 20
check "[system step] it said why" grep -qF "The package is being removed: Pacewick ends as its Exit does" \
  "$work/signalled.out"
# The newest keeper log is this step's (under Wine the removal's %ProgramData% is not the service's).
system_log=$(find "$WINEPREFIX/drive_c" -name keeper.log -printf '%T@ %p\n' | sort -n | tail -1 | cut -d' ' -f2-)
expect "[system step] the keeper's log: the notice, the wait for it, its end, the notice withdrawn" \
  "Removal notice set: every running Pacewick ends
Pacewick runs in session N (process N): waiting for it to end
Every running Pacewick has ended
Removal notice withdrawn" "$(tr -d '\r' <"$system_log" | awk '/Removal notice set/ { steps = "" } { steps = steps $0 "\n" }
  END { printf "%s", steps }' | sed 's/^[^]]*\] //; s/session [0-9]*/session N/; s/process [0-9]*/process N/' |
  grep -e "Pacewick runs in" -e "running Pacewick" -e "Removal notice")"
finish
