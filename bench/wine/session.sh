# Sourced by bench/wine-bench.sh and bench/wait-bench.sh inside the Wine
# session tests/e2e/wine_session.py gives them: a wineserver of their own,
# whose CPU time can be read, and a clean-up that ends only what they
# started, the window fixture through its stop file and this prefix's
# server; the session ends the rest.

fixture_pid=
server_pid=

cleanup() {
  set +e
  if [[ -d $WINEPREFIX/drive_c/bench ]]; then
    touch "$WINEPREFIX/drive_c/bench/stop"
  fi
  if [[ -n $fixture_pid ]]; then
    timeout 10 tail --pid="$fixture_pid" -f /dev/null
  fi
  timeout 30 wineserver -k 2>/dev/null
  timeout 30 wineserver -w 2>/dev/null
  if [[ -n $server_pid ]]; then
    timeout 10 tail --pid="$server_pid" -f /dev/null
  fi
}
trap cleanup EXIT

# A server in the foreground, so its pid is known and its CPU time can be
# read: the platform's work for another process's windows is mostly done
# there. Its output goes to the file named.
start_own_server() {
  wineserver -f -p >"$1" 2>&1 &
  server_pid=$!
}

# The server's time on a CPU so far, in microseconds.
server_cpu_us() {
  local nanoseconds rest
  read -r nanoseconds rest <"/proc/$server_pid/schedstat"
  echo $((nanoseconds / 1000))
}
