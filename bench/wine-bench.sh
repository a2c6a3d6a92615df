#!/usr/bin/env bash
# Times the tool under Wine against the platform's own cost of what it reads.
#
# On one private desktop (its own Xvfb and Wine prefix) holding WINDOWS
# windows of bench/desktop_titles.cc, each round times, in this order:
#   (c) empty_program.exe: starting and ending a process;
#   (a) bare_sweeps.exe: three sweeps reading title, class and three states;
#   (b) tesmarinds.exe with a term no window holds: a whole run;
#   (d) the same with c:\temp missing, so with no log: reading, folding and
#       matching only;
#   (e) nothing for 6 s: what the desktop costs the server while the tool
#       pauses;
#   and log_lines.exe: the tool's log lines for three sweeps alone, timed
#   inside the process, flushed per line and flushed only at the close.
# The tool's own cost is (b) less its fixed 6 s of pauses less (c); the
# platform's is (a) less (c); the log's is (b) less (d). Each is taken in
# wall time and, less swayed by the machine's load, in CPU time of the
# program and the wineserver together, where (e) stands for the pauses. Medians over RUNS rounds are printed
# and written, with every round, to OUT (default
# build/bench-mingw/wine-results).
#
# Usage: bench/wine-bench.sh   (environment: RUNS=5 WINDOWS=2000 OUT=dir)
# Needs: scripts/setup.sh build wine (Xvfb, Wine, MinGW-w64, python3)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-5}
windows=${WINDOWS:-2000}
out=${OUT:-build/bench-mingw/wine-results}
term=no-such-window-zq7
pauses_ms=6000

