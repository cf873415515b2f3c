#!/bin/sh
# Fuzzes one target of the native-fuzz build for SECONDS, niced, one job:
#   tests/fuzz/run.sh TARGET SECONDS [libFuzzer options...]
# TARGET: protocol http_reply staging language archive (tests/fuzz) or markup
# image_string (tests/toolkit). It starts from the seed corpus; new inputs go to
# build/native-fuzz/tests/fuzz/found-TARGET/, a crash or a hang to
# artifacts-TARGET/ beside it (replay: the target's program with the file as
# its argument). The last lines of the log are the run's statistics.
set -eu
[ $# -ge 2 ] || { echo "usage: $0 TARGET SECONDS [libFuzzer options...]" >&2; exit 2; }
target=$1 seconds=$2; shift 2
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${VELQOR_FUZZ_BUILD:-$repo/build/native-fuzz}
out=$build/tests/fuzz
program=$out/fuzz_$target
corpus=$repo/tests/fuzz/corpus/$target
[ -x "$program" ] || program=$build/tests/toolkit/fuzz_$target
[ -x "$program" ] || { echo "no fuzz_$target in $build: cmake --build --preset native-fuzz" >&2; exit 2; }
[ -d "$corpus" ] || corpus=
mkdir -p "$out/found-$target" "$out/artifacts-$target"
cd "$out"
echo "fuzz_$target for ${seconds}s, log $out/fuzz-$target.log"
status=0
# -jobs=1: one fuzzing process whose output goes to the log; -timeout: an input
# that takes longer than 25 s counts as a hang.
nice -n 19 "$program" -jobs=1 -workers=1 -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$out/artifacts-$target/" "$@" "found-$target" ${corpus:+"$corpus"} \
  > "fuzz-$target.log" 2>&1 || status=$?
[ -f fuzz-0.log ] && mv fuzz-0.log "fuzz-$target.job.log"
log=fuzz-$target.job.log
[ -f "$log" ] || log=fuzz-$target.log
grep -E '^#[0-9]+' "$log" | tail -n 1
grep -E '^(stat::|Done |==[0-9]+==ERROR|SUMMARY)' "$log" || true
ls "$out/artifacts-$target" | sed 's/^/artifact: /'
exit $status
