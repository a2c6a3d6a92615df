#!/usr/bin/env bash
# Installs what the named parts of the project need and the machine lacks.
# Parts: build (native tests and the 64- and 32-bit Windows executables),
# wine (real windows under Wine and Xvfb, 32-bit programs included where the
# kernel runs them, with the Japanese locale, and python3 to drive the
# scenarios), analysis (sanitizers, fuzzing, static analysis), bench
# (benchmarks and plots), release (the download archives and Windows
# Installer packages, signing them and the checks of both), powershell
# (PowerShell 7, which runs the results script and parses every PowerShell
# text shipped or shown in the guide).
# Usage: scripts/setup.sh PART...
set -euo pipefail

packages_for() {
  case "$1" in
    build) echo cmake make g++ libgtest-dev googletest \
                g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
                g++-mingw-w64-i686-posix binutils-mingw-w64-i686 ;;
    wine) echo wine wine64 xvfb xauth locales python3 ;;
    analysis) echo clang libclang-rt-14-dev clang-tidy cppcheck ;;
    bench) echo libbenchmark-dev gnuplot-nox valgrind ;;
    release) echo zip git osslsigncode openssl python3 wixl msitools faketime ;;
    powershell) ;;
    *) echo "setup.sh: unknown part $1" >&2; exit 2 ;;
  esac
}

installed() {
  [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == \
     "install ok installed" ]]
}

# Whether this kernel runs 32-bit x86 programs, asked before Wine is there:
# a 32-bit program of 91 bytes that only exits 0 (some kernels boot with
# ia32_emulation=off, and then wine32 could never run).
kernel_runs_32bit_programs() {
  local probe
  probe=$(mktemp)
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\010\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\010\0\200\4\010\133\0\0\0\133\0\0\0\5\0\0\0\0\020\0\0\061\333\061\300\100\315\200' >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  return "$status"
}

wants() {
  local part
  for part in "${parts[@]}"; do [[ $part == "$1" ]] && return 0; done
  return 1
}

parts=("$@")
missing=()
for part in "${parts[@]}"; do
  for package in $(packages_for "$part"); do
    installed "$package" || missing+=("$package")
  done
done
# Wine runs 32-bit programs only with the i386 architecture's wine32, and
# only where the kernel runs them.
want_wine32=0
if wants wine && ! installed wine32:i386 && kernel_runs_32bit_programs; then
  want_wine32=1
fi

export DEBIAN_FRONTEND=noninteractive
updated=0
update_index() {
  ((updated)) && return 0
  updated=1
  # One index that fails (a mirror in the middle of a sync) fails the whole
  # update; what is still listed may install all the same, so the install
  # decides.
  apt-get update -q ||
    echo "setup.sh: apt-get update reported a failed index; going on with what it listed"
}

if ((${#missing[@]} > 0)); then
  echo "setup.sh: installing ${missing[*]}"
  update_index
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if ((want_wine32)); then
  if ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
    dpkg --add-architecture i386
    updated=0
  fi
  update_index
  if ! apt-get install -y -q --no-install-recommends wine32:i386; then
    echo "setup.sh: wine32:i386 could not be installed; going on with 64-bit Wine alone, the 32-bit executable's desktop scenarios will be skipped"
  fi
fi

# Wine takes Japanese arguments as code page 932 only when the Linux locale
# ja_JP.UTF-8 exists.
if wants wine && ! grep -qi '^ja_JP\.utf-\?8$' <<<"$(locale -a)"; then
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen ||
    echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen
fi

# PowerShell 7 as a .NET tool from NuGet, into ~/.dotnet/tools; 7.6.10 is
# named because the newest release does not install here.
if wants powershell && [[ ! -x $HOME/.dotnet/tools/pwsh ]]; then
  echo "setup.sh: installing PowerShell 7.6.10"
  dotnet tool install --global PowerShell --version 7.6.10
fi
