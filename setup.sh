#!/usr/bin/env bash
# Installs what Quorvane needs from Debian's packages and builds it into build/.
# Idempotent: run it again after any change. Usage: ./setup.sh [extra cmake args]
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  build-essential cmake ninja-build pkg-config
  libboost1.81-all-dev libpugixml-dev libsqlite3-dev sqlite3 zlib1g-dev libpng-dev
  libduktape207 duktape-dev libx11-dev xvfb
  googletest libgtest-dev libgmock-dev
  libxml2-dev time
  clang libclang-rt-14-dev
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

cmake -S . -B build -G Ninja "$@" >/dev/null
cmake --build build
