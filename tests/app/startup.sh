#!/usr/bin/env bash
# A full start of the real program with programs in both Run keys, then a second
# start while the first runs.
source "$(dirname "$0")/lib.sh"

new_prefix startup
make_program_keys 15000 0
put_programs
mkdir -p "$(c_drive 'tools dir')"
cp "$record_exe" "$(c_drive 'tools dir/record_launch.exe')"

# Names in any script, both string types and quoted paths with arguments.
reg_add "HKCU\\$RUN" /v 'Recorder One' /d 'C:\tools\record_launch.exe one'
reg_add "HKCU\\$RUN" /v 'Météo 天気' /d 'C:\tools\record_launch.exe meteo'
reg_add "HKLM\\$RUN" /v 'Recorder Two' /t REG_EXPAND_SZ /d 'C:\tools\record_launch.exe two'
reg_add "HKLM\\$RUN" /v 'Quoted Path' /d '"C:\tools dir\record_launch.exe" three "x y"'
user_before=$(values "HKEY_CURRENT_USER\\$RUN")
machine_before=$(values "HKEY_LOCAL_MACHINE\\$RUN")

echo "== first start: take-over, self-registration, the window and its list"
start_pacewick first "$exe"
first=$last_pid
check "the main window appears" probe wait-window 30000
expect "the user's Run key is empty" "" "$(values "HKEY_CURRENT_USER\\$RUN")"
expect "the machine Run key holds only Pacewick, the quoted path of the exe" \
  "$(sz_line Pacewick "\"$exe\"")" "$(values "HKEY_LOCAL_MACHINE\\$RUN")"
expect "the user's BackUp key holds every user value, types and data intact" \
  "$user_before" "$(values "HKEY_CURRENT_USER\\$BACKUP")"
expect "the machine BackUp key holds every machine value, types and data intact" \
  "$machine_before" "$(values "HKEY_LOCAL_MACHINE\\$BACKUP")"
rows=$(probe rows | grep -v '|Task Scheduler$' | cut -d'|' -f1,2,4 | LC_ALL=C sort)
expect "the window lists every taken-over program with its origin" "$(LC_ALL=C sort <<'ROWS'
Recorder One|C:\tools\record_launch.exe one|Current user start-up list
Météo 天気|C:\tools\record_launch.exe meteo|Current user start-up list
Recorder Two|C:\tools\record_launch.exe two|all user start-up list
Quoted Path|"C:\tools dir\record_launch.exe" three "x y"|all user start-up list
ROWS
)" "$rows"
check "nothing is launched before the delay" test ! -s "$launch_log"

echo "== second start while the first runs"
probe minimize
expect "the first window is minimised before the second start" "visible=1 iconic=1" \
  "$(probe state | cut -d' ' -f1,2)"
snapshot=$(registry_snapshot)
started=$SECONDS
timeout 60 wine "$exe" >"$work/second.out" 2>&1 || true
check "the second start ends at once" test $((SECONDS - started)) -le 10
check "the first instance still runs" kill -0 "$first"
expect "the second start leaves the registry untouched" "$snapshot" "$(registry_snapshot)"
expect "the first window is restored and brought to the front" "visible=1 iconic=0 foreground=1" \
  "$(probe state)"

echo "== the countdown launches every program once"
for ((i = 0; i < 400; i++)); do
  [ "$(cat "$launch_log" 2>/dev/null | wc -l)" -ge 4 ] && break
  sleep 0.1
done
sleep 3  # a launch made twice would show by now
launched=$(tr -d '\r' <"$launch_log" 2>/dev/null | LC_ALL=C sort || true)
expect "each program was started once, with its exact command line" "$(LC_ALL=C sort <<'LINES'
C:\tools\record_launch.exe one
C:\tools\record_launch.exe meteo
C:\tools\record_launch.exe two
"C:\tools dir\record_launch.exe" three "x y"
LINES
)" "$launched"
expect "the window hides itself after the launch" "visible=0" "$(probe state | cut -d' ' -f1)"

probe exit
check "Exit ends the program" wait_pid "$first" 20
check "the program's diagnostic lines reach standard output" \
  grep -q "Reg entry put SUCCESSFULLY!!" "$work/first.out"
finish
