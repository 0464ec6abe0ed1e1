# The plot of the README: a newcomer's wait against the entries held, Pacewick
# (median and p99) beside the bare registry calls of the same job, as an SVG,
# from the "plot:" lines of bench/installed.sh's results (the rounds averaged).
#   awk -f bench/plot.awk build/bench-installed/results.txt > newcomer-wait.svg
function value(field,    pair) { split(field, pair, "="); return pair[2] + 0 }
function x(held) { return left + (log(held) - log(10)) / (log(20000) - log(10)) * width }
function y(ms) { return top + height - ms / ceiling * height }
function series(key, colour, dash,    i, path) {
  path = ""
  for (i = 1; i <= count; i++) path = path (i == 1 ? "M" : " L") sprintf("%.1f %.1f", x(sizes[i]), y(sum[sizes[i], key] / runs[sizes[i]]))
  printf "<path d=\"%s\" fill=\"none\" stroke=\"%s\" stroke-width=\"2\"%s/>\n", path, colour, dash ? " stroke-dasharray=\"6 4\"" : ""
  for (i = 1; i <= count; i++)
    printf "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\" fill=\"%s\"/>\n", x(sizes[i]), y(sum[sizes[i], key] / runs[sizes[i]]), colour
}
/^plot:/ {
  held = value($2)
  if (!(held in runs)) sizes[++count] = held
  runs[held]++
  sum[held, "pacewick"] += value($3); sum[held, "p99"] += value($4); sum[held, "bare"] += value($6)
}
END {
  if (!count) { print "no plot: lines in the results" > "/dev/stderr"; exit 1 }
  left = 60; top = 30; width = 480; height = 240
  # Sizes in ascending order (the rounds repeat them).
  for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++) if (sizes[j] < sizes[i]) { t = sizes[i]; sizes[i] = sizes[j]; sizes[j] = t }
  ceiling = 20
  for (i = 1; i <= count; i++) if (sum[sizes[i], "p99"] / runs[sizes[i]] > ceiling) ceiling = sum[sizes[i], "p99"] / runs[sizes[i]]
  ceiling = int(ceiling / 10 + 1) * 10
  printf "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" font-family=\"sans-serif\" font-size=\"12\">\n", left + width + 150, top + height + 50
  printf "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n"
  printf "<text x=\"%d\" y=\"18\">A newcomer's wait in the Run key (ms) against the entries held</text>\n", left
  for (ms = 0; ms <= ceiling; ms += ceiling / 5) {
    printf "<line x1=\"%d\" x2=\"%d\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>\n", left, left + width, y(ms), y(ms)
    printf "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%g</text>\n", left - 6, y(ms) + 4, ms
  }
  for (i = 1; i <= count; i++)
    printf "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%d</text>\n", x(sizes[i]), top + height + 18, sizes[i]
  printf "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">entries held (log scale)</text>\n", left + width / 2, top + height + 38
  printf "<line x1=\"%d\" x2=\"%d\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#c00\" stroke-dasharray=\"2 3\"/>\n", left, left + width, y(10), y(10)
  series("p99", "#7aa6d8", 1); series("pacewick", "#1f5fa8", 0); series("bare", "#2a8a3a", 0)
  legend = left + width + 12
  printf "<text x=\"%d\" y=\"%d\" fill=\"#1f5fa8\">Pacewick, median</text>\n", legend, top + 20
  printf "<text x=\"%d\" y=\"%d\" fill=\"#7aa6d8\">Pacewick, p99</text>\n", legend, top + 40
  printf "<text x=\"%d\" y=\"%d\" fill=\"#2a8a3a\">bare registry calls</text>\n", legend, top + 60
  printf "<text x=\"%d\" y=\"%d\" fill=\"#c00\">goal: median 10 ms</text>\n", legend, top + 80
  print "</svg>"
}
