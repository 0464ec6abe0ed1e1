# An SVG of the probe's lateness over time, one line per scenario: the worst
# tick of each 250 ms, on a log scale from 1 ms to 10 s; beside it a panel of
# T_first_app per scenario, each run a dot and the median a bar.
# Input lines: "SCENARIO SECONDS LATENESS_MS" and "T_first_app SCENARIO SECONDS".
BEGIN { W = 900; H = 440; L = 60; R = 130; T = 20; B = 60; bin = 0.25; P = 300 }
function scenario(s) { if (!(s in index_of)) { index_of[s] = ++lines; name[lines] = s }; return index_of[s] }
$1 == "T_first_app" {
  i = scenario($2); first[i, ++runs[i]] = $3; if ($3 > first_max) first_max = $3
  next
}
{
  b = int($2 / bin); k = scenario($1) SUBSEP b
  if (!(k in worst) || $3 > worst[k]) worst[k] = $3
  if (b > last) last = b
}
function x(seconds) { return L + (W - L - R) * seconds / span }
function y(ms) { if (ms < 1) ms = 1; if (ms > 10000) ms = 10000; return T + (H - T - B) * (1 - log(ms) / log(10000)) }
# The median of scenario i's T_first_app (sorted in place).
function median(i,    a, b, v) {
  for (a = 2; a <= runs[i]; a++) {
    v = first[i, a]
    for (b = a - 1; b >= 1 && first[i, b] > v; b--) first[i, b + 1] = first[i, b]
    first[i, b + 1] = v
  }
  return runs[i] % 2 ? first[i, (runs[i] + 1) / 2] : (first[i, runs[i] / 2] + first[i, runs[i] / 2 + 1]) / 2
}
function fy(seconds) { return T + (H - T - B) * (1 - seconds / top) }
END {
  split("#1f77b4 #ff7f0e #d62728 #2ca02c #7f7f7f", color)
  span = (last + 1) * bin; step = span > 60 ? 10 : 5
  printf "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" font-family=\"sans-serif\" font-size=\"12\">\n", W + P, H
  printf "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n"
  for (ms = 1; ms <= 10000; ms *= 10) {
    printf "<line x1=\"%d\" x2=\"%d\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>", L, W - R, y(ms), y(ms)
    printf "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%s</text>\n", L - 5, y(ms) + 4, ms < 1000 ? ms " ms" : ms / 1000 " s"
  }
  for (s = 0; s <= span; s += step)
    printf "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%d s</text>\n", x(s), H - B + 16, s
  printf "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">time since log-on; the worst tick of each 250 ms (lateness over 16 ms)</text>\n", (W - R + L) / 2, H - 6
  for (i = 1; i <= lines; i++) {
    printf "<polyline fill=\"none\" stroke-width=\"1.2\" stroke=\"%s\" points=\"", color[i]
    for (b = 0; b <= last; b++) if ((i SUBSEP b) in worst) printf "%.1f,%.1f ", x(b * bin), y(worst[i, b])
    printf "\"/>\n<text x=\"%d\" y=\"%d\" fill=\"%s\">%s</text>\n", W - R + 10, T + 16 * i, color[i], name[i]
  }
  # The first program's panel: seconds from its start to ready, from 0.
  top = first_max > 0 ? first_max * 1.15 : 1; step = top > 20 ? 5 : top > 8 ? 2 : 1; x0 = W + 40; dx = (P - 60) / lines
  printf "<line x1=\"%d\" x2=\"%d\" y1=\"%d\" y2=\"%d\" stroke=\"#999\"/>\n", x0, x0, T, H - B
  for (s = 0; s <= top; s += step)
    printf "<line x1=\"%d\" x2=\"%d\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/><text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%d s</text>\n", x0, W + P - 10, fy(s), fy(s), x0 - 5, fy(s) + 4, s
  printf "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">T_first_app: runs (dots), median (bar)</text>\n", W + P / 2, T - 6
  for (i = 1; i <= lines; i++) {
    if (!runs[i]) continue
    cx = x0 + dx * (i - 0.5)
    for (r = 1; r <= runs[i]; r++)
      printf "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\" fill=\"%s\" fill-opacity=\"0.6\"/>\n", cx, fy(first[i, r]), color[i]
    printf "<text x=\"%.1f\" y=\"%d\" font-size=\"10\" text-anchor=\"end\" transform=\"rotate(-30 %.1f %d)\">%s</text>\n", cx + 4, H - B + 12, cx + 4, H - B + 12, name[i]
    m = fy(median(i))
    printf "<line x1=\"%.1f\" x2=\"%.1f\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"%s\" stroke-width=\"3\"/>\n", cx - 14, cx + 14, m, m, color[i]
  }
  print "</svg>"
}
