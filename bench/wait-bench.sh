#!/usr/bin/env bash
# What waiting costs the PC: one whole run of tesmarinds.exe whose one
# selected window asks its user ("save changes?") and is never answered, so
# the run waits out its limit (ten minutes, as released) and then ends;
# beside it, a run that selects nothing (its start and sweeps alone) and a
# minute of nothing (what the desktop costs the wineserver meanwhile).
# Prints wall time and the CPU time of the tool and of the wineserver, in
# seconds, and writes them to OUT/wait.txt (default
# build/bench-mingw/wait-results). About twelve minutes.
#
# Usage: bench/wait-bench.sh   (environment: OUT=dir)
# Needs: scripts/setup.sh build wine (Xvfb, Wine, MinGW-w64, python3)
set -euo pipefail
cd "$(dirname "$0")/.."

out=${OUT:-build/bench-mingw/wait-results}
exes=$PWD/build/bench-mingw

# The display and prefix come from tests/e2e/wine_session.py, as for
# bench/wine-bench.sh; the rest runs inside that session.
if [[ ${1:-} != --in-session ]]; then
  cmake --preset bench-mingw >/dev/null
  cmake --build --preset bench-mingw -j "$(nproc)" \
    --target tesmarinds window_fixture >/dev/null
  mkdir -p "$out"
  work=$(mktemp -d /tmp/tesmarinds-wait-bench.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  echo "wait-bench: preparing a prefix" >&2
  status=0
  WORK=$work OUT=$(cd "$out" && pwd) python3 tests/e2e/wine_session.py \
    "$work/prefix" -- bash bench/wait-bench.sh --in-session || status=$?
  exit "$status"
fi

work=${WORK:?set above}
read -r -a wine <<<"${WINE:?set by wine_session.py}"
# The session's clean-up, own wineserver and its CPU time.
. bench/wine/session.sh

control=$WINEPREFIX/drive_c/bench
mkdir -p "$WINEPREFIX/drive_c/temp" "$control"
start_own_server "$work/wineserver.log"

title=$(printf 'wait bench window' | od -An -tx1 | tr -d ' \n')
"${wine[@]}" "$exes/tests/e2e/window_fixture.exe" 'c:\bench\record.txt' \
  --exit-on 'c:\bench\stop' \
  "id=asking,title=$title,answer=prompt:86400000" >"$work/fixture.log" 2>&1 &
fixture_pid=$!
if ! timeout 120 bash -c "until grep -q '^ready' '$control/record.txt' \
                                  2>/dev/null; do
                            kill -0 $fixture_pid 2>/dev/null || exit 1
                            sleep 0.2
                          done"; then
  echo "wait-bench: the window fixture did not get ready" >&2
  cat "$work/fixture.log" >&2
  exit 1
fi

# Runs the tool with a term; prints wall, tool CPU and server CPU, in us.
timed_tool() {
  local server_before server_after wall cpu
  server_before=$(server_cpu_us)
  read -r wall cpu < <(python3 bench/wine/timed_run.py 1200 \
                         "$work/tool.log" "${wine[@]}" \
                         "$exes/tesmarinds.exe" "$1" || echo "failed $?")
  server_after=$(server_cpu_us)
  if [[ $wall == failed ]]; then
    echo "wait-bench: the tool ended with status $cpu" >&2
    exit 1
  fi
  echo "$wall $cpu $((server_after - server_before))"
}

read -r idle_wall idle_tool idle_server < <(timed_tool "no such window")
server_before=$(server_cpu_us)
sleep 60
quiet_server=$(($(server_cpu_us) - server_before))
read -r wall tool_cpu server_cpu < <(timed_tool "wait bench")
failures=$(grep -c 'WM_CLOSE' "$WINEPREFIX/drive_c/temp/Tesmarind.txt" ||
           true)
awk -v w="$wall" -v t="$tool_cpu" -v s="$server_cpu" -v f="$failures" \
    -v iw="$idle_wall" -v it="$idle_tool" -v is="$idle_server" \
    -v q="$quiet_server" '
  function line(label, wall, tool, server) {
    printf "  %-38s %7.1f s wall %6.2f s CPU in the tool %6.2f s in the" \
           " wineserver\n", label, wall / 1e6, tool / 1e6, server / 1e6
  }
  BEGIN {
    line("a run waiting out its limit", w, t, s)
    line("a run selecting nothing", iw, it, is)
    printf "  %-38s %7.1f s wall %6s   %18s %6.2f s in the wineserver\n",
           "nothing", 60, "", "", q / 1e6
    printf "  waiting, per minute: %.3f s CPU in the tool, %.3f s in the" \
           " wineserver beyond its quiet share (failure lines: %d)\n",
           (t - it) / 1e6 / ((w - iw) / 6e7),
           (s - is - q * (w - iw) / 6e7) / 1e6 / ((w - iw) / 6e7), f
  }' | tee "$OUT/wait.txt"
