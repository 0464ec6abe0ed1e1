# One run's figures from its three logs, times in ms since 1970 and t0 the run's start:
#   the programs' "NAME start|end MS" (the shell's and the first program's, "firstapp start MS" and
#   "firstapp ready MS", among them), the probe's "MS LATENESS_MS", the sampler's "MS CPU% DISK%".
# Prints "SCENARIO RUN T_usable T_all_started T_settled jank_s late100 late1s T_first_app max_ms
# after_60s", seconds, "-" if never ("n/a": the floor starts no programs); max_ms is the worst tick's
# lateness, after_60s the start-up programs started later than Pacewick's start (t0) + 60 s + 1 s.
FNR == 1 { file++ }
file == 1 && $2 == "start" && $3 < t0 { print "warning: " $1 " started before the log-on" >"/dev/stderr" }
file == 1 && $1 == "firstapp" && $2 == "start" { first_start = $3 }
file == 1 && $1 == "firstapp" && $2 == "ready" { first_ready = $3 }
# The start-up programs: neither the shell nor the person's first program.
file == 1 && $2 == "start" && $1 != "shell" && $1 != "firstapp" {
  started++; if ($3 > last_start) last_start = $3
  if ($3 > t0 + 61000) after_deadline++
}
file == 2 && $1 >= t0 {
  w = int(($1 - t0) / 1000); n[w]++; lateness[w, n[w]] = $2; if (w > last_w) last_w = w
  if ($2 > 16) jank += $2 - 16
  if ($2 > 100) late100++
  if ($2 > 1000) late1s++
  if ($2 > max_ms) max_ms = $2
}
# Settled: 5 s of 500 ms windows with CPU and disk both under 20%, accumulated since t0.
file == 3 && $1 >= t0 && settled == "" && $2 < 20 && $3 < 20 && ++quiet >= 10 { settled = sprintf("%.1f", ($1 - t0) / 1000) }
# The 95th percentile (nearest rank) of window w's ticks.
function p95(w,    i, j, v, s) {
  for (i = 1; i <= n[w]; i++) {  # insertion sort: a window holds about 60 ticks
    v = lateness[w, i]
    for (j = i - 1; j >= 1 && s[j] > v; j--) s[j + 1] = s[j]
    s[j + 1] = v
  }
  return s[int(0.95 * n[w] + 0.999)]
}
END {
  # Usable from the first of five 1 s windows in a row whose p95 is under 100 ms;
  # a window without a tick (the probe not started, or stalled) is not usable.
  usable = "-"
  for (w = 0; w <= last_w; w++) {
    good = (n[w] > 0 && p95(w) < 100) ? good + 1 : 0
    if (good == 5) { usable = w - 4; break }
  }
  all = scenario == "floor" ? "n/a" : started == 12 ? sprintf("%.1f", (last_start - t0) / 1000) : "-"
  first_app = first_start != "" && first_ready != "" ? sprintf("%.2f", (first_ready - first_start) / 1000) : "-"
  printf "%-17s %3d %9s %13s %10s %8.2f %6d %5d %11s %7.1f %9d\n", scenario, n_run, usable, all,
         settled == "" ? "-" : settled, jank / 1000, late100, late1s, first_app, max_ms, after_deadline
}
