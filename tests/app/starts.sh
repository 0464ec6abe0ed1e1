#!/usr/bin/env bash
# Starts as a user makes them: the first for an unset account from a path over MAX_PATH; two at once and a third
# while one runs (one instance takes over, each program starts once); after Restore All the question: No
# changes nothing, a start while it asks ends, Yes clears the flag; a newcomer while it runs is told of.
source "$(dirname "$0")/lib.sh"

new_prefix starts
put_programs
readonly STATUS_ID=1014  # IDC_STATUS
# True once either of the two starts has ended.
one_ended() { ! kill -0 "$first" 2>/dev/null || ! kill -0 "$second" 2>/dev/null; }

echo "== the first start for an account never set up, from a path longer than MAX_PATH"
long_dir=$(printf 'a long folder name %02d/' $(seq 1 14))
mkdir -p "$(c_drive "$long_dir")"
cp "$pacewick_exe" "$(c_drive "$long_dir")"
long_exe="C:\\${long_dir//\//\\}pacewick.exe"
check "the path is longer than MAX_PATH" test "${#long_exe}" -gt 260
reg_add "HKCU\\$RUN" /v 'Recorder One' /d 'C:\tools\record_launch.exe one'
reg_add "HKCU\\$RUN" /v 'Recorder Two' /t REG_EXPAND_SZ /d 'C:\tools\record_launch.exe two'
reg_add "HKLM\\$RUN" /v 'Machine One' /d 'C:\tools\record_launch.exe machine'
user_before=$(values "HKEY_CURRENT_USER\\$RUN")
machine_before=$(values "HKEY_LOCAL_MACHINE\\$RUN")
expect "no key of the program exists before" "$(printf '%s\n' "$user_before" --- "$machine_before" --- MISSING --- MISSING --- MISSING ---)" \
  "$(registry_snapshot)"
start_pacewick long-path "$long_exe"
check "the main window appears" probe wait-window 30000
expect "the status counts down the default delay of 3 minutes" "Will start in 3 minute" "$(probe text $STATUS_ID)"
expect "the user's programs are in a BackUp key the program made, exactly, beside an empty Config key; the machine's stay (no BackUp key) beside Pacewick's whole long path, quoted" \
  "$(printf '%s\n' --- "$(LC_ALL=C sort <<<"$machine_before"$'\n'"$(sz_line Pacewick "\"$long_exe\"")")" --- \
     "$user_before" --- MISSING --- ---)" "$(registry_snapshot)"
expect "the window lists the user's programs" "$(printf '%s\n' \
  'Recorder One|C:\tools\record_launch.exe one|Current user start-up list' \
  'Recorder Two|C:\tools\record_launch.exe two|Current user start-up list')" "$(listed 1,2,4)"
exit_program "$last_pid"
check "nothing was launched" test ! -e "$launch_log"

echo "== two starts a moment apart: one takes over, registers itself and lists every program"
clear_values "HKCU\\$BACKUP" "HKLM\\$RUN"
make_program_keys 10000 0
mkdir -p "$(c_drive 'tools dir')"
cp "$record_exe" "$(c_drive 'tools dir/record_launch.exe')"
# Names in any script, both string types and quoted paths with arguments.
reg_add "HKCU\\$RUN" /v 'Recorder One' /d 'C:\tools\record_launch.exe one'
reg_add "HKCU\\$RUN" /v 'Météo 天気' /d 'C:\tools\record_launch.exe meteo'
reg_add "HKLM\\$RUN" /v 'Recorder Two' /t REG_EXPAND_SZ /d 'C:\tools\record_launch.exe two'
reg_add "HKLM\\$RUN" /v 'Quoted Path' /d '"C:\tools dir\record_launch.exe" three "x y"'
user_before=$(values "HKEY_CURRENT_USER\\$RUN")
machine_before=$(values "HKEY_LOCAL_MACHINE\\$RUN")
start_pacewick first "$exe"
first=$last_pid
sleep 0.3
start_pacewick second "$exe"
second=$last_pid
check "one of the two starts ends by itself" wait_until 30 one_ended
check "the main window appears" probe wait-window 30000
if kill -0 "$first" 2>/dev/null; then survivor=$first ended=second; else survivor=$second ended=first; fi
check "the other instance still runs" kill -0 "$survivor"
expect "each Run key's programs are in its BackUp key, exactly; the Run keys hold only Pacewick, the quoted path of the exe" \
  "$(printf '%s\n' --- "$(sz_line Pacewick "\"$exe\"")" --- "$user_before" --- "$machine_before" --- \
     "$(values "HKEY_CURRENT_USER\\$CONFIG")" ---)" "$(registry_snapshot)"
expect "the window lists every taken-over program once, with its origin" "$(LC_ALL=C sort <<'ROWS'
Recorder One|C:\tools\record_launch.exe one|Current user start-up list
Météo 天気|C:\tools\record_launch.exe meteo|Current user start-up list
Recorder Two|C:\tools\record_launch.exe two|all user start-up list
Quoted Path|"C:\tools dir\record_launch.exe" three "x y"|all user start-up list
ROWS
)" "$(listed 1,2,4)"
check "nothing is launched before the delay" test ! -s "$launch_log"

