#!/usr/bin/env bash
# The table of the log-on runs (median and min-max per scenario and figure) and
# the plot of the probe's lateness over time in each scenario's median run (by
# jank integral), as SVG.
#   bench/logon/summary.sh RUNS_TXT RUNS_DIR SVG
set -euo pipefail
runs=$1 dir=$2 svg=$3
here=$(dirname "$(realpath "$0")")
names=(T_usable T_all_started T_settled jank_s '>100ms' '>1s')
# stat COLUMN SCENARIO: "median (min-max)" of the runs that reached it, "+k never" for the
# others; "never" when none did, "n/a" for no programs (the floor).
stat() {
  awk -v c="$1" -v s="$2" '$1 == s { print $c }' "$runs" | sort -g | awk '
    $1 == "-" { never++; next }
    $1 == "n/a" { next }
    { v[++n] = $1 }
    END {
      if (!n) { printf never ? "never" : "n/a"; exit }
      printf "%s (%s-%s)", (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2), v[1], v[n]
      if (never) printf " +%d never", never
    }'
}
scenarios=$(awk '!seen[$1]++ { print $1 }' "$runs")
echo
echo "| scenario | $(IFS='|'; echo "${names[*]}" | sed 's/|/ | /g') |"
echo "|---|$(printf -- '---|%.0s' "${names[@]}")"
for s in $scenarios; do
  printf '| %s |' "$s"
  for c in 3 4 5 6 7 8; do printf ' %s |' "$(stat "$c" "$s")"; done
  echo
done
echo "(seconds, median (min-max) of $(awk '{ print $1 }' "$runs" | sort | uniq -c | awk '{ print $1 }' | sort -n | head -1) run(s) each)"
for s in $scenarios; do
  median_run=$(awk -v s="$s" '$1 == s { print $6, $2 }' "$runs" | sort -g | awk '{ r[NR] = $2 } END { print r[int((NR + 1) / 2)] }')
  awk -v s="$s" -v t0="$(cat "$dir/$s-$median_run.t0")" '{ print s, ($1 - t0) / 1000, $2 }' \
    "$dir/$s-$median_run.probe"
done | awk -f "$here/plot.awk" >"$svg"
echo "plot: $svg"