exes=$PWD/build/bench-mingw
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The display and prefix come from tests/e2e/wine_session.py, which starts
# Wine as the scenarios and the demo do and ends what it started; the rest
# of this script runs inside that session.
if [[ ${1:-} != --in-session ]]; then
  cmake --preset bench-mingw >/dev/null
  cmake --build --preset bench-mingw -j "$(nproc)" >/dev/null
  work=$(mktemp -d /tmp/tesmarinds-wine-bench.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  # The tool's texts are code page 932, as on a Japanese desktop.
  lang=C.UTF-8
  if grep -qi '^ja_JP\.utf-\?8$' <<<"$(locale -a 2>/dev/null)"; then
    lang=ja_JP.UTF-8
  fi
  echo "wine-bench: preparing a prefix" >&2
  status=0
  WORK=$work python3 tests/e2e/wine_session.py --lang "$lang" \
    "$work/prefix" -- bash bench/wine-bench.sh --in-session || status=$?
  exit "$status"
fi

work=${WORK:?set above}
read -r -a wine <<<"${WINE:?set by wine_session.py}"
# The session's clean-up, own wineserver and its CPU time.
. bench/wine/session.sh

temp=$WINEPREFIX/drive_c/temp
control=$WINEPREFIX/drive_c/bench
mkdir -p "$temp" "$control"

start_own_server "$work/wineserver.log"

echo "wine-bench: opening $windows windows" >&2
"${wine[@]}" "$exes/bench/many_windows.exe" "$windows" 'c:\bench\ready' \
  'c:\bench\stop' >"$work/fixture.log" 2>&1 &
fixture_pid=$!
if ! timeout 600 bash -c "until [[ -e '$control/ready' ]]; do
                            kill -0 $fixture_pid 2>/dev/null || exit 1
                            sleep 0.2
                          done"; then
  echo "wine-bench: the window fixture did not get ready" >&2
  cat "$work/fixture.log" >&2
  exit 1
fi

# Runs one program under Wine and prints its wall time and the CPU time it
# and the server spent, in microseconds.
timed() {
  local log=$1
  shift
  local server_before server_after wall cpu status=0
  server_before=$(server_cpu_us)
  read -r wall cpu < <(python3 bench/wine/timed_run.py 120 "$log" \
                         "${wine[@]}" "$@" || echo "failed $?")
  server_after=$(server_cpu_us)
  if [[ $wall == failed ]]; then
    echo "wine-bench: $(basename "$1") ended with status $cpu" >&2
    cat "$log" >&2
    exit 1
  fi
  echo "$wall $((cpu + server_after - server_before))"
}

run_empty() { timed "$work/empty.log" "$exes/bench/empty_program.exe"; }
run_bare() { timed "$work/bare.log" "$exes/bench/bare_sweeps.exe"; }
run_tool() { timed "$work/tool.log" "$exes/tesmarinds.exe" "$term"; }
# The tool never creates c:\temp, so without it the run goes on with no log.
run_tool_without_log() {
  mv "$temp" "$temp.away"
  timed "$work/tool-no-log.log" "$exes/tesmarinds.exe" "$term"
  mv "$temp.away" "$temp"
}
# The fixture and Wine's own processes keep the server a little busy; this
# is its share in a run as long as the tool's pauses.
run_idle() {
  local server_before start end
  server_before=$(server_cpu_us)
  start=${EPOCHREALTIME/./}
  sleep $((pauses_ms / 1000))
  end=${EPOCHREALTIME/./}
  echo "$((end - start)) $(($(server_cpu_us) - server_before))"
}

# One untimed round: the first start of each program in a prefix pays for
# things the later ones do not.
run_empty >/dev/null
run_bare >/dev/null
run_tool >/dev/null
run_tool_without_log >/dev/null

# Microseconds per line, flushed per line and flushed at the close.
run_log_lines() {
  local log=$work/log-lines.log
  timeout 120 "${wine[@]}" "$exes/bench/log_lines.exe" "$windows" \
    'c:\temp\bench-log-lines.txt' >"$log" 2>&1 || {
    echo "wine-bench: log_lines.exe failed" >&2
    cat "$log" >&2
    exit 1
  }
  echo "$(sed -n 's/^flushed per line: \([0-9.]*\).*/\1/p' "$log")" \
    "$(sed -n 's/^flushed at close: \([0-9.]*\).*/\1/p' "$log")"
}

columns=(empty bare tool no_log idle)
{
  printf 'round'
  printf ',%s_us' "${columns[@]}"
  printf ',%s_cpu_us' "${columns[@]}"
  echo ",line_flushed_us,line_unflushed_us"
} >"$out/rounds.csv"
for round in $(seq 1 "$runs"); do
  read -r empty empty_cpu < <(run_empty)
  read -r bare bare_cpu < <(run_bare)
  read -r tool tool_cpu < <(run_tool)
  read -r no_log no_log_cpu < <(run_tool_without_log)
  read -r idle idle_cpu < <(run_idle)
  read -r line_flushed line_unflushed < <(run_log_lines)
  [[ -n $empty && -n $bare && -n $tool && -n $no_log && -n $line_flushed ]] ||
    exit 1
  echo "$round,$empty,$bare,$tool,$no_log,$idle,$empty_cpu,$bare_cpu,$tool_cpu,$no_log_cpu,$idle_cpu,$line_flushed,$line_unflushed" \
    >>"$out/rounds.csv"
  echo "wine-bench: round $round: wall/CPU us: empty $empty/$empty_cpu," \
    "bare $bare/$bare_cpu, tool $tool/$tool_cpu, no log $no_log/$no_log_cpu," \
    "idle $idle/$idle_cpu; log line $line_flushed/$line_unflushed us" >&2
done

# What the last runs saw, to show they swept the desktop and selected nothing.
seen=$(sed -n 's/^sweep 1: \([0-9]*\) windows.*/\1/p' "$work/bare.log")
log_lines=$(tr -cd '\n' <"$temp/Tesmarind.txt" | wc -c)
cp "$work/bare.log" "$out/bare_sweeps.txt"

median() {  # median of the column named $1 in rounds.csv
  awk -F, -v name="$1" '
    NR == 1 { for (i = 1; i <= NF; ++i) if ($i == name) column = i; next }
    { print $column }' "$out/rounds.csv" | sort -n |
    awk '{ v[NR] = $1 }
         END { if (NR % 2) print v[(NR + 1) / 2];
               else print int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}
median_real() {  # like median, for a column of decimal fractions
  awk -F, -v name="$1" '
    NR == 1 { for (i = 1; i <= NF; ++i) if ($i == name) column = i; next }
    { print $column }' "$out/rounds.csv" | sort -g |
    awk '{ v[NR] = $1 }
         END { if (NR % 2) print v[(NR + 1) / 2];
               else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
spread() {  # lowest and highest of the column named $1, in ms
  awk -F, -v name="$1" '
    NR == 1 { for (i = 1; i <= NF; ++i) if ($i == name) column = i; next }
    { print $column }' "$out/rounds.csv" | sort -n |
    awk 'NR == 1 { low = $1 } { high = $1 }
         END { printf "%.0f-%.0f", low / 1000, high / 1000 }'
}

{
  echo "windows_made=$windows"
  echo "windows_per_sweep=$seen"
  echo "tool_log_lines=$log_lines"
  echo "rounds=$runs"
  for name in "${columns[@]}"; do
    echo "${name}_us=$(median "${name}_us")"
    echo "${name}_cpu_us=$(median "${name}_cpu_us")"
  done
  # Fractions of a microsecond, kept as they are.
  echo "line_flushed_us=$(median_real line_flushed_us)"
  echo "line_unflushed_us=$(median_real line_unflushed_us)"
} >"$out/wine.env"
. "$out/wine.env"
# In CPU time the pauses cost only what the server does meanwhile, (e).
{
  echo "platform_us=$((bare_us - empty_us))"
  echo "tool_own_us=$((tool_us - pauses_ms * 1000 - empty_us))"
  echo "log_us=$((tool_us - no_log_us))"
  echo "platform_cpu_us=$((bare_cpu_us - empty_cpu_us))"
  echo "tool_own_cpu_us=$((tool_cpu_us - idle_cpu_us - empty_cpu_us))"
  echo "log_cpu_us=$((tool_cpu_us - no_log_cpu_us))"
} >>"$out/wine.env"
. "$out/wine.env"

{
  printf 'Wine, %d windows per sweep, medians of %d rounds' "$seen" "$runs"
  printf ' (wall time, its range over the rounds, CPU time)\n'
  row() {  # label, column name
    printf '  %-38s %8.1f ms %14s %8.1f ms\n' "$1" \
      "$(awk -v v="$(median "$2_us")" 'BEGIN { print v / 1000 }')" \
      "($(spread "$2_us") ms)" \
      "$(awk -v v="$(median "$2_cpu_us")" 'BEGIN { print v / 1000 }')"
  }
  row "(c) start-up of an empty program" empty
  row "(a) bare exe, three sweeps" bare
  row "(b) tesmarinds.exe, whole run" tool
  row "(d) tesmarinds.exe, whole run, no log" no_log
  row "(e) nothing, as long as the pauses" idle
  echo "      the log of (b): $log_lines lines"
  awk -v n="$seen" -v p="$platform_us" -v t="$tool_own_us" -v l="$log_us" \
      -v pc="$platform_cpu_us" -v tc="$tool_own_cpu_us" -v lc="$log_cpu_us" '
    function line(label, wall, cpu) {
      printf "  %-26s %8.1f ms %6.1f us/window   CPU %8.1f ms %6.1f us/window\n",
             label, wall / 1000, wall / (3 * n), cpu / 1000, cpu / (3 * n)
    }
    BEGIN {
      line("platform: (a) - (c)", p, pc)
      line("tool: (b) - 6 s|(e) - (c)", t, tc)
      line("its log: (b) - (d)", l, lc)
      printf "  tool / platform: %.2f (wall), %.2f (CPU)\n", t / p, tc / pc
    }'
  printf '  log lines alone, in the process: %.2f us per line flushed per line,' \
    "$line_flushed_us"
  printf ' %.2f us flushed at the close\n' "$line_unflushed_us"
} | tee "$out/summary.txt"
