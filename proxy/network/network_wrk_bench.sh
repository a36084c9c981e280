#!/usr/bin/env bash
# The cost of a run's network control under a standard load tool: wrk at
# concurrency 16 (requests/s) and 1 (p50 latency) on a 1 kB file of nginx,
# side by side in one run:
#   direct            nginx itself
#   nginx relay       nginx-light as a reverse proxy with pooled upstream
#                     connections in front of the same nginx
#   proxy             proxy_http_host's main port (no run: nothing kept)
#   run, no rules     a run's port: every request kept, bodies not kept
#                     (what a HAR with content omitted needs)
#   run, bodies       the same, bodies kept up to 1 MiB (a HAR with
#                     content embedded); and with a 256 kB file, whose
#                     body passes in many pieces
#   run, 100 rules    100 rules none of which match
#   run, static       a rule that answers every request in the proxy
# and then, from a page in headless Chromium through the real programs, a
# route's handler function's round trip from the page's fetch to its answer
# (build/bench/handler_round_trip_bench, when built).
# Forwarding against nginx's relay, and 100 rules against none, are
# measured last once more, in rounds (ROUNDS, default 5) that take them by
# turns, and printed as the median of each round's ratio: on a shared
# machine a single pair of runs can be a tenth apart either way.
# Prints figures; asserts nothing.
#
#   [ROUNDS=n] proxy/network/network_wrk_bench.sh [build folder (build)] [seconds per run (10)] [earlier build folder]
#
# With an earlier build folder (another worktree's, say), the runs that
# keep requests are measured with its proxy too, each right beside ours.
set -euo pipefail
build=${1:-build}
seconds=${2:-10}
host=$(realpath "$build/tests/proxy_http_host")
earlier=${3:+$(realpath "$3/tests/proxy_http_host")}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

mkdir -p "$work/www" "$work/nginx" "$work/relay"
chmod 755 "$work" "$work/www"
head -c 1024 /dev/zero | tr '\0' 'k' > "$work/www/1k"
head -c 262144 /dev/zero | tr '\0' 'k' > "$work/www/256k"
nginx_port=$(free_port)
relay_port=$(free_port)
common="access_log off; keepalive_requests 1000000;"
temps() { echo "client_body_temp_path $1/body; proxy_temp_path $1/proxy; fastcgi_temp_path $1/fastcgi; uwsgi_temp_path $1/uwsgi; scgi_temp_path $1/scgi;"; }
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 1; daemon off; pid $work/nginx/nginx.pid; error_log $work/nginx/error.log;
events { worker_connections 1024; }
http { $common sendfile on; $(temps "$work/nginx")
  server { listen 127.0.0.1:$nginx_port; root $work/www; default_type application/octet-stream; } }
