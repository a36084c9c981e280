#!/usr/bin/env bash
# Installs what Quorvane needs from Debian's packages, builds it into build/
# and registers the components of build/bin. Idempotent: run it again after
# any change. Usage: ./setup.sh [--tests] [--benchmarks] [extra cmake args]
#   --tests        builds the test programs too (ctest needs them);
#   --benchmarks   builds the benchmarks into build/bench too (no test
#                  needs them; `cmake --build build --target
#                  quorvane_benchmarks` does the same);
#   without either only the programs a user runs are built.
set -euo pipefail
cd "$(dirname "$0")"

targets=()
cmake_args=()
for arg in "$@"; do
  case "$arg" in
    --tests) targets+=(quorvane_tests) ;;
    --benchmarks) targets+=(quorvane_benchmarks) ;;
    *) cmake_args+=("$arg") ;;
  esac
done

packages=(
  build-essential cmake ninja-build pkg-config file ccache
  libboost1.81-all-dev libpugixml-dev libsqlite3-dev sqlite3 zlib1g-dev libpng-dev
  libduktape207 duktape-dev libx11-dev libxtst-dev
  googletest libgtest-dev libgmock-dev
  libxml2-dev time
  clang libclang-rt-14-dev
  xdg-utils
  chromium firefox-esr xvfb xauth libssl-dev openssl libnss3-tools libbrotli-dev curl iproute2
  libxml2-utils python3 python3-yaml
  wrk nginx-light util-linux
  libjs-jquery libjs-jquery-ui libjs-backbone libjs-underscore libjs-angularjs libjs-vue xdotool
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S . -B build -G Ninja ${cmake_args[@]+"${cmake_args[@]}"} >/dev/null
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build build --target "${targets[@]}"
else
  cmake --build build
fi

# Register the components and the ".jsk" file type of build/bin: machine-wide
# where the machine hive may be written, else for the current user. The
# helper waits for every registration step; while another helper instance
# runs (the guard of a test run ends some seconds after its run) it is
# retried for up to a minute.
for attempt in $(seq 1 30); do
  code=0
  build/bin/QuorvaneHelper /Install || code=$?
  [ "$code" -ne 250 ] && break
  [ "$attempt" -eq 1 ] && echo "setup: waiting for a running QuorvaneHelper to end"
  sleep 2
done
case "$code" in
  0) echo "setup: registered the components and the browsers in build/bin" ;;
  250) echo "setup: registration skipped: another QuorvaneHelper is still running; run ./setup.sh again" >&2; exit 1 ;;
  *) echo "setup: registration failed (QuorvaneHelper /Install exited with $code)" >&2; exit 1 ;;
esac
