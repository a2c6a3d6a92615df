#!/usr/bin/env bash
# Installs what the named parts of the project need and the machine lacks.
# Parts: build (native tests and the 64- and 32-bit Windows executables),
# wine (real windows under Wine and Xvfb, 32-bit programs included, with the
# Japanese locale, and python3 to drive the scenarios), analysis (sanitizers,
# fuzzing, static analysis), bench (benchmarks and plots), release (the
# download archives and Windows Installer packages, signing them and the
# checks of both).
# Usage: scripts/setup.sh PART...
set -euo pipefail

packages_for() {
  case "$1" in
    build) echo cmake make g++ libgtest-dev googletest \
                g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
                g++-mingw-w64-i686-posix binutils-mingw-w64-i686 ;;
    wine) echo wine wine64 wine32:i386 xvfb xauth locales python3 ;;
    analysis) echo clang libclang-rt-14-dev clang-tidy cppcheck ;;
    bench) echo libbenchmark-dev gnuplot-nox valgrind ;;
    release) echo zip git osslsigncode openssl python3 wixl msitools faketime ;;
    *) echo "setup.sh: unknown part $1" >&2; exit 2 ;;
  esac
}

missing=()
for part in "$@"; do
  for package in $(packages_for "$part"); do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    if [[ $status != "install ok installed" ]]; then
      missing+=("$package")
    fi
  done
done

if ((${#missing[@]} > 0)); then
  echo "setup.sh: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Wine runs 32-bit programs only with the i386 architecture's wine32.
  if [[ " ${missing[*]} " == *":i386 "* ]] &&
      ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine takes Japanese arguments as code page 932 only when the Linux locale
# ja_JP.UTF-8 exists.
for part in "$@"; do
  if [[ "$part" == wine ]] && ! grep -qi '^ja_JP\.utf-\?8$' <<<"$(locale -a)"; then
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen ||
      echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen
  fi
done
