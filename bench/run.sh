#!/usr/bin/env bash
# Every figure of docs/performance.md in one go: the sweep benchmarks on the
# fake desktop, their instruction counts under callgrind, the whole-run
# timing under Wine (bench/wine-bench.sh), then the tables and the plot
# docs/performance.png (bench/report.sh). Results land in
# build/bench/results/.
#
# Usage: bench/run.sh   (environment: RUNS=5 repetitions and Wine rounds,
#                        WINE=0 to leave Wine out)
# Never part of scripts/test.sh: its figures depend on the machine's load.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-5}
with_wine=${WINE:-1}
results=build/bench/results
callgrind_windows=1000
callgrind_sweeps=10

if ((with_wine)); then
  scripts/setup.sh build wine bench
else
  scripts/setup.sh build bench
fi
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" >/dev/null
rm -rf "$results"
mkdir -p "$results"

{
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "cpu: $(nproc) x $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
  echo "memory: $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
  echo "system: $(. /etc/os-release && echo "$PRETTY_NAME"), Linux $(uname -r)"
  echo "compiler: $(g++ --version | head -1)"
  echo "wine: $(wine --version 2>/dev/null || echo none)"
  echo "repetitions: $runs"
  echo "callgrind: $callgrind_windows windows, $callgrind_sweeps sweeps"
  echo "load before: $(uptime | sed 's/.*load average: //')"
} >"$results/machine.txt"

echo "run: sweep benchmarks on the fake desktop ($runs repetitions)" >&2
build/bench/bench/sweep_bench --log="$results/sweep_bench.log" \
  --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/native.csv" --benchmark_out_format=csv \
  >"$results/native-console.txt"

echo "run: instruction counts under callgrind" >&2
for variant in tool tool-no-flush tool-no-log bare; do
  valgrind --tool=callgrind --collect-atstart=no \
    --callgrind-out-file="$results/callgrind.$variant" \
    build/bench/bench/sweep_bench --instructions="$variant" \
    --windows="$callgrind_windows" --sweeps="$callgrind_sweeps" \
    --log="$results/sweep_bench.log" 2>"$results/callgrind-$variant.txt" >/dev/null
  collected=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' \
    "$results/callgrind-$variant.txt")
  echo "$variant $((collected / (callgrind_windows * callgrind_sweeps)))"
done >"$results/instructions.txt"

if ((with_wine)); then
  echo "run: whole runs under Wine ($runs rounds)" >&2
  RUNS=$runs OUT="$results/wine" bench/wine-bench.sh >/dev/null
fi
echo "load after: $(uptime | sed 's/.*load average: //')" >>"$results/machine.txt"

bench/report.sh "$results"
