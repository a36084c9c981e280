#!/usr/bin/env bash
# Start-up benchmark of a normal run: the time from start to exit of
# `Quorvane t.js` where t.js is `return 0;`, median (and spread) of 20 runs,
# next to /bin/true. Two cases:
#   cold  the local proxy server is not running when the run starts (it is
#         ended before each run, so each run starts it; the guard is a
#         stand-in that ends at once);
#   warm  the server is already running (held by a client that stays),
#         once as the caller's environment has it and once without a
#         display ($DISPLAY unset, as in CI), where the run must not start
#         a screen it never needs.
# Prints figures only; it asserts nothing. The targets are at most 100 ms
# cold and 50 ms warm without a display.
#
# Usage: runner/script_run_bench.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR defaults to build/ (Quorvane and the deliverables are built
#   there first); RUNS defaults to 20.
# Runs in a private home, registry and runtime folder, with a copy of the
# runner's directory whose proxy listens on a free port.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build}")
runs=${2:-20}

ninja -C "$build" Quorvane QuorvaneRuntime QuorvaneProxy QuorvaneResource reg >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-run-bench.XXXXXX")
holder=""
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null || true
  [ -n "${bin:-}" ] && end_proxy
  rm -rf "$work"
}
trap cleanup EXIT

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/run" QUORVANE_MACHINE_DIR="$work/machine"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# The runner's directory, with a stand-in guard and a free proxy port.
bin="$work/bin"
mkdir -p "$bin"
cp "$build/bin/Quorvane" "$build/bin/QuorvaneProxy" "$build/bin/QuorvaneRuntime.so" \
   "$build/bin/Resource.dat" "$build/bin/config.xml" "$bin/"
printf '#!/bin/sh\nexit 0\n' > "$bin/QuorvaneHelper" && chmod +x "$bin/QuorvaneHelper"
port=$(comm -23 <(seq 20000 40000) <(ss -Htan | awk '{print $4}' | sed 's/.*://' | sort -u) | shuf -n 1)
sed -i "/<section id=\"proxy\">/,/<\/section>/ s|<value>[0-9]*</value>|<value>$port</value>|" "$bin/config.xml"

reg="$build/bin/reg"
"$reg" add 'HKCU\Software\Classes\CLSID\{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}\InprocServer32' \
  /ve /d "$bin/QuorvaneRuntime.so" /f >/dev/null
"$reg" add 'HKCU\Software\Classes\CLSID\{2B8434D6-39BA-49F9-99D9-E28064A86A5B}\LocalServer32' \
  /ve /d "$bin/QuorvaneProxy" /f >/dev/null

cd "$work"
printf 'return 0;\n' > t.js

# Milliseconds of one run of the command.
time_ms() {
  local start end
  start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", (b - a) * 1000 }'
}

# Ends the proxy server that the previous run started (it outlives a run
# for a grace period), found by the path of this benchmark's private copy,
# so that the next run has to start it.
end_proxy() {
  local pids
  pids=$(pgrep -f "^$bin/QuorvaneProxy" || true)
  [ -z "$pids" ] && return 0
  kill $pids 2>/dev/null || true
  for _ in $(seq 200); do
    pgrep -f "^$bin/QuorvaneProxy" >/dev/null || return 0
    sleep 0.05
  done
}

# Prints "median N ms (min A, max B)" of $runs runs of the command; with
# BEFORE set, runs that command (untimed) before each run.
series() {
  local times=()
  for _ in $(seq "$runs"); do
    [ -n "${BEFORE:-}" ] && $BEFORE
    times+=("$(time_ms "$@")")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk -v n="$runs" '
    { v[NR] = $1 }
    END {
      m = (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
      printf "median %7.1f ms   (min %6.1f, max %6.1f)\n", m, v[1], v[n]
    }'
}

# A run must work before it is timed.
if ! "$bin/Quorvane" t.js --log t.log >"$work/first.txt" 2>&1; then
  echo "the run fails; its output:" >&2
  cat "$work/first.txt" >&2
  exit 1
fi

echo "start to exit, $runs runs each:"
printf '  %-36s ' "/bin/true"
series /bin/true
printf '  %-36s ' "Quorvane, proxy server not running"
BEFORE=end_proxy series "$bin/Quorvane" t.js --log t.log
# A client that holds the server running for the warm runs.
printf 'Quorvane.Sleep(600000);\n' > hold.js
"$bin/Quorvane" hold.js --log hold.log >/dev/null 2>&1 &
holder=$!
sleep 1
printf '  %-36s ' "Quorvane, proxy server running"
series "$bin/Quorvane" t.js --log t.log
printf '  %-36s ' "Quorvane, proxy running, no display"
series env -u DISPLAY "$bin/Quorvane" t.js --log t.log
