#!/usr/bin/env bash
# Download throughput of the updater's HTTP client against curl, in the same run,
# from nginx on 127.0.0.1: one 256 MiB file, the same file served chunked, and
# 2,000 files of 64 KiB over one kept-alive connection; then the client again
# with the old 1 ms polling waits, to show what the select waits bought.
# Uses the bench preset's binaries and builds nothing.
# Usage: bench/net_bench.sh [BUILD_DIR (default build/bench)] [ROUNDS (default 3)]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/bench}")
rounds=${2:-3}
client="$build/bench/net_bench_client"
[ -x "$client" ] || { echo "missing $client: cmake --preset bench && cmake --build build/bench --target net_bench_client"; exit 2; }

work=$(mktemp -d /tmp/net-bench.XXXXXX)
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www/small" "$work/t"
head -c $((256 << 20)) /dev/urandom > "$work/www/big.bin"
python3 - "$work/www/small" <<'PY'
import os, sys
block = os.urandom(64 << 10)
for i in range(2000):
    with open(os.path.join(sys.argv[1], "f%04d.bin" % i), "wb") as f:
        f.write(block[i % 64:] + block[:i % 64])
PY

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/nginx.conf" <<CONF
daemon off;
master_process off;
pid $work/nginx.pid;
error_log $work/error.log warn;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/t/body; proxy_temp_path $work/t/proxy;
  fastcgi_temp_path $work/t/fcgi; uwsgi_temp_path $work/t/uwsgi; scgi_temp_path $work/t/scgi;
  default_type application/octet-stream;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  gzip off;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    # The addition filter drops Content-Length, so nginx sends the file chunked.
    location /chunked/ { alias $work/www/; addition_types *; add_after_body /empty; }
    location = /empty { return 200 ""; }
  }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/empty" && break; sleep 0.05; done

base="http://127.0.0.1:$port"
: > "$work/small.list"; : > "$work/small.curl"
for i in $(seq -f "%04g" 0 1999); do
  echo "$base/small/f$i.bin" >> "$work/small.list"
  printf 'url = "%s"\noutput = "/dev/null"\n' "$base/small/f$i.bin" >> "$work/small.curl"
done

# Best of the rounds, in MB/s (10^6 bytes per second).
curl_rate() {  # BYTES CURL-ARGS...
  local bytes=$1 best=0; shift
  for _ in $(seq "$rounds"); do
    local t0 t1
    t0=$(date +%s.%N); curl -s "$@"; t1=$(date +%s.%N)
    best=$(python3 -c "print(max($best, $bytes / ($t1 - $t0) / 1e6))")
  done
  printf '%.1f' "$best"
}
client_rate() {  # ARGS...: prints "first best"
  "$client" --rounds "$rounds" "$@" |
    python3 -c 'import sys; r=[float(l.split()[-1]) for l in sys.stdin]; print("%.1f %.1f" % (r[0], max(r)))'
}

big=$((256 << 20)); small=$((2000 * 65536))
printf '%-28s %10s %10s %10s %10s %8s\n' case "curl" "client" "(round 1)" "old poll" ratio
for case in big chunked small; do
  case $case in
    big) c=$(curl_rate $big -o /dev/null "$base/big.bin"); args=("$base/big.bin");;
    chunked) c=$(curl_rate $big -o /dev/null "$base/chunked/big.bin"); args=("$base/chunked/big.bin");;
    small) c=$(curl_rate $small -K "$work/small.curl"); args=(--list "$work/small.list");;
  esac
  read -r first best < <(client_rate "${args[@]}")
  read -r _ old < <(client_rate --poll sleep "${args[@]}")
  ratio=$(python3 -c "print('%.2f' % ($best / $c))")
  printf '%-28s %10s %10s %10s %10s %8s\n' "$case (MB/s)" "$c" "$best" "$first" "$old" "$ratio"
done
