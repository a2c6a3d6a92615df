#!/usr/bin/env bash
# Hardening checks: the unit tests under AddressSanitizer and UBSan, each
# fuzz target for a bounded time after replaying its checked-in corpus, then
# clang-tidy and cppcheck over src/ and fuzz/. Any finding fails the script.
# Installs what is missing first.
#   FUZZ_SECONDS  how long each fuzz target runs (default 60; 0: replay only)
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds="${FUZZ_SECONDS:-60}"
jobs="$(nproc)"

scripts/setup.sh build analysis

echo "== unit tests under ASan and UBSan"
cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan

echo "== fuzz targets"
# The compile database of the fuzz build lets clang-tidy check fuzz/ below.
cmake --preset fuzz -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
cmake --build --preset fuzz -j "$jobs"
fuzz_out=build/fuzz/runs
rm -rf "$fuzz_out"
mkdir -p "$fuzz_out"
declare -A max_len=([arguments_fuzz]=256 [visit_window_fuzz]=4096)
declare -A pids=()
for target in arguments_fuzz visit_window_fuzz; do
  # New inputs go to a scratch corpus; the checked-in seeds, including every
  # input that once failed, are replayed first by the same run.
  mkdir -p "$fuzz_out/$target/corpus"
  options=(-max_len="${max_len[$target]}" -dict=fuzz/text.dict
           -timeout=10 -print_final_stats=1
           -artifact_prefix="$fuzz_out/$target/")
  if ((fuzz_seconds > 0)); then
    options+=(-max_total_time="$fuzz_seconds")
  else
    options+=(-runs=0)
  fi
  ASAN_OPTIONS=strict_string_checks=1:detect_stack_use_after_return=1 \
    UBSAN_OPTIONS=print_stacktrace=1 \
    build/fuzz/fuzz/"$target" "${options[@]}" "$fuzz_out/$target/corpus" \
    "fuzz/corpus/$target" >"$fuzz_out/$target/log" 2>&1 &
  pids[$target]=$!
done
fuzz_failed=0
for target in arguments_fuzz visit_window_fuzz; do
  if ! wait "${pids[$target]}"; then
    fuzz_failed=1
    echo "$target FAILED; its log ends:"
    tail -n 40 "$fuzz_out/$target/log"
    ls "$fuzz_out/$target"/crash-* "$fuzz_out/$target"/leak-* \
      "$fuzz_out/$target"/timeout-* 2>/dev/null || true
    continue
  fi
  log="$fuzz_out/$target/log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  corpus=$(grep -E '^#[0-9]+' "$log" | tail -n 1 |
           sed -n 's/.* corp: \([0-9]*\)\/.*/\1/p')
  echo "$target: ${runs} executions, corpus of ${corpus} inputs, 0 crashes"
done
((fuzz_failed == 0))

echo "== clang-tidy"
# Sources of the native build come from its compile database; the ones only
# the Windows build compiles are checked against the MinGW-w64 headers.
native_sources=$(sed -n 's/^ *"file": "\(.*\/src\/.*\)",*$/\1/p' \
                 build/asan/compile_commands.json | sort -u)
fuzz_sources=$(sed -n 's/^ *"file": "\(.*\/fuzz\/.*\)",*$/\1/p' \
               build/fuzz/compile_commands.json | sort -u)
windows_sources=$(git ls-files 'src/*.cc' | while read -r file; do
  grep -qF "/$file\"" build/asan/compile_commands.json || echo "$file"
done)
echo "$native_sources" | xargs -P "$jobs" -n 1 clang-tidy --quiet -p build/asan
echo "$fuzz_sources" | xargs -P "$jobs" -n 1 clang-tidy --quiet -p build/fuzz \
  --header-filter='.*/(src|fuzz)/.*'
mingw_gcc=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix | sort -V | tail -n 1)
mingw_flags=(--target=x86_64-w64-mingw32 -std=c++17 -Wall -Wextra -Wpedantic
             -Isrc -nostdinc++
             -isystem "$mingw_gcc/include/c++"
             -isystem "$mingw_gcc/include/c++/x86_64-w64-mingw32"
             -isystem "$mingw_gcc/include/c++/backward")
echo "$windows_sources" | xargs -P "$jobs" -I{} \
  clang-tidy --quiet {} -- "${mingw_flags[@]}"

echo "== cppcheck"
cppcheck_options=(--enable=warning,style,performance,portability --std=c++17
                  --inline-suppr --error-exitcode=1 --quiet
                  --suppress=missingIncludeSystem -j "$jobs"
                  --template='{file}:{line}: {severity}: {message} [{id}]')
cppcheck "${cppcheck_options[@]}" --project=build/asan/compile_commands.json \
  '--file-filter=src/*'
# <windows.h> is not parsed; cppcheck's own model of the Windows API stands in.
# shellcheck disable=SC2086
cppcheck "${cppcheck_options[@]}" --library=windows -D_WIN32 -Isrc \
  $windows_sources

echo "check-analysis: sanitizers, fuzzing, clang-tidy and cppcheck clean"
