#!/usr/bin/env bash
# Download benchmark, run by hand (not in CI):
#   bench/download/run.sh [BUILD_DIR] [SIZE_MIB] [ROUNDS]
# Serves a SIZE_MIB (default 256) MiB package with nginx on 127.0.0.1 (its own
# config in a temporary folder) and compares, best of ROUNDS (default 3):
#   velqor-fetch --type 1   vs  curl -o            (single stream)
#   velqor-fetch --type 3   vs  aria2c -x2 -s2     (two ranges)
#   velqor-md5 (GetFileMd5) vs  md5sum
# printing throughput ratios (>1 means faster than the baseline) and peak memory.
# Targets: single >= 0.95x curl, multi >= 1.0x aria2c, MD5 >= 0.9x md5sum,
# peak memory <= 1.5x curl's. Everything generated goes to a temporary folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/native}
size_mib=${2:-256}
rounds=${3:-3}
fetch=$build/tools/velqor-fetch/velqor-fetch
md5tool=$build/bench/download/velqor-md5
measure="python3 $root/bench/download/measure.py"
for t in "$fetch" "$md5tool"; do [ -x "$t" ] || { echo "missing $t: build the native preset first" >&2; exit 1; }; done
for t in nginx curl aria2c md5sum; do command -v "$t" >/dev/null || { echo "missing $t (scripts/setup.sh installs it)" >&2; exit 1; }; done

work=$(mktemp -d /tmp/velqor-dlbench.XXXXXX)
chmod 755 "$work"
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

echo "generating a $size_mib MiB package in $work"
head -c $((size_mib * 1048576)) /dev/urandom > "$work/pkg.bin"
md5=$(md5sum "$work/pkg.bin" | cut -c1-32)
mkdir -p "$work/www/$md5" "$work/out"
mv "$work/pkg.bin" "$work/www/$md5/pkg.bin"
chmod -R a+rX "$work/www"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/nginx/logs" "$work/nginx/tmp"
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log warn;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $work/nginx/tmp/body;
  proxy_temp_path $work/nginx/tmp/proxy;
  fastcgi_temp_path $work/nginx/tmp/fastcgi;
  uwsgi_temp_path $work/nginx/tmp/uwsgi;
  scgi_temp_path $work/nginx/tmp/scgi;
  types { application/octet-stream bin; }
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do curl -sfI "http://127.0.0.1:$port/$md5/pkg.bin" >/dev/null 2>&1 && break; sleep 0.1; done
url="http://127.0.0.1:$port/$md5/pkg.bin"
out="$work/out/pkg.bin"

# best_of NAME CMD... -> sets best_time and best_rss (of the fastest run)
best() {
  local name=$1; shift
  best_time=; best_rss=
  for _ in $(seq "$rounds"); do
    rm -f "$out" "$out".part "$out"_0 "$out"_1 "$out".aria2
    read -r t rss rc < <($measure "$@")
    [ "$rc" = 0 ] || { echo "$name failed (exit $rc)" >&2; exit 1; }
    if [ -z "$best_time" ] || python3 -c "import sys; sys.exit(0 if $t < $best_time else 1)"; then
      best_time=$t; best_rss=$rss
    fi
  done
  printf '  %-28s %8.3f s  %8.1f MiB/s  peak %7.1f MiB\n' "$name" "$best_time" \
    "$(python3 -c "print($size_mib / $best_time)")" "$(python3 -c "print($best_rss / 1024)")"
}
check() { [ "$(md5sum "$out" | cut -c1-32)" = "$md5" ] || { echo "wrong download by $1" >&2; exit 1; }; }
ratio() { python3 -c "print('%.3f' % ($1 / $2))"; }

echo "single stream"
best "curl -o" curl -s -o "$out" "$url"; check curl; curl_t=$best_time; curl_rss=$best_rss
best "velqor-fetch --type 1" "$fetch" --type 1 "$url" "$out"; check fetch1; f1_t=$best_time; f1_rss=$best_rss
echo "two ranges"
best "aria2c -x2 -s2" aria2c -q -x2 -s2 --allow-overwrite=true -d "$work/out" -o pkg.bin "$url"; check aria2c
aria_t=$best_time
best "velqor-fetch --type 3" "$fetch" --type 3 "$url" "$out"; check fetch3; f3_t=$best_time; f3_rss=$best_rss
echo "MD5 of the package"
pkg="$work/www/$md5/pkg.bin"
best "md5sum" md5sum "$pkg"; md5sum_t=$best_time
best "velqor-md5 (GetFileMd5)" "$md5tool" "$pkg"; vmd5_t=$best_time

echo
echo "ratios (throughput against the baseline; memory against curl's peak)"
echo "  single stream vs curl:    $(ratio "$curl_t" "$f1_t")   (target >= 0.95)"
echo "  multi-part vs aria2c:     $(ratio "$aria_t" "$f3_t")   (target >= 1.0)"
echo "  GetFileMd5 vs md5sum:     $(ratio "$md5sum_t" "$vmd5_t")   (target >= 0.9)"
echo "  peak memory type 1/curl:  $(ratio "$f1_rss" "$curl_rss")   (target <= 1.5)"
echo "  peak memory type 3/curl:  $(ratio "$f3_rss" "$curl_rss")   (target <= 1.5)"
