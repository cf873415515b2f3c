#!/usr/bin/env bash
# Runs a Windows test program under Wine for ctest:  wine-run.sh WINE PROGRAM [ARGS...]
# WINE is wine64 (the 64-bit loader) or wine32 (32-bit Wine, natively or through
# the emulator: scripts/wine.sh decides). A program that Wine cannot start may
# still "exit 0" silently (a 32-bit program without a working wine32 does exactly
# that), so a run only passes when the program printed its GoogleTest summary line.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
winesh="$here/../scripts/wine.sh"
# All 32-bit Wine processes of one run, the wineserver included, must live in the
# same place: inside the emulator's namespace when one is needed. A run that is
# not inside one already gets its own, one at a time per prefix (two namespaces
# must not share a wineserver).
if [ "$1" = wine32 ] && [ -z "${VELQOR_WINE32_NS:-}" ] && [ -z "${VELQOR_WINE_RUN_IN:-}" ]; then
  export VELQOR_WINE_RUN_IN=1 VELQOR_WINE32_MODE=${VELQOR_WINE32_MODE:-$("$winesh" probe32 | cut -f1)}
  if [ "$VELQOR_WINE32_MODE" = emulated ]; then
    prefix=${VELQOR_WINEPREFIX:-$HOME/.cache/velqor-wineprefix}
    mkdir -p "$(dirname "$prefix")"
    exec flock "$prefix.ns.lock" "$winesh" ns32 "$0" "$@"
  fi
fi
case $1 in
  wine64) wine=("$("$winesh" loader64)") || exit 1 ;;
  wine32) wine=("$winesh" wine32) ;;
  *) echo "wine-run: unknown Wine '$1' (wine64 or wine32)" >&2; exit 2 ;;
esac
shift
export WINEPREFIX=${VELQOR_WINEPREFIX:-$HOME/.cache/velqor-wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
"$here/../scripts/wine-prefix.sh" || { echo "wine-run: cannot prepare $WINEPREFIX" >&2; exit 1; }
# Keep one wineserver alive for the whole test run (a no-op when one runs already).
wineserver -p >/dev/null 2>&1 || true
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# To a file, not a pipe: Wine's helper processes (services.exe, explorer.exe ...)
# inherit the output handles and outlive the program, so a pipe would never end.
"${wine[@]}" "$@" >"$out" 2>&1
rc=$?
cat "$out"
# grep reads to the end (no -q): under pipefail, a grep that stopped at the first
# match would end tr with SIGPIPE on a long output and fail the pipeline.
if ! tr -d '\r' < "$out" | grep -E '^\[  (PASSED|FAILED)  \] [0-9]+ tests?' >/dev/null; then
  echo "wine-run: $(basename "$1") printed no GoogleTest summary line: it did not really run (exit code $rc)" >&2
  exit 1
fi
exit "$rc"
