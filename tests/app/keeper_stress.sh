#!/usr/bin/env bash
# The installed keeper service under abuse: 500 random requests to its pipe
# (each answered, nothing changed, the service still serving), then 50 stops
# and starts while a writer adds machine entries (none lost, none half moved).
source "$(dirname "$0")/lib.sh"

new_prefix keeper-stress
install_msi
check "the service starts" wait_until 30 log_says 'Keeper started'
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v 'Kept Tool' /d 'C:\tools\kept.exe' /f >/dev/null
check "a machine entry is taken over" wait_until 10 holds "HKEY_LOCAL_MACHINE\\$BACKUP" 'Kept Tool'

echo "== 500 random requests"
out=$(fixture fuzz 500 20261207) && ok=yes || ok=no
echo "$out" | tail -5 | sed 's/^/       /'
expect "each request is answered, the service still serves, the machine keys are unchanged" yes "$ok"
check "the refusals are in the log" log_says 'Request refused: malformed or unknown'

echo "== 50 stops and starts during writes"
out=$(fixture cycles 50) && ok=yes || ok=no
echo "$out" | tail -5 | sed 's/^/       /'
expect "every entry written is kept exactly, none lost or half moved" yes "$ok"
check "the entry kept before is still kept" grep -q '"Kept Tool"="C:\\\\tools\\\\kept.exe"' <(values "HKEY_LOCAL_MACHINE\\$BACKUP")
finish
