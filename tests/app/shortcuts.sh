#!/usr/bin/env bash
# Shell-made shortcuts in both Startup folders each start their target once, with their arguments and folder; a
# damaged one shows "Unknown" and is said not to start; seeded damaged ones arriving while it runs
# (PACEWICK_SHORTCUT_ROUNDS, 20; make stress 200) are taken over and listed, the program living through them.
source "$(dirname "$0")/lib.sh"

rounds=${PACEWICK_SHORTCUT_ROUNDS:-20}
# Set before the prefix's desktop shell starts: each start records its working folder.
export PACEWICK_LAUNCH_LOG_FOLDER=1
make_shortcut() { wine "$(win_path "$build/bin/make_shortcut.exe")" "$@"; }
target='C:\tools dir\record launch.exe'
work_dir='C:\work dir'
# Made whole beside the folders, then moved in: a watched folder never sees one half written.
stage_dir() { c_drive stage; }
held_file() { [ -n "$(user_held)" ] && [ -f "$(user_held)/$1" ]; }
alive() { kill -0 "$program" 2>/dev/null; }

echo "== shortcuts made by the shell in both Startup folders, a damaged one and a program beside them"
new_prefix shortcuts
install_msi
check "the service starts" wait_until 30 log_says 'Keeper started'
put_programs
mkdir -p "$(c_drive 'tools dir')" "$(c_drive 'work dir')" "$(stage_dir)" "$(c_drive sound)"
cp "$record_exe" "$(c_drive 'tools dir/record launch.exe')"
make_program_keys 4000 0
make_shortcut make 'C:\sound\App.lnk' "$target" 'user "x y"' "$work_dir"
make_shortcut make 'C:\stage\Common App.lnk' "$target" 'common "x y"' "$work_dir"
mv "$(stage_dir)/Common App.lnk" "$(common_startup)/"
check "the service takes the all-users shortcut over" wait_until 20 test -f "$(common_held)/Common App.lnk"
cp "$(c_drive 'sound/App.lnk')" "$(stage_dir)/User App.lnk"
make_shortcut overlong 'C:\sound\App.lnk' 'C:\stage\Broken.lnk'
cp "$record_exe" "$(stage_dir)/Folder Tool.exe"
mv "$(stage_dir)"/* "$(user_startup)/"

start_pacewick program "$installed"
program=$last_pid
check "the program starts" probe wait-window 30000
expect_soon 10 "it lists the shortcuts, the damaged one with \"Unknown\", and the program" "$(printf '%s\n' \
  'Broken.lnk|Unknown|Current user startup folder' 'Common App.lnk|Unknown|all user startup folder' \
  'Folder Tool.exe|Unknown|Current user startup folder' 'User App.lnk|Unknown|Current user startup folder')" \
  listed 1,3,4
check "after the delay the programs start" wait_until 30 launched 3
sleep 1  # a second start would show by now
held=$(c_path "$(user_held)")
expect "each shortcut's target ran once with its own arguments in its working folder; the program beside them as before" \
  "$(LC_ALL=C sort <<LINES
"$target" user "x y" in $work_dir
"$target" common "x y" in $work_dir
"$held\\Folder Tool.exe" in $held
LINES
)" "$(launches)"
check "the program lives" alive
check "the damaged shortcut is said not to have started" grep -qF "Start failed: $held\\Broken.lnk" "$work/program.out"
check "and not said to have started" not grep -qF "Data $held\\Broken.lnk" "$work/program.out"

echo "== $rounds seeded damaged shortcuts taken over while the program runs"
mkdir -p "$(c_drive damaged)"
make_shortcut damage 'C:\sound\App.lnk' 'C:\damaged' "$rounds"
taken=0
for seed in $(seq 1 "$rounds"); do
  mv "$(c_drive damaged)/Damaged $seed.lnk" "$(user_startup)/"
  wait_until 10 held_file "Damaged $seed.lnk" && taken=$((taken + 1))
  alive || break
done
expect "each was taken over" "$rounds" "$taken"
expect_soon 10 "and listed" "$((rounds + 4))" eval 'probe rows | grep -vc "|Task Scheduler$"'
check "the program lives through them" alive
exit_program "$program"

echo "== the next start reads every held shortcut again"
start_pacewick again "$installed"
program=$last_pid
check "the program starts" probe wait-window 30000
expect_soon 10 "it lists every held item" "$((rounds + 4))" eval 'probe rows | grep -vc "|Task Scheduler$"'
check "the program lives" alive
exit_program "$program"
check "no start of the program faulted" not grep -q 'Unhandled' "$work/program.out" "$work/again.out"
finish
