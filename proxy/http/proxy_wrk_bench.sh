#!/usr/bin/env bash
# The proxy under a standard load tool against a standard origin: wrk
# against nginx, directly and through proxy_http_host, on loopback only.
# Prints requests per second at concurrency 16, latency at concurrency 1
# (p50, p99) and a 100 MB download with curl, each direct and through the
# proxy. Prints figures; asserts nothing.
#
#   proxy/http/proxy_wrk_bench.sh [build folder (build)] [seconds per run (10)]
set -euo pipefail
build=${1:-build}
seconds=${2:-10}
host=$(realpath "$build/tests/proxy_http_host")
work=$(mktemp -d)
nginx_pid=""
proxy_pid=""
cleanup() {
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null || true
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

mkdir -p "$work/www" "$work/nginx"
# nginx's workers run as nobody when started by root: they must read the files.
chmod 755 "$work" "$work/www"
head -c 1024 /dev/zero | tr '\0' 'k' > "$work/www/1k"
head -c 100000000 /dev/zero > "$work/www/100m"
nginx_port=$(free_port)
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  keepalive_requests 1000000;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
    default_type application/octet-stream;
  }
}
CONF
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
"$host" > "$work/proxy.out" 2> "$work/proxy.err" < <(sleep $((seconds * 10 + 120))) &
proxy_pid=$!
for _ in $(seq 1 100); do
  grep -q '^port ' "$work/proxy.out" 2>/dev/null && break
  sleep 0.1
done
proxy_port=$(awk '/^port /{print $2}' "$work/proxy.out")
origin="http://127.0.0.1:$nginx_port"
# wrk cannot use a proxy: the script asks the proxy for the absolute URL.
cat > "$work/via.lua" <<LUA
wrk.path = "$origin/1k"
wrk.headers["Host"] = "127.0.0.1:$nginx_port"
LUA
sleep 0.5
status=$(curl -s -o /dev/null -w '%{http_code}' "$origin/1k")
[ "$status" = 200 ] || { echo "nginx answers $status"; exit 1; }

rate() { awk '/^Requests\/sec/{print $2}'; }
percentile() { awk -v p="$1" '$1 == p {print $2}'; }

echo "nginx on :$nginx_port, proxy_http_host on :$proxy_port; $seconds s a run"
direct16=$(wrk -t2 -c16 -d"${seconds}s" "$origin/1k" | rate)
proxy16=$(wrk -t2 -c16 -d"${seconds}s" -s "$work/via.lua" "http://127.0.0.1:$proxy_port" | rate)
echo "requests/s at concurrency 16 (1 KB): direct $direct16, proxy $proxy16 ($(awk -v a="$proxy16" -v b="$direct16" 'BEGIN{printf "%.0f", 100*a/b}') % of direct, target >= 50 %)"
direct1=$(wrk -t1 -c1 -d"${seconds}s" --latency "$origin/1k")
proxy1=$(wrk -t1 -c1 -d"${seconds}s" --latency -s "$work/via.lua" "http://127.0.0.1:$proxy_port")
echo "latency at concurrency 1: p50 direct $(echo "$direct1" | percentile 50%), proxy $(echo "$proxy1" | percentile 50%); p99 direct $(echo "$direct1" | percentile 99%), proxy $(echo "$proxy1" | percentile 99%) (target: added p50 <= 0.3 ms)"
direct_dl=$(curl -s -o /dev/null -w '%{speed_download}' "$origin/100m")
proxy_dl=$(curl -s -o /dev/null -w '%{speed_download}' --proxy "http://127.0.0.1:$proxy_port" "$origin/100m")
echo "100 MB download: direct $(awk -v s="$direct_dl" 'BEGIN{printf "%.0f", s/1e6}') MB/s, proxy $(awk -v s="$proxy_dl" 'BEGIN{printf "%.0f", s/1e6}') MB/s (target >= 500 MB/s)"
