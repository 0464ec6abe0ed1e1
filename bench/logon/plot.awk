# An SVG of the probe's lateness over time, one line per scenario: the worst
# tick of each 250 ms, on a log scale from 1 ms to 10 s.
# Input lines: "SCENARIO SECONDS LATENESS_MS".
BEGIN { W = 900; H = 420; L = 60; R = 130; T = 20; B = 40; bin = 0.25 }
{
  if (!($1 in index_of)) { index_of[$1] = ++lines; name[lines] = $1 }
  b = int($2 / bin); k = index_of[$1] SUBSEP b
  if (!(k in worst) || $3 > worst[k]) worst[k] = $3
  if (b > last) last = b
}
function x(seconds) { return L + (W - L - R) * seconds / span }
function y(ms) { if (ms < 1) ms = 1; if (ms > 10000) ms = 10000; return T + (H - T - B) * (1 - log(ms) / log(10000)) }
END {
  split("#1f77b4 #d62728 #2ca02c #7f7f7f", color)
  span = (last + 1) * bin; step = span > 60 ? 10 : 5
  printf "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" font-family=\"sans-serif\" font-size=\"12\">\n", W, H
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
  print "</svg>"
}
