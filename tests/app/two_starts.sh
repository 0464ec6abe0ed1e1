#!/usr/bin/env bash
# Two starts a moment apart, both before either has its window: one instance
# takes the programs over and starts them, the other ends without touching them.
# Once 0.3 s apart, once with the second start made while the first asks its
# question after a Restore All (it has no window then).
source "$(dirname "$0")/lib.sh"

new_prefix two_starts
make_program_keys 5000 0
put_programs

reg_add "HKCU\\$RUN" /v 'User One' /d 'C:\tools\record_launch.exe user-one'
reg_add "HKCU\\$RUN" /v 'User Two' /t REG_EXPAND_SZ /d 'C:\tools\record_launch.exe user-two'
reg_add "HKLM\\$RUN" /v 'Machine One' /d 'C:\tools\record_launch.exe machine-one'
reg_add "HKLM\\$RUN" /v 'Machine Two' /d 'C:\tools\record_launch.exe machine-two --flag'
user_before=$(values "HKEY_CURRENT_USER\\$RUN")
machine_before=$(values "HKEY_LOCAL_MACHINE\\$RUN")

sleep_moment() { sleep 0.3; }
# After a Restore All the first start asks before it takes anything over: while
# the question is up it has no main window, and the second start must still end.
restored_question_up() {
  check "the first start asks whether to start" probe wait-box 'Start Pacewick?' 30000
}
answer_yes() { check "the question is answered" probe answer 'Start Pacewick?' yes 10000 >/dev/null; }

expected_launches=$(LC_ALL=C sort <<'LINES'
C:\tools\record_launch.exe user-one
C:\tools\record_launch.exe user-two
C:\tools\record_launch.exe machine-one
C:\tools\record_launch.exe machine-two --flag
LINES
)

# True once the first or the second start has ended, within SECONDS.
wait_until_one_ends() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    kill -0 "$first" 2>/dev/null && kill -0 "$second" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# two_starts NAME BEFORE_SECOND AFTER_SECOND: starts the first, runs BEFORE_SECOND,
# starts the second, then AFTER_SECOND once either has ended; then exactly one
# instance must remain and start each program once.
two_starts() {
  rm -f "$launch_log"
  start_pacewick "$1-first" "$exe"
  first=$last_pid
  "$2"
  start_pacewick "$1-second" "$exe"
  second=$last_pid
  check "one of the two starts ends by itself" wait_until_one_ends 30
  "$3"
  check "the main window appears" probe wait-window 30000
  if kill -0 "$first" 2>/dev/null; then survivor=$first; else survivor=$second; fi
  check "the other instance still runs" kill -0 "$survivor"
  expect "the user's BackUp key holds every user value, types and data intact" \
    "$user_before" "$(values "HKEY_CURRENT_USER\\$BACKUP")"
  expect "the machine BackUp key holds every machine value, types and data intact" \
    "$machine_before" "$(values "HKEY_LOCAL_MACHINE\\$BACKUP")"
  expect "the user's Run key is empty" "" "$(values "HKEY_CURRENT_USER\\$RUN")"
  expect "the machine Run key holds only Pacewick" "$(sz_line Pacewick "\"$exe\"")" \
    "$(values "HKEY_LOCAL_MACHINE\\$RUN")"
  rows=$(probe rows | grep -v '|Task Scheduler$' | cut -d'|' -f1 | LC_ALL=C sort)
  expect "the window lists each program once" \
    "$(printf '%s\n' 'Machine One' 'Machine Two' 'User One' 'User Two')" "$rows"

  for ((i = 0; i < 300; i++)); do
    [ "$(cat "$launch_log" 2>/dev/null | wc -l)" -ge 4 ] && break
    sleep 0.1
  done
  sleep 4  # a second instance's countdown, or a second launch, would show by now
  expect "each program was started exactly once" "$expected_launches" \
    "$(tr -d '\r' <"$launch_log" 2>/dev/null | LC_ALL=C sort || true)"
  check "still exactly one instance runs" kill -0 "$survivor"
  check "the start that ended wrote no diagnostic line (it touched nothing)" \
    not grep -q . "$work/$1-$([ "$survivor" = "$first" ] && echo second || echo first).out"
  probe exit
  check "Exit ends the remaining instance" wait_pid "$survivor" 20
}

echo "== two starts 0.3 s apart"
two_starts apart sleep_moment true
echo "== a second start while the first asks whether to start after Restore All"
reg_add "HKCU\\$CONFIG" /v Restored /t REG_DWORD /d 1
two_starts question restored_question_up answer_yes
finish
