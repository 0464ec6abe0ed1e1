#!/usr/bin/env bash
# Wine keeps no Event Log: ReportEventW writes to its eventlog debug channel
# (and says what it was called with as a fixme of advapi). The keeper, started
# by hand rather than by the Service Control Manager, reports that as an error
# event of its source: its source's name, the event's id (from the ids the
# message table was built with) and its insertion string must reach the channel.
#   event_channel.sh WINE_RUN KEEPER_EXE EVENT_IDS_HEADER
set -euo pipefail
run=$1 keeper=$2 header=$3
id=$(sed -n 's/^#define PACEWICK_EVENT_NOT_A_SERVICE (DWORD) \(0x[0-9a-fA-F]*\)$/\1/p' "$header")
[ -n "$id" ] || { echo "FAIL no id for PACEWICK_EVENT_NOT_A_SERVICE in $header"; exit 1; }
id=$(printf '0x%08x' "$id")
output=$(WINEDEBUG=fixme+advapi,+eventlog "$run" "$keeper" 2>&1 || true)
failures=0
expect() {
  grep -qE "$1" <<<"$output" || { echo "FAIL $2"; failures=$((failures + 1)); }
}
expect 'RegisterEventSourceW \(\(null\),L"Pacewick Keeper"\)' "the source is not registered as Pacewick Keeper"
expect "ReportEventW \([0-9A-Fa-f]+,0x0001,0x0000,$id," "no error event $id"
expect 'err:eventlog:ReportEventW L"[0-9]+"' "the error code is not its insertion string"
expect 'DeregisterEventSource' "the source is not deregistered"
[ "$failures" -eq 0 ] || { echo "$output"; exit 1; }
echo "event $id of Pacewick Keeper seen in the eventlog channel"
