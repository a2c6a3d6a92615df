#!/usr/bin/env bash
# Shows tesmarinds.exe at work under Wine: builds it, opens Wine's Notepad
# and a window that refuses to close twice before giving in, runs
# `tesmarinds.exe notepad`, and shows what it printed, its exit status, its
# log and which windows are gone. Everything runs on a private X display
# and Wine prefix, both removed at the end. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh build wine
cmake --preset mingw
cmake --build --preset mingw -j "$(nproc)"

exe=$root/build/mingw/tesmarinds.exe
fixture=$root/build/mingw/window_fixture.exe
helper=$root/build/mingw/e2e_helper.exe
work=$root/build/demo
rm -rf "$work"
mkdir -p "$work"

xvfb_pid=
export WINEPREFIX=$work/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Code page 932, as on a Japanese Windows desktop.
export LANG=ja_JP.UTF-8
unset LC_ALL LANGUAGE

tear_down() {
  if [[ -d $WINEPREFIX ]]; then
    timeout 30 wineserver -k || true
    timeout 30 wineserver -w || true
  fi
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    timeout 10 tail --pid="$xvfb_pid" -f /dev/null || kill -9 "$xvfb_pid" || true
  fi
  rm -rf "$WINEPREFIX"
}
trap tear_down EXIT

echo "== Starting a private X display and Wine prefix"
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset \
  >"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")
timeout 180 wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w
mkdir -p "$WINEPREFIX/drive_c/temp"

hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }

# Lists the visible top-level windows as "title [class]".
visible_windows() {
  timeout 30 wine "$helper" list | tr -d '\r' |
    awk -F '\t' '$2 == 1 { print $1 "\t" $4 }' |
    while IFS= read -r line; do
      title=${line%%$'\t'*}
      printf '  %b [%s]\n' "$(sed 's/../\\x&/g' <<<"$title")" \
        "${line#*$'\t'}" | iconv -f CP932 -t UTF-8
    done
}

echo "== Opening Wine's Notepad and a window that refuses twice"
# Notepad keeps its English title "Untitled - Notepad" under this locale.
LANG=C.UTF-8 wine notepad >/dev/null 2>&1 &
record='c:\demo-record.txt'
wine "$fixture" "$record" \
  "id=refuser,title=$(hex 'Stubborn notepad (refuses twice)'),answer=refuse:2" \
  >/dev/null 2>&1 &
# The list is taken whole before it is searched: grep -q leaving a pipe early
# would fail the pipeline under pipefail and keep the loop waiting.
for _ in $(seq 300); do
  windows=$(visible_windows)
  grep -q 'Untitled - Notepad' <<<"$windows" &&
    grep -q ready "$WINEPREFIX/drive_c/demo-record.txt" 2>/dev/null && break
  sleep 0.2
done
echo "Visible windows before the run:"
visible_windows

echo
echo "== Running: wine tesmarinds.exe notepad (takes about 20 seconds)"
status=0
timeout 120 wine "$exe" notepad >"$work/console.bin" || status=$?
echo "Console output ($(wc -c <"$work/console.bin") bytes):"
iconv -f CP932 -t UTF-8 "$work/console.bin"
echo "Exit status: $status"

echo
echo "== The log c:\\temp\\Tesmarind.txt in UTF-8 (CR shown as ^M)"
iconv -f CP932 -t UTF-8 "$WINEPREFIX/drive_c/temp/Tesmarind.txt" |
  sed 's/\r/^M/g'

echo
echo "== Close requests the refusing window received (wall clock, ms)"
sed 's/^/  /' "$WINEPREFIX/drive_c/demo-record.txt"

echo
echo "Visible windows after the run (Notepad and the refusing window gone):"
after=$(visible_windows)
printf '%s\n' "${after:-  (none)}"
