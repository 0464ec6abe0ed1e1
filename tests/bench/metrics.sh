#!/usr/bin/env bash
# The log-on figures of a hand-made set of recorded runs (runs/), worked out by
# hand: each run's line from metrics.awk, then the summary's table and goals.
# The first program's start must not count as a start-up program's (windows'
# T_all_started would be "-": 13 starts), ready's three runs and floor's two
# give an odd and an even median, ready-2 starts low4 at 61.5 s, after the
# deadline, ready-3 never starts its twelfth program.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
logon=$here/../../bench/logon
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
same() {  # DESCRIPTION EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok   $1"; else
    echo "FAIL $1"; diff <(echo "$2") <(echo "$3") || true; failures=$((failures + 1)); fi
}

for run in windows-1 ready-1 ready-2 ready-3 floor-1 floor-2; do
  awk -v t0="$(cat "$here/runs/$run.t0")" -v scenario="${run%-*}" -v n_run="${run##*-}" -f "$logon/metrics.awk" \
    "$here/runs/$run.logon" "$here/runs/$run.probe" "$here/runs/$run.sampler"
done >"$out/runs.txt"
same "each run's T_usable T_all_started T_settled jank_s >100ms >1s T_first_app max_ms after_60s" \
"windows 1 - 3.0 7.0 0.00 0 0 7.00 5.0 0
ready 1 - 48.0 5.0 0.14 1 0 3.50 150.0 0
ready 2 - 61.5 5.0 0.01 0 0 3.00 30.0 1
ready 3 - - 5.0 0.00 0 0 4.00 17.0 0
floor 1 0 n/a 5.0 0.00 0 0 3.00 1.0 0
floor 2 - n/a 5.0 0.02 0 0 3.40 40.0 0" "$(awk '{ $1 = $1; print }' "$out/runs.txt")"

summary=$("$logon/summary.sh" "$out/runs.txt" "$here/runs" "$out/plot.svg")
same "the table: median (min-max) per scenario" \
"| windows | never | 3.0 (3.0-3.0) | 7.0 (7.0-7.0) | 0.00 (0.00-0.00) | 0 (0-0) | 0 (0-0) | 7.00 (7.00-7.00) |
| ready | never | 54.75 (48.0-61.5) +1 never | 5.0 (5.0-5.0) | 0.01 (0.00-0.14) | 0 (0-1) | 0 (0-0) | 3.50 (3.00-4.00) |
| floor | 0 (0-0) +1 never | n/a | 5 (5.0-5.0) | 0.01 (0.00-0.02) | 0 (0-0) | 0 (0-0) | 3.2 (3.00-3.40) |" \
  "$(grep '^| [a-z]' <<<"$summary" | grep -v '^| scenario')"
same "the goals: 3.50 / 3.2 met, 54.75 s against 7.0 s not, a 150 ms tick, jank, one late start" \
"goal: ready's T_first_app / floor's = 1.09 <= 1.1 (windows' 2.19): met
goal: ready's T_all_started 54.75 s <= windows' T_settled 7.0 s: not met
goal: ready's ticks over 100 ms: 1 (the worst 150.0 ms): not met
goal: ready's jank_s 0.01 <= floor's 0.01 + 0.05: met
goal: ready runs that started a program after the 60 s deadline: 1 of 3: not met" "$(grep '^goal: ' <<<"$summary")"
same "the plot: a dot per run and a median bar per scenario in the first program's panel" "6 3" \
  "$(grep -c '<circle' "$out/plot.svg") $(grep -c 'stroke-width="3"' "$out/plot.svg")"
[ "$failures" = 0 ] || { echo "$failures failed"; exit 1; }
