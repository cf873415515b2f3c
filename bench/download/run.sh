#!/usr/bin/env bash
# Download benchmark, run by hand (not in CI; bench/run.sh runs it with the
# other figures):
#   bench/download/run.sh [BUILD_DIR] [SIZE_MIB] [ROUNDS]
# Serves a SIZE_MIB (default 256) MiB package with nginx on 127.0.0.1 (its own
# config in a temporary folder) and times, best of ROUNDS (default 3) runs
# each (the fastest run's time and that run's peak memory):
#   velqor-fetch --type 1 (download + MD5 check)  vs  curl -o and md5sum
#   velqor-fetch --type 3 (download + MD5 check)  vs  aria2c -x2 -s2 and md5sum
#   both with a SHA-256 URL segment               vs  sha256sum
#   peak memory of velqor-fetch                   vs  curl -o
#   both again over a link of LINK_MIB (default 100) MiB/s per connection
#   (nginx's limit_rate)                          vs  curl -o and aria2c -x2 -s2
# md5sum and sha256sum read the package from the page cache, so "download and
# check vs md5sum" says how much the transfer adds to the hash alone. On
# loopback the transfer is faster than MD5 itself (curl -o moves the package
# in less time than md5sum hashes it), so against curl -o the check's own time
# shows; over the limited link, slower than the hash as any real network is,
# the figure says what the check adds to the download.
# Prints one line per figure: value, baseline, ratio, target, PASS/FAIL; the
# per-command table before them unless BENCH_FIGURES_ONLY=1. Exit status 0
# even when a figure fails (1 when a tool or a run fails). Everything
# generated goes to a temporary folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/native}
size_mib=${2:-256}
rounds=${3:-3}
link_mib=${LINK_MIB:-100}
fetch=$build/tools/velqor-fetch/velqor-fetch
md5tool=$build/bench/download/velqor-md5
measure() { /usr/bin/time -f "%e %M %x" -o "$work/time.txt" "$@" >/dev/null 2>&1 || true; cat "$work/time.txt"; }
for t in "$fetch" "$md5tool"; do [ -x "$t" ] || { echo "missing $t: build the native preset first" >&2; exit 1; }; done
for t in nginx curl aria2c md5sum sha256sum; do command -v "$t" >/dev/null || { echo "missing $t (scripts/setup.sh installs it)" >&2; exit 1; }; done

work=$(mktemp -d /tmp/velqor-dlbench.XXXXXX)
chmod 755 "$work"
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

say() { [ "${BENCH_FIGURES_ONLY:-0}" = 1 ] || echo "$@"; }
say "generating a $size_mib MiB package in $work"
head -c $((size_mib * 1048576)) /dev/urandom > "$work/pkg.bin"
md5=$(md5sum "$work/pkg.bin" | cut -c1-32)
sha=$(sha256sum "$work/pkg.bin" | cut -c1-64)
mkdir -p "$work/www/$md5" "$work/www/$sha" "$work/www/plain" "$work/out"
mv "$work/pkg.bin" "$work/www/$md5/pkg.bin"
ln "$work/www/$md5/pkg.bin" "$work/www/$sha/pkg.bin"    # checked by SHA-256
ln "$work/www/$md5/pkg.bin" "$work/www/plain/pkg.bin"  # no digest in the URL: no check
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
    location /link/ {
      alias $work/www/;
      limit_rate ${link_mib}m;
    }
  }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do curl -sfI "http://127.0.0.1:$port/$md5/pkg.bin" >/dev/null 2>&1 && break; sleep 0.1; done
url="http://127.0.0.1:$port/$md5/pkg.bin"
plain="http://127.0.0.1:$port/plain/pkg.bin"
shaurl="http://127.0.0.1:$port/$sha/pkg.bin"
out="$work/out/pkg.bin"

# best_of NAME CMD... -> sets best_time and best_rss (of the fastest run)
best() {
  local name=$1; shift
  best_time=; best_rss=
  for _ in $(seq "$rounds"); do
    rm -f "$out" "$out".part "$out"_0 "$out"_1 "$out".aria2
    read -r t rss rc < <(measure "$@" | tail -n1)
    [ "$rc" = 0 ] || { echo "$name failed (exit $rc)" >&2; exit 1; }
    if [ -z "$best_time" ] || python3 -c "import sys; sys.exit(0 if $t < $best_time else 1)"; then
      best_time=$t; best_rss=$rss
    fi
  done
  [ "${BENCH_FIGURES_ONLY:-0}" = 1 ] && return
  printf '  %-32s %8.3f s  %8.1f MiB/s  peak %7.1f MiB\n' "$name" "$best_time" \
    "$(python3 -c "print($size_mib / $best_time)")" "$(python3 -c "print($best_rss / 1024)")"
}
check() { [ "$(md5sum "$out" | cut -c1-32)" = "$md5" ] || { echo "wrong download by $1" >&2; exit 1; }; }

