#!/bin/bash
# What a rebuild costs after touching one of the proxy's source files: for
# each file, touch it and build QuorvaneProxy with ccache off, then print
# the wall time of the whole rebuild, the file's own compile step (from
# .ninja_log) and the load average before and after (other builds on the
# machine inflate every figure).
# Usage: proxy/http/rebuild_bench.sh BUILD_DIR [SOURCE...]
# (default: every source file that QuorvaneProxy compiles from proxy/).
set -euo pipefail
build=${1:?usage: rebuild_bench.sh BUILD_DIR [SOURCE...]}
shift
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
if [ $# -eq 0 ]; then
  mapfile -t files < <(cd "$source_dir" && ls proxy/*.cpp proxy/http/*.cpp proxy/pages/*.cpp |
    grep -v -e '_test\.cpp$' -e '_bench\.cpp$' -e '_soak\.cpp$' -e '_fuzz\.cpp$')
else
  files=("$@")
fi
# Up to date first, so that each rebuild is the touched file's alone.
ninja -C "$build" QuorvaneProxy >/dev/null
printf '%-44s %9s %9s %9s  %s\n' file rebuild cpu compile 'load before -> after'
for file in "${files[@]}"; do
  load_before=$(cut -d' ' -f1 /proc/loadavg)
  lines=$(wc -l <"$build/.ninja_log")
  touch "$source_dir/$file"
  # Bash's own time: wall, user and system time of the build and its steps.
  times=$( { TIMEFORMAT='%R %U %S'; time CCACHE_DISABLE=1 ninja -C "$build" QuorvaneProxy >/dev/null; } 2>&1 | tail -1)
  wall=$(echo "$times" | awk '{printf "%.1f", $1}')
  cpu=$(echo "$times" | awk '{printf "%.1f", $2 + $3}')
  object="$(basename "$file").o"
  compile=$(tail -n +"$((lines + 1))" "$build/.ninja_log" |
    awk -v o="/$object" 'index($4, o) > 0 && index($4, o) == length($4) - length(o) + 1 {printf "%.1f", ($2 - $1) / 1000}')
  printf '%-44s %8ss %8ss %8ss  %s -> %s\n' "$file" "$wall" "$cpu" "${compile:-?}" \
    "$load_before" "$(cut -d' ' -f1 /proc/loadavg)"
done
