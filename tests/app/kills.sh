#!/usr/bin/env bash
# The take-over cut short: Exit while the monitors move 500 fresh values, and kills at random moments (checked by
# takeover_killer.exe in the prefix): every value stays in its Run or BackUp key, type and data exact.
#   kills.sh BUILD PACEWICK RECORD_LAUNCH PROBE MSI TAKEOVER_KILLER [KILLS [VALUES [SEED]]]
source "$(dirname "$0")/lib.sh"
killer_exe=$6 kills=${7:-30} count=${8:-200} seed=${9:-20261207}

new_prefix kills
put_programs
# Manual start: an instance ended or killed must never have started a program.
make_program_keys 600000 0 1
readonly BULK=500 REFERENCE='Software\Pacewick Test\Reference'

# hex(2) in a non-UTF-16 .reg file: the text's bytes and a zero, which the import widens to UTF-16.
expand_sz() { printf '%s' "$1" | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//'; printf '00'; }
# bulk_reg KEY: a .reg file of the 500 values (plain and expandable, quoted paths, long commands) under KEY.
bulk=$(
  long=$(printf 'x%.0s' {1..600})
  for ((i = 0; i < BULK; i++)); do
    case $((i % 4)) in
    0) printf '"Bulk %03d"="C:\\\\Apps\\\\bulk%03d.exe"\r\n' "$i" "$i" ;;
    1) printf '"Bulk %03d"=hex(2):%s\r\n' "$i" "$(expand_sz "%ProgramFiles%\\Bulk\\bulk$i.exe /tray")" ;;
    2) printf '"Bulk %03d"="\\"C:\\\\Program Files\\\\Bulk %03d\\\\app.exe\\" -q \\"a b\\""\r\n' "$i" "$i" ;;
    3) printf '"Bulk %03d"="C:\\\\Long\\\\app.exe %s%03d"\r\n' "$i" "$long" "$i" ;;
    esac
  done
)
bulk_reg() { printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\%s]\r\n%s\n' "$1" "$bulk"; }
bulk_reg "$REFERENCE" >"$work/reference.reg"
bulk_reg "$RUN" >"$work/bulk.reg"
wine reg import "$(win_path "$work/reference.reg")" >/dev/null 2>&1
expected=$(values "HKEY_CURRENT_USER\\$REFERENCE")
check "the $BULK reference values are written" test "$(grep -c '^"Bulk ' <<<"$expected")" -eq $BULK

echo "== Exit during the take-over of $BULK values"
start_pacewick pacewick "$exe"
pid=$last_pid
check "the main window appears" probe wait-window 30000
# What the BackUp key holds, not what the program printed: the registry is the record.
moved() { values "HKEY_CURRENT_USER\\$BACKUP" | grep -c '^"Bulk ' || true; }
before=0
moving() { [ "$(moved)" -gt "$before" ]; }
wine reg import "$(win_path "$work/bulk.reg")" >/dev/null 2>&1 &
writer=$!
background+=("$writer")
# Exit once the monitors have begun to move values (the probe's start lets the take-over get well under way).
check "the monitors begin to take the values over" wait_until 30 moving
probe exit
asked=$SECONDS at_exit=$(($(moved) - before))
check "the program ends within 5 s of Exit" wait_pid "$pid" 8
echo "     ended $((SECONDS - asked)) s after Exit; values backed up: $at_exit at Exit, $(($(moved) - before)) in all"
wait "$writer" || true
kept=$( (values "HKEY_CURRENT_USER\\$RUN"; values "HKEY_CURRENT_USER\\$BACKUP") | grep '^"Bulk ' | LC_ALL=C sort -u)
expect "every value is in the Run key or the BackUp key, type and data exact" "$expected" "$kept"

echo "== $kills kills during the take-over of $count values (seed $seed)"
cp "$killer_exe" "$(c_drive takeover_killer.exe)"
wine 'C:\takeover_killer.exe' "$exe" "$seed" "$kills" "$count" 2>&1 | tr -d '\r' | tee "$work/killer.out" || true
summary=$(grep '^Kills: ' "$work/killer.out" || true)
check "every kill was made and checked; no value was lost, altered or misplaced" \
  grep -q "^Kills: $kills, values checked: $((kills * count)), faults: 0," <<<"$summary"
# How many kills land inside the take-over depends on load: required over 200 (make stress), reported over 30.
if [ "$kills" -ge 100 ]; then
  check "the kills fell within the take-over" not grep -q 'kills mid-take-over: 0,' <<<"$summary"
fi
finish