say "single stream (best of $rounds)"
best "curl -o" curl -s -o "$out" "$url"; check curl; curl_t=$best_time; curl_rss=$best_rss
best "velqor-fetch --type 1" "$fetch" --type 1 "$url" "$out"; check fetch1; f1_t=$best_time; f1_rss=$best_rss
best "  same, URL without MD5" "$fetch" --type 1 "$plain" "$out"; check fetch1p; f1p_t=$best_time
best "  same, SHA-256 URL" "$fetch" --type 1 "$shaurl" "$out"; check fetch1s; f1s_t=$best_time
say "two ranges"
best "aria2c -x2 -s2" aria2c -q -x2 -s2 --allow-overwrite=true -d "$work/out" -o pkg.bin "$url"; check aria2c
aria_t=$best_time
best "velqor-fetch --type 3" "$fetch" --type 3 "$url" "$out"; check fetch3; f3_t=$best_time; f3_rss=$best_rss
best "  same, URL without MD5" "$fetch" --type 3 "$plain" "$out"; check fetch3p; f3p_t=$best_time
best "  same, SHA-256 URL" "$fetch" --type 3 "$shaurl" "$out"; check fetch3s; f3s_t=$best_time
linkurl="http://127.0.0.1:$port/link/$md5/pkg.bin"
say "over a $link_mib MiB/s link per connection"
best "curl -o" curl -s -o "$out" "$linkurl"; check curl-link; curl_l=$best_time
best "velqor-fetch --type 1" "$fetch" --type 1 "$linkurl" "$out"; check fetch1-link; f1_l=$best_time
best "aria2c -x2 -s2" aria2c -q -x2 -s2 --allow-overwrite=true -d "$work/out" -o pkg.bin "$linkurl"; check aria2c-link
aria_l=$best_time
best "velqor-fetch --type 3" "$fetch" --type 3 "$linkurl" "$out"; check fetch3-link; f3_l=$best_time
say "digests of the package (from the page cache)"
pkg="$work/www/$md5/pkg.bin"
best "md5sum" md5sum "$pkg"; md5sum_t=$best_time
best "velqor-md5 (GetFileMd5)" "$md5tool" "$pkg"; vmd5_t=$best_time
best "sha256sum" sha256sum "$pkg"; sha256sum_t=$best_time

# figure NAME VALUE UNIT BASELINE BASEVALUE TARGET: "NAME: VALUE vs BASELINE
# BASEVALUE = Rx (target <= T) PASS|FAIL", R = VALUE / BASEVALUE.
figure() {
  python3 - "$@" <<'PY'
import sys
name, value, unit, base, basevalue, target = sys.argv[1:7]
r = float(value) / float(basevalue)
fmt = (lambda v: "%.3f s" % float(v)) if unit == "s" else (lambda v: "%.1f MiB" % (float(v) / 1024))
print("%s: %s vs %s %s = %.2fx (target <= %sx) %s" % (name, fmt(value), base, fmt(basevalue), r, target,
                                                       "PASS" if r <= float(target) else "FAIL"))
PY
}
say
say "figures ($size_mib MiB package; times are the best of $rounds runs)"
figure "single stream download+check" "$f1_t" s md5sum "$md5sum_t" 1.15
figure "single stream download+check" "$f1_t" s "curl -o" "$curl_t" 1.0
figure "multi-part download+check" "$f3_t" s md5sum "$md5sum_t" 1.15
figure "multi-part download+check" "$f3_t" s "aria2c -x2 -s2" "$aria_t" 1.0
figure "single stream download+check, $link_mib MiB/s link" "$f1_l" s "curl -o" "$curl_l" 1.0
figure "multi-part download+check, $link_mib MiB/s link" "$f3_l" s "aria2c -x2 -s2" "$aria_l" 1.0
figure "single stream download+check, SHA-256 URL" "$f1s_t" s sha256sum "$sha256sum_t" 1.15
figure "multi-part download+check, SHA-256 URL" "$f3s_t" s sha256sum "$sha256sum_t" 1.15
figure "GetFileMd5 alone" "$vmd5_t" s md5sum "$md5sum_t" 1.1
figure "peak memory velqor-fetch --type 1" "$f1_rss" KiB "curl -o" "$curl_rss" 1.2
figure "peak memory velqor-fetch --type 3" "$f3_rss" KiB "curl -o" "$curl_rss" 1.2
