#!/usr/bin/env bash
# Exit pressed while the monitors take over 500 values that another program has
# just written: the program ends within its bound, and every value sits in the
# Run key or in the BackUp key, type and data exact.
source "$(dirname "$0")/lib.sh"

new_prefix exit_takeover
make_program_keys 600000 0
reg_add "HKCU\\$CONFIG" /v Manual /t REG_DWORD /d 1
mkdir -p "$(c_drive 'Program Files/Pacewick Test')"
cp "$pacewick_exe" "$(c_drive 'Program Files/Pacewick Test/pacewick.exe')"
exe='C:\Program Files\Pacewick Test\pacewick.exe'
readonly COUNT=500
readonly REFERENCE='Software\Pacewick Test\Reference'

# hex(2) data as regedit writes it: UTF-16LE bytes with the terminating zero.
expand_sz() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//'; printf '00,00'; }
# bulk_reg KEY: a .reg file of the 500 values under KEY, plain and expandable
# strings, quoted paths and long commands.
bulk_reg() {
  local i long
  long=$(printf 'x%.0s' {1..600})
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\%s]\r\n' "$1"
  for ((i = 0; i < COUNT; i++)); do
    case $((i % 4)) in
    0) printf '"Bulk %03d"="C:\\\\Apps\\\\bulk%03d.exe"\r\n' "$i" "$i" ;;
    1) printf '"Bulk %03d"=hex(2):%s\r\n' "$i" "$(expand_sz "%ProgramFiles%\\Bulk\\bulk$i.exe /tray")" ;;
    2) printf '"Bulk %03d"="\\"C:\\\\Program Files\\\\Bulk %03d\\\\app.exe\\" -q \\"a b\\""\r\n' "$i" "$i" ;;
    3) printf '"Bulk %03d"="C:\\\\Long\\\\app.exe %s%03d"\r\n' "$i" "$long" "$i" ;;
    esac
  done
}
bulk_reg "$REFERENCE" >"$work/reference.reg"
bulk_reg "$RUN" >"$work/bulk.reg"
wine reg import "$(win_path "$work/reference.reg")" >/dev/null 2>&1
expected=$(values "HKEY_CURRENT_USER\\$REFERENCE")
check "the $COUNT reference values are written" test "$(grep -c '^"Bulk ' <<<"$expected")" -eq $COUNT

echo "== Exit during the take-over"
start_pacewick pacewick "$exe"
pid=$last_pid
check "the main window appears" probe wait-window 30000
moved() { grep -c 'Reg entry put SUCCESSFULLY' "$work/pacewick.out" || true; }
before=$(moved)  # the program's own Run value
wine reg import "$(win_path "$work/bulk.reg")" >/dev/null 2>&1 &
writer=$!
background+=("$writer")
# Exit as soon as the monitors have begun to move values; the probe's own start
# takes long enough for the take-over to be well under way by then.
for ((i = 0; i < 600; i++)); do
  [ "$(moved)" -gt "$before" ] && break
  sleep 0.05
done
check "the monitors began to take the values over" test "$(moved)" -gt "$before"
probe exit
asked=$SECONDS at_exit=$(($(moved) - before))
check "the program ends within 5 s of Exit" wait_pid "$pid" 8
echo "     ended $((SECONDS - asked)) s after Exit; values backed up: $at_exit at Exit, $(($(moved) - before)) in all"
wait "$writer" || true

kept=$( (values "HKEY_CURRENT_USER\\$RUN"; values "HKEY_CURRENT_USER\\$BACKUP") | grep '^"Bulk ' | LC_ALL=C sort -u)
expect "every value is in the Run key or the BackUp key, type and data exact" "$expected" "$kept"
echo "     $(values "HKEY_CURRENT_USER\\$RUN" | grep -c '^"Bulk ') left in the Run key," \
  "$(values "HKEY_CURRENT_USER\\$BACKUP" | grep -c '^"Bulk ') in the BackUp key"
finish