echo "== a third start while one runs"
probe minimize
expect "the window is minimised before the third start" "visible=1 iconic=1" "$(probe state | cut -d' ' -f1,2)"
snapshot=$(registry_snapshot)
started=$SECONDS
timeout 60 wine "$exe" >"$work/third.out" 2>&1 || true
check "the third start ends at once" test $((SECONDS - started)) -le 10
check "the running instance still runs" kill -0 "$survivor"
expect "the third start leaves the registry untouched" "$snapshot" "$(registry_snapshot)"
expect "the window is restored and brought to the front" "visible=1 iconic=0 foreground=1" "$(probe state)"

echo "== the countdown launches every program once"
check "the programs are launched" wait_until 40 launched 4
expect "the window hides itself after the launch" "visible=0" "$(probe state | cut -d' ' -f1)"
timeout 60 wine "$exe" >"$work/fourth.out" 2>&1 || true
window_open() { [ "$(probe state | cut -d' ' -f1,2)" = "visible=1 iconic=0" ]; }
check "a start while the window is hidden opens it" wait_until 10 window_open
exit_program "$survivor"
sleep 1  # a second launch would show by now
# The desktop shell starts them (Wine's token is elevated): it quotes the program.
expect "each program was started once, with its exact command line" "$(LC_ALL=C sort <<'LINES'
"C:\tools\record_launch.exe" one
"C:\tools\record_launch.exe" meteo
"C:\tools\record_launch.exe" two
"C:\tools dir\record_launch.exe" three "x y"
LINES
)" "$(launches)"
check "the starts that ended wrote no diagnostic line (they touched nothing)" \
  not grep -q . "$work/$ended.out" "$work/third.out" "$work/fourth.out"
check "the program's diagnostic lines reach standard output" \
  grep -q "Reg entry put SUCCESSFULLY!!" "$work/$([ "$ended" = first ] && echo second || echo first).out"

echo "== Restored = 1: the keys as a Restore All leaves them"
clear_values "HKCU\\$BACKUP" "HKLM\\$BACKUP" "HKLM\\$RUN"
make_program_keys 600000 1
reg_add "HKCU\\$RUN" /v Newcomer /d 'C:\tools\record_launch.exe newcomer'
reg_add "HKLM\\$RUN" /v 'Machine Newcomer' /t REG_EXPAND_SZ /d 'C:\tools\record_launch.exe machine'
question=$'Pacewick was restored previously\nPress [Yes] to start.'
machine_run_before=$(values "HKEY_LOCAL_MACHINE\\$RUN")
before=$(registry_snapshot)

echo "== Restored = 1, answer No"
start_pacewick answer-no "$exe"
expect "the question is asked with its text" "$question" "$(probe answer 'Start Pacewick?' no 20000)"
check "No ends the program" wait_pid "$last_pid" 20
check "No opens no window" not probe wait-window 0
expect "No changes nothing: Run, BackUp and Config keys as before" "$before" "$(registry_snapshot)"

echo "== Restored = 1 again: a start while the question waits ends; answer Yes"
start_pacewick answer-yes "$exe"
first=$last_pid
check "the question comes again at the next start" probe wait-box 'Start Pacewick?' 20000
start_pacewick while-asked "$exe"
second=$last_pid
check "a start while the question waits ends by itself" wait_pid "$second" 30
check "the first still runs" kill -0 "$first"
check "the start that ended wrote no diagnostic line" not grep -q . "$work/while-asked.out"
expect "nothing is taken over while the question waits" "$before" "$(registry_snapshot)"
expect "the question is asked with its text" "$question" "$(probe answer 'Start Pacewick?' yes 20000)"
check "Yes goes on to the main window" probe wait-window 30000
expect "Yes takes both programs over, exactly, and stores Restored = 0, the other settings kept" "$(printf '%s\n' \
  --- "$(sz_line Pacewick "\"$exe\"")" --- "$(sz_line Newcomer 'C:\tools\record_launch.exe newcomer')" --- \
  "$machine_run_before" --- '"Manual"=dword:00000000' '"Restored"=dword:00000000' '"TimeDelay"=dword:000927c0' ---)" \
  "$(registry_snapshot)"
expect "the window lists each program once" "$(printf '%s\n' 'Machine Newcomer' Newcomer)" "$(listed 1)"
told() { values "HKEY_CURRENT_USER\\software\\Quorvell Software\\Pacewick\\Notified" | cut -d= -f1; }
reg_add "HKCU\\$RUN" /v 'Late Comer' /d 'C:\tools\record_launch.exe late'
check "a program that adds itself while the window runs is taken over" wait_until 20 not holds "HKEY_CURRENT_USER\\$RUN" 'Late Comer'
expect_soon 10 "it alone is told of, not what the start found" '"Late Comer"' told
exit_program "$first"
finish
