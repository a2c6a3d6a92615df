#!/usr/bin/env bash
# Shows tesmarinds.exe at work under Wine: builds it, opens Wine's Notepad
# and a window that refuses to close twice before giving in, runs
# `tesmarinds.exe notepad`, and shows what it printed, its exit status, its
# log and which windows are gone. Everything runs on a private X display
# and Wine prefix, started by tests/e2e/wine_session.py as for the
# scenarios, and removed at the end. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/demo

if [[ ${1:-} != --in-session ]]; then
  scripts/setup.sh build wine
  cmake --preset mingw
  cmake --build --preset mingw -j "$(nproc)"
  rm -rf "$work"
  mkdir -p "$work"
  echo "== Starting a private X display and Wine prefix"
  # Code page 932, as on a Japanese Windows desktop. The rest of this script
  # runs inside the session.
  status=0
  python3 tests/e2e/wine_session.py --lang ja_JP.UTF-8 "$work/prefix" -- \
    bash "$root/scripts/demo.sh" --in-session || status=$?
  rm -rf "$work/prefix"
  exit "$status"
fi

# What starts a Windows program here: Wine's 64-bit loader itself where the
# kernel runs no 32-bit programs.
read -r -a wine <<<"${WINE:?set by wine_session.py}"
exe=$root/build/mingw/tesmarinds.exe
fixture=$root/build/mingw/window_fixture.exe
helper=$root/build/mingw/e2e_helper.exe
mkdir -p "$WINEPREFIX/drive_c/temp"

hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }

# Lists the visible top-level windows as "title [class]".
visible_windows() {
  timeout 30 "${wine[@]}" "$helper" list | tr -d '\r' |
    awk -F '\t' '$2 == 1 { print $1 "\t" $4 }' |
    while IFS= read -r line; do
      title=${line%%$'\t'*}
      printf '  %b [%s]\n' "$(sed 's/../\\x&/g' <<<"$title")" \
        "${line#*$'\t'}" | iconv -f CP932 -t UTF-8
    done
}

echo "== Opening Wine's Notepad and a window that refuses twice"
# Notepad keeps its English title "Untitled - Notepad" under this locale.
LANG=C.UTF-8 "${wine[@]}" notepad >/dev/null 2>&1 &
record='c:\demo-record.txt'
"${wine[@]}" "$fixture" "$record" \
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
timeout 120 "${wine[@]}" "$exe" notepad >"$work/console.bin" || status=$?
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
