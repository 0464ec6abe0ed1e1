#!/usr/bin/env bash
# The program killed at random moments of its take-over: after each kill every
# value is in its Run key or its BackUp key, type and data intact. The kills and
# checks are made by takeover_killer.exe inside the prefix.
#   kills.sh BUILD PACEWICK RECORD_LAUNCH PROBE MSI TAKEOVER_KILLER [KILLS [VALUES [SEED]]]
source "$(dirname "$0")/lib.sh"
killer_exe=$6 kills=${7:-20} count=${8:-200} seed=${9:-20261207}

new_prefix kills
make_program_keys 600000 0
# Manual start: a killed instance must never have started a program.
reg_add "HKCU\\$CONFIG" /v Manual /t REG_DWORD /d 1
make_key "HKLM\\$RUN"
mkdir -p "$(c_drive 'Program Files/Pacewick Test')"
cp "$pacewick_exe" "$(c_drive 'Program Files/Pacewick Test/pacewick.exe')"
cp "$killer_exe" "$(c_drive takeover_killer.exe)"

echo "== $kills kills during the take-over of $count values (seed $seed)"
wine 'C:\takeover_killer.exe' 'C:\Program Files\Pacewick Test\pacewick.exe' "$seed" "$kills" "$count" \
  2>&1 | tr -d '\r' | tee "$work/killer.out" || true
summary=$(grep '^Kills: ' "$work/killer.out" || true)
check "every kill was made and checked" grep -q "^Kills: $kills, values checked: $((kills * count))," <<<"$summary"
check "no value was lost, altered or misplaced" grep -q 'lost: 0, altered: 0, stray: 0,' <<<"$summary"
# How many kills land inside the take-over depends on the machine's load: over
# the 200 kills of `make stress` some always do; over 20 it is only reported.
if [ "$kills" -ge 100 ]; then
  check "the kills fell within the take-over" not grep -q 'kills mid-take-over: 0,' <<<"$summary"
else
  grep -o 'kills mid-take-over: [0-9]*' <<<"$summary" || true
fi
finish
