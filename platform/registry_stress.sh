#!/bin/sh
# Concurrent registry writers: ROUNDS rounds of WORKERS `reg add` processes
# started together, each round on a fresh machine hive and then once more
# on the hive it left. Every add must succeed and every value be there.
# Not run by ctest (it takes minutes); run it after changing how hives are
# opened, created or written:
#
#   platform/registry_stress.sh [build/bin/reg] [ROUNDS] [WORKERS]
#
# Exits 0 when nothing was lost, 1 otherwise, with the failures printed.
set -u
reg=${1:-build/bin/reg}
rounds=${2:-200}
workers=${3:-8}
[ -x "$reg" ] || { echo "no reg program at $reg" >&2; exit 2; }
base=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-registry-stress.XXXXXX")
trap 'rm -rf "$base"' EXIT INT TERM
# Keep the user's own hive out of it as well.
export XDG_CONFIG_HOME="$base/config"

failed=0
lost=0
# Starts the workers of one pass at once; each adds one value to a key
# they share and one to a key of its own.
pass() {  # pass MACHINE_DIR TAG
  pids=""
  w=1
  while [ "$w" -le "$workers" ]; do
    QUORVANE_MACHINE_DIR=$1 "$reg" add 'HKLM\Software\Stress\Shared' /v "$2.$w" /d x /f \
      >"$1.out.$2.$w" 2>&1 &&
      QUORVANE_MACHINE_DIR=$1 "$reg" add "HKLM\\Software\\Stress\\Own$w" /v "$2" /d x /f \
      >>"$1.out.$2.$w" 2>&1 &
    pids="$pids $!"
    w=$((w + 1))
  done
  for pid in $pids; do
    wait "$pid" || failed=$((failed + 1))
  done
  grep -h ERROR "$1.out.$2".* 2>/dev/null | sort | uniq -c
}

count() {  # count MACHINE_DIR KEY
  QUORVANE_MACHINE_DIR=$1 "$reg" query "$2" 2>/dev/null | grep -c 'REG_SZ'
}

round=1
while [ "$round" -le "$rounds" ]; do
  machine="$base/machine$round"
  pass "$machine" fresh
  pass "$machine" again
  shared=$(count "$machine" 'HKLM\Software\Stress\Shared')
  if [ "$shared" -ne $((2 * workers)) ]; then
    echo "round $round: $shared of $((2 * workers)) shared values"
    lost=$((lost + 2 * workers - shared))
  fi
  w=1
  while [ "$w" -le "$workers" ]; do
    own=$(count "$machine" "HKLM\\Software\\Stress\\Own$w")
    [ "$own" -eq 2 ] || { echo "round $round: worker $w has $own of 2 values"; lost=$((lost + 2 - own)); }
    w=$((w + 1))
  done
  rm -rf "$machine" "$machine".out.*
  round=$((round + 1))
done

echo "$rounds rounds of $workers concurrent writers: $failed failed workers, $lost values lost"
[ "$failed" -eq 0 ] && [ "$lost" -eq 0 ]
