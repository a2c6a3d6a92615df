#!/usr/bin/env bash
# Turns the results of bench/run.sh into the tables of summary.txt and the
# plot docs/performance.png; can be run again on results already taken.
#
# Usage: bench/report.sh [RESULTS_DIR]   (default build/bench/results)
set -euo pipefail
cd "$(dirname "$0")/.."

results=${1:-build/bench/results}
runs=$(sed -n 's/^repetitions: //p' "$results/machine.txt")
callgrind=$(sed -n 's/^callgrind: //p' "$results/machine.txt")

# Median time per sweep in microseconds, one line per window count:
# windows tool no-flush no-log bare. Column 3 of the CSV is real time,
# column 4 CPU time (user and system, so the flush's write(2) counts).
per_sweep() {
  awk -F, -v column="$1" '
    /\/real_time(_median)?",/ {
      gsub(/"/, "", $1)
      split($1, part, "/")
      time[part[1], part[2]] = $column
      count[part[2]] = 1
    }
    END {
      for (n in count) {
        printf "%d %s %s %s %s\n", n, time["ToolSweep", n],
               time["ToolSweepNoFlush", n], time["ToolSweepNoLog", n],
               time["BareSweep", n]
      }
    }' "$results/native.csv" | sort -n
}
per_sweep 3 >"$results/native.dat"
per_sweep 4 >"$results/native-cpu.dat"

per_window_table() {
  printf '%8s %10s %10s %10s %10s %10s %9s %9s\n' windows "tool/sweep" \
    tool no-flush no-log bare tool/bare "no-flush/bare"
  awk '{ printf "%8d %8.0fus %8.0fns %8.0fns %8.0fns %8.0fns %9.1f %9.1f\n",
         $1, $2, 1000 * $2 / $1, 1000 * $3 / $1, 1000 * $4 / $1,
         1000 * $5 / $1, $2 / $5, $3 / $5 }' "$1"
}

{
  echo "Fake desktop, one sweep, median of $runs repetitions; per window:"
  echo "real time"
  per_window_table "$results/native.dat"
  echo "CPU time"
  per_window_table "$results/native-cpu.dat"
  echo
  echo "Heap allocations per window, made by the visitor / in the whole sweep"
  awk -F, '
    /\/real_time(_median)?",/ {
      gsub(/"/, "", $1)
      split($1, part, "/")
      cell[part[1], part[2]] = sprintf("%g / %g", $NF, $(NF - 2))
      count[part[2]] = 1
    }
    END {
      printf "%8s %-16s %-16s %-16s %-16s\n", "windows", "tool", "no-flush",
             "no-log", "bare"
      for (n in count) {
        printf "%8d %-16s %-16s %-16s %-16s\n", n, cell["ToolSweep", n],
               cell["ToolSweepNoFlush", n], cell["ToolSweepNoLog", n],
               cell["BareSweep", n]
      }
    }' "$results/native.csv" | sort -n
  echo
  echo "Instructions per window under callgrind ($callgrind)"
  awk '{ printf "  %-14s %6d\n", $1, $2 }' "$results/instructions.txt"
  if [[ -f $results/wine/summary.txt ]]; then
    echo
    cat "$results/wine/summary.txt"
  fi
  echo
  cat "$results/machine.txt"
} | tee "$results/summary.txt"

# The plot: native series as lines, the Wine figures as single points.
wine_points=$results/wine.dat
: >"$wine_points"
if [[ -f $results/wine/wine.env ]]; then
  (
    . "$results/wine/wine.env"
    echo "$windows_per_sweep $(awk -v t="$tool_own_us" -v p="$platform_us" \
      'BEGIN { print t / 3000, p / 3000 }')" >"$wine_points"
  )
fi
machine=$(sed -n 's/^cpu: //p' "$results/machine.txt")
gnuplot <<EOF
set terminal pngcairo size 1000,700 font "DejaVu Sans,11"
set output "docs/performance.png"
set title "Time per sweep against the number of windows (median of $runs)"
set xlabel "top-level windows in the sweep"
set ylabel "time per sweep (ms)"
set logscale xy
set format x "10^{%L}"
set format y "10^{%L}"
set grid xtics ytics mxtics mytics lc rgb "#dddddd"
set key bottom right box opaque
set label 1 "Linux native: fake desktop, real log file\nWine 8 on Xvfb: 2,000 real windows\n$machine" \
  at graph 0.02, 0.95 left font ",9"
plot "$results/native.dat" using 1:(\$2/1000) with linespoints lw 2 pt 7 \
       title "tool: VisitWindow, log flushed per line", \
     "" using 1:(\$3/1000) with linespoints lw 2 pt 5 \
       title "tool without the per-line flush (benchmark only)", \
     "" using 1:(\$4/1000) with linespoints lw 2 pt 9 \
       title "tool with no log (fold and match only)", \
     "" using 1:(\$5/1000) with linespoints lw 2 pt 13 \
       title "bare loop: the same reads, nothing else", \
     "$wine_points" using 1:2 with points pt 7 ps 2 lc rgb "#c00000" \
       title "Wine: the tool's own cost per sweep", \
     "$wine_points" using 1:3 with points pt 6 ps 2.5 lw 2 lc rgb "black" \
       title "Wine: the bare exe's per sweep (the platform)"
EOF
echo "run: wrote docs/performance.png and $results/summary.txt" >&2
