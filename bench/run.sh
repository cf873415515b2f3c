#!/usr/bin/env bash
# Every performance figure in one go, run by hand (not in CI):
#   bench/run.sh [BUILD_DIR] [SIZE_MIB] [ROUNDS]
# BUILD_DIR: the native build (default build/native); SIZE_MIB: the download
# benchmark's package (default 256); ROUNDS: runs per timed command, the best
# one counts (default 3). The win32 exe is looked for in build/win32 (or
# $WIN32_BUILD). Prints one line per figure, "name: value vs baseline value =
# ratio (target) PASS|FAIL"; a figure that cannot be measured here says
# "skipped" and why. About 1-2 minutes on 2 cores with the defaults.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
size_mib=${2:-256}
rounds=${3:-3}
win32=${WIN32_BUILD:-$root/build/win32}

# ratio_line NAME VALUE BASE-NAME BASE-VALUE UNIT OP TARGET: OP is <= or >=.
ratio_line() {
  python3 - "$@" <<'PY'
import sys
name, value, base, basevalue, unit, op, target = sys.argv[1:8]
r = float(value) / float(basevalue)
ok = r <= float(target) if op == "<=" else r >= float(target)
print("%s: %s %s vs %s %s %s = %.2fx (target %s %sx) %s" % (name, value, unit, base, basevalue, unit, r, op,
                                                              target, "PASS" if ok else "FAIL"))
PY
}

# The shipped exe.
exe=$win32/velqor-setup.exe
if [ -f "$exe" ]; then
  ratio_line "win32 exe size" "$(stat -c %s "$exe")" "limit" 1500000 bytes "<=" 1.0
  echo "  (scripts/size-report.py ${win32#"$root"/} shows what it is made of)"
else
  echo "win32 exe size: skipped ($exe not built: cmake --preset win32 && cmake --build --preset win32)"
fi

# Downloads, digests and the downloader's memory (its own figure lines).
BENCH_FIGURES_ONLY=1 "$root/bench/download/run.sh" "$build" "$size_mib" "$rounds"

# Analytics: records per second against the target rate, and the growth of
# the peak memory against the JSON text the queue holds.
bench=$build/bench/analytics/analytics_bench
if [ -x "$bench" ]; then
  out=$("$bench")
  rate=$(sed -nE 's/^records built and queued: ([0-9.]+) records\/s.*/\1/p' <<<"$out")
  read -r grown json < <(sed -nE 's/^peak memory growth: ([0-9]+) KiB .* JSON text, ([0-9]+) KiB.*/\1 \2/p' <<<"$out")
  ratio_line "analytics records built and queued" "$rate" "target" 50000 "records/s" ">=" 1.0
  ratio_line "analytics peak memory growth" "$grown" "the queued records' JSON" "$json" KiB "<=" 3.0
else
  echo "analytics: skipped ($bench not built)"
fi

# First paint of the installer window (its own script and line).
paint=$root/bench/first-paint.sh
if [ -x "$paint" ]; then
  "$paint"
else
  echo "first paint: skipped (bench/first-paint.sh not present)"
fi
