# The requests to Wine's server that one take-over made, from a WINEDEBUG=+server
# trace of bench_takeover.exe --one-empty-take-over: each request is a line
# "TID: name( ... )" (its reply "TID: name() = ..."), and the take-over runs on
# the thread that opens the two marking events.
$2 == "open_event(" && /pacewick-bench-take-over-begins/ { thread = $1; counting = 1; next }
$2 == "open_event(" && /pacewick-bench-take-over-ends/ { counting = 0 }
counting && $1 == thread && $2 ~ /^[a-z_]+\($/ { kind = substr($2, 1, length($2) - 1); count[kind]++; total++ }
END {
  if (!total) { print "server requests of one take-over: none found in the trace"; exit 1 }
  line = ""
  for (kind in count) line = line sprintf("%d %s\n", count[kind], kind)
  printf "diagnosis: a take-over of empty places makes %d requests to the Wine server (each a round trip): ", total
  fflush()
  cmd = "sort -rn | head -8 | tr '\\n' ',' | sed 's/,$//; s/,/, /g'"
  printf "%s", line | cmd
  close(cmd)
  printf "\n"
}