CONF
cat > "$work/relay/nginx.conf" <<CONF
worker_processes 1; daemon off; pid $work/relay/nginx.pid; error_log $work/relay/error.log;
events { worker_connections 1024; }
http { $common $(temps "$work/relay")
  upstream origin { server 127.0.0.1:$nginx_port; keepalive 64; }
  server { listen 127.0.0.1:$relay_port;
    location / { proxy_pass http://origin; proxy_http_version 1.1; proxy_set_header Connection ""; } } }
CONF
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" & pids+=($!)
nginx -c "$work/relay/nginx.conf" -p "$work/relay" & pids+=($!)
origin="http://127.0.0.1:$nginx_port"
sleep 0.5
status=$(curl -s -o /dev/null -w '%{http_code}' "$origin/1k")
[ "$status" = 200 ] || { echo "nginx answers $status"; exit 1; }

cat > "$work/via.lua" <<LUA
wrk.path = "$origin/1k"
wrk.headers["Host"] = "127.0.0.1:$nginx_port"
LUA
sed 's#/1k"#/256k"#' "$work/via.lua" > "$work/via256k.lua"
rate() { awk '/^Requests\/sec/{print $2}'; }
p50() { awk '$1 == "50%" {print $2}'; }

# A host serves until its standard input ends: long enough for every run
# it may be measured in, the rounds included.
host_life=$(( seconds * 20 + ${ROUNDS:-5} * 25 + 60 ))

# Starts proxy_http_host with `$@`; sets `port` to the port to load (the
# run's when there is one).
start_host() {
  local out="$work/host$RANDOM.out"
  "$host" "$@" > "$out" 2> /dev/null < <(sleep "$host_life") & pids+=($!)
  for _ in $(seq 1 100); do
    grep -q '^port ' "$out" 2>/dev/null && break
    sleep 0.1
  done
  sleep 0.2
  port=$(awk '/^run-port /{print $2}' "$out")
  [ -n "$port" ] || port=$(awk '/^port /{print $2}' "$out")
  host_pid=${pids[-1]}
}

measure() {  # name, wrk target arguments...
  local name=$1
  shift
  local r l
  r=$(wrk -t2 -c16 -d"${seconds}s" "$@" | rate)
  l=$(wrk -t1 -c1 -d"${seconds}s" --latency "$@" | p50)
  printf '%-26s %10s req/s   p50 %s\n' "$name" "$r" "$l"
}

echo "nginx origin on :$nginx_port, nginx relay on :$relay_port; $seconds s a run, 1 kB file"
measure "direct" "$origin/1k"
measure "nginx relay" "http://127.0.0.1:$relay_port/1k"
start_host
measure "proxy" -s "$work/via.lua" "http://127.0.0.1:$port"
kill "$host_pid"
for which in "$host" $earlier; do
  label=""
  [ "$which" = "$host" ] || label=" (earlier)"
  saved=$host
  host=$which
  start_host --run bench --log-body-bytes 0
  measure "run, no rules$label" -s "$work/via.lua" "http://127.0.0.1:$port"
  kill "$host_pid"
  start_host --run bench
  measure "run, bodies$label" -s "$work/via.lua" "http://127.0.0.1:$port"
  # A body of many pieces: what taking the log's lock per piece cost.
  measure "run, bodies 256k$label" -s "$work/via256k.lua" "http://127.0.0.1:$port"
  kill "$host_pid"
  host=$saved
done
rules=()
for i in $(seq 1 100); do rules+=(--route "{\"pattern\": {\"glob\": \"**/none$i/*\"}, \"action\": {\"status\": 404}}"); done
start_host --run bench --log-body-bytes 0 "${rules[@]}"
measure "run, 100 rules" -s "$work/via.lua" "http://127.0.0.1:$port"
kill "$host_pid"
start_host --run bench --log-body-bytes 0 --route '{"pattern": {"glob": "**/1k"}, "action": {"body": "kkkk"}}'
measure "run, static" -s "$work/via.lua" "http://127.0.0.1:$port"
kill "$host_pid"
rounds=${ROUNDS:-5}
round_seconds=$(( seconds < 5 ? seconds : 5 ))
start_host --run bench --log-body-bytes 0
run_port=$port
run_pid=$host_pid
start_host --run bench --log-body-bytes 0 "${rules[@]}"
rules_port=$port
rules_pid=$host_pid
start_host
proxy_port=$port
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.3f", a/b}'; }
ratios_proxy=()
ratios_run=()
ratios_rules=()
for round in $(seq 1 "$rounds"); do
  relay=$(wrk -t2 -c16 -d"${round_seconds}s" "http://127.0.0.1:$relay_port/1k" | rate)
  ours=$(wrk -t2 -c16 -d"${round_seconds}s" -s "$work/via.lua" "http://127.0.0.1:$proxy_port" | rate)
  run=$(wrk -t2 -c16 -d"${round_seconds}s" -s "$work/via.lua" "http://127.0.0.1:$run_port" | rate)
  ruled=$(wrk -t2 -c16 -d"${round_seconds}s" -s "$work/via.lua" "http://127.0.0.1:$rules_port" | rate)
  ratios_proxy+=("$(ratio "$ours" "$relay")")
  ratios_run+=("$(ratio "$run" "$relay")")
  ratios_rules+=("$(ratio "$ruled" "$run")")
  printf 'round %d: nginx relay %s, proxy %s, run with no rules %s, run with 100 rules %s req/s\n' \
    "$round" "$relay" "$ours" "$run" "$ruled"
done
kill "$host_pid" "$run_pid" "$rules_pid"
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END{print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
echo "medians of $rounds rounds: forwarding against nginx's relay: proxy $(median "${ratios_proxy[@]}")x," \
  "run with no rules $(median "${ratios_run[@]}")x; 100 rules against none $(median "${ratios_rules[@]}")x"
handler_bench="$build/bench/handler_round_trip_bench"
if [ -x "$handler_bench" ]; then
  "$handler_bench"
else
  echo "($handler_bench is not built: ninja -C $build handler_round_trip_bench)"
fi
