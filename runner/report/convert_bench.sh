#!/usr/bin/env bash
# Convert-mode benchmark. Generates test logs of 10 MB, 100 MB and 1 GB
# (multi-byte UTF-8 throughout, some values of up to 256 KiB), converts each
# with `Quorvane --mode=convert`, and prints the throughput and the peak
# memory (maximum resident set) of each run, next to a plain decoding pass
# over the same file (iconv UTF-8 to UTF-32 into /dev/null) as the physical
# reference. Prints figures only; it asserts nothing.
#
# Usage: runner/report/convert_bench.sh [BUILD_DIR] [SIZE_MB ...]
#   BUILD_DIR defaults to build/ (the targets Quorvane and convert_bench_gen
#   are built there first); sizes default to 10 100 1000.
# Needs /usr/bin/time (Debian package "time") and iconv.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$root/build}")
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10 100 1000)

ninja -C "$build" Quorvane convert_bench_gen >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs a command; prints its wall-clock seconds, its CPU seconds (user and
# system) and its peak memory in KiB.
measure() {
  local start end user system rss
  start=$EPOCHREALTIME
  /usr/bin/time -f '%U %S %M' -o "$work/time" "$@"
  end=$EPOCHREALTIME
  read -r user system rss < "$work/time"
  awk -v a="$start" -v b="$end" -v u="$user" -v s="$system" -v rss="$rss" \
    'BEGIN { printf "%.3f %.3f %s\n", b - a, u + s, rss }'
}

# Wall-clock figures depend on what else the machine is doing; the CPU
# figures (user and system time of the process) much less so.
echo "                       |        Quorvane --mode=convert        | iconv UTF-8 -> UTF-32"
printf '%-8s %12s | %7s %9s %9s %9s | %9s %9s\n' size bytes seconds MB/s "cpu MB/s" "peak MiB" MB/s "cpu MB/s"
for mb in "${sizes[@]}"; do
  log="$work/run.log"
  "$build/bench/convert_bench_gen" "$mb" "$log"
  bytes=$(stat -c %s "$log")
  cat "$log" > /dev/null  # into the page cache, for both runs alike
  read -r wall cpu rss < <(measure "$build/bin/Quorvane" --mode=convert -i "$log" -o "$work/report.xml")
  read -r iconv_wall iconv_cpu _ < <(measure iconv -f UTF-8 -t UTF-32 -o /dev/null "$log")
  awk -v size="$mb MB" -v bytes="$bytes" -v w="$wall" -v c="$cpu" -v rss="$rss" -v iw="$iconv_wall" \
    -v ic="$iconv_cpu" 'function rate(t) { return t > 0 ? bytes / 1e6 / t : 0 }
    BEGIN { printf "%-8s %12d | %7.2f %9.1f %9.1f %9.1f | %9.1f %9.1f\n",
                   size, bytes, w, rate(w), rate(c), rss / 1024, rate(iw), rate(ic) }'
  rm -f "$log" "$work/report.xml"
done
