#!/usr/bin/env bash
# Loads a running corvand on loopback with wrk, against a local nginx origin
# that this script starts and stops.
#
#   bench/load.sh [PROXY_PORT] [SECONDS]      (defaults: 9090, 5)
#
# Needs nginx (nginx-light) and wrk from Debian. Prints wrk's figures for small
# keep-alive requests, for Connection: close, and the time to fetch a 10 MB body
# through the proxy with curl.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
proxy_port=${1:-9090}
seconds=${2:-5}
origin_port=${ORIGIN_PORT:-18090}
[ "$seconds" -le 60 ] || { echo "at most 60 seconds" >&2; exit 1; }

work=$(mktemp -d)
trap 'kill $(cat "$work/nginx.pid" 2>/dev/null) 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/www" "$work/tmp"
head -c 1024 /dev/zero | tr '\0' 'x' > "$work/www/small.html"
head -c $((10 * 1024 * 1024)) /dev/urandom > "$work/www/big.bin"
sed -e "s|@WORK@|$work|g" -e "s|@PORT@|$origin_port|g" "$here/load/nginx.conf.in" > "$work/nginx.conf"
nginx -c "$work/nginx.conf" -e "$work/error.log" &
for _ in $(seq 50); do curl -fs "http://127.0.0.1:$origin_port/small.html" >/dev/null && break; sleep 0.1; done

target="http://127.0.0.1:$origin_port/small.html"
echo "== small keep-alive requests"
CORVANE_TARGET=$target wrk -t2 -c50 -d"${seconds}s" --latency -s "$here/load/proxy.lua" "http://127.0.0.1:$proxy_port"
echo "== small requests, Connection: close"
CORVANE_TARGET=$target CORVANE_CLOSE=1 wrk -t2 -c50 -d"${seconds}s" --latency -s "$here/load/proxy.lua" "http://127.0.0.1:$proxy_port"
echo "== 10 MB body"
for _ in 1 2 3; do
  curl -s -o /dev/null -x "http://127.0.0.1:$proxy_port" -w '%{size_download} bytes in %{time_total} s\n' \
    --max-time 30 "http://127.0.0.1:$origin_port/big.bin"
done
