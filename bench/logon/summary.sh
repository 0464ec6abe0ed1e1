#!/usr/bin/env bash
# The table of the log-on runs (median and min-max per scenario and figure), the
# goals of a log-on a person can feel, and the plot of the probe's lateness over
# time in each scenario's median run (by jank integral) beside each run's
# T_first_app, as SVG.
#   bench/logon/summary.sh RUNS_TXT RUNS_DIR SVG
set -euo pipefail
runs=$1 dir=$2 svg=$3
here=$(dirname "$(realpath "$0")")
names=(T_usable T_all_started T_settled jank_s '>100ms' '>1s' T_first_app)
# stat COLUMN SCENARIO: "median (min-max)" of the runs that reached it, "+k never" for the
# others; "never" when none did, "n/a" for no programs (the floor).
column() { awk -v c="$1" -v s="$2" '$1 == s { print $c }' "$runs" | sort -g; }
# median COLUMN SCENARIO: the median of the runs that reached it; nothing when none did.
median() {
  column "$1" "$2" | awk '$1 != "-" && $1 != "n/a" { v[++n] = $1 }
    END { if (n) print (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2) }'
}
stat() {
  column "$1" "$2" | awk -v median="$(median "$1" "$2")" '
    $1 == "-" { never++; next }
    $1 == "n/a" { next }
    { if (!n++) low = $1; high = $1 }
    END {
      if (!n) { printf never ? "never" : "n/a"; exit }
      printf "%s (%s-%s)", median, low, high
      if (never) printf " +%d never", never
    }'
}
scenarios=$(awk '!seen[$1]++ { print $1 }' "$runs")
echo
echo "| scenario | $(IFS='|'; echo "${names[*]}" | sed 's/|/ | /g') |"
echo "|---|$(printf -- '---|%.0s' "${names[@]}")"
for s in $scenarios; do
  printf '| %s |' "$s"
  for c in 3 4 5 6 7 8 9; do printf ' %s |' "$(stat "$c" "$s")"; done
  echo
done
echo "(seconds, median (min-max) of $(awk '{ print $1 }' "$runs" | sort | uniq -c | awk '{ print $1 }' | sort -n | head -1) run(s) each)"
# goal TEXT AWK_CONDITION VALUES...: the line "goal: TEXT: met|not met", "cannot tell" when a value is missing.
goal() {
  local text=$1 condition=$2 value; shift 2
  for value; do [ -n "$value" ] || { echo "goal: $text: cannot tell"; return; }; done
  awk -v text="$text" -v values="$*" \
    "BEGIN { split(values, v, \" \"); print \"goal: \" text \": \" (($condition) ? \"met\" : \"not met\") }"
}
ratio() { [ -n "$1" ] && [ -n "$2" ] && awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b }'; }
first_ready=$(median 9 ready) first_floor=$(median 9 floor) first_windows=$(median 9 windows)
r=$(ratio "$first_ready" "$first_floor") w=$(ratio "$first_windows" "$first_floor")
echo
goal "ready's T_first_app / floor's = ${r:-?} <= 1.1 (windows' ${w:-?})" 'v[1] <= 1.1' "$r"
all_ready=$(median 4 ready) settled_windows=$(median 5 windows)
goal "ready's T_all_started ${all_ready:-?} s <= windows' T_settled ${settled_windows:-?} s" 'v[1] <= v[2]' \
  "$all_ready" "$settled_windows"
worst=$(column 10 ready | tail -1) late=$(column 7 ready | awk '{ n += $1 } END { print n + 0 }')
goal "ready's ticks over 100 ms: ${late} (the worst ${worst:-?} ms)" 'v[1] <= 100' "$worst"
jank_ready=$(median 6 ready) jank_floor=$(median 6 floor)
goal "ready's jank_s ${jank_ready:-?} <= floor's ${jank_floor:-?} + 0.05" 'v[1] <= v[2] + 0.05' "$jank_ready" "$jank_floor"
after=$(column 11 ready | awk '$1 > 0 { n++ } END { print n + 0 }') ready_runs=$(column 11 ready | wc -l)
goal "ready runs that started a program after the 60 s deadline: $after of $ready_runs" 'v[1] == 0 && v[2] > 0' \
  "$after" "$ready_runs"

for s in $scenarios; do
  median_run=$(awk -v s="$s" '$1 == s { print $6, $2 }' "$runs" | sort -g | awk '{ r[NR] = $2 } END { print r[int((NR + 1) / 2)] }')
  awk -v s="$s" -v t0="$(cat "$dir/$s-$median_run.t0")" '{ print s, ($1 - t0) / 1000, $2 }' \
    "$dir/$s-$median_run.probe"
done >"$svg.points"
for s in $scenarios; do column 9 "$s" | awk -v s="$s" '$1 != "-" { print "T_first_app", s, $1 }'; done >>"$svg.points"
awk -f "$here/plot.awk" "$svg.points" >"$svg"
rm -f "$svg.points"
echo "plot: $svg"
