#!/usr/bin/env bash
# Runs a Windows test program under Wine for ctest:  wine-run.sh WINE PROGRAM [ARGS...]
# A program that Wine cannot start may still "exit 0" silently (a 32-bit program
# without wine32 does exactly that), so a run only passes when the program printed
# its GoogleTest summary line.
set -uo pipefail
wine=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${VELQOR_WINEPREFIX:-$HOME/.cache/velqor-wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
"$here/../scripts/wine-prefix.sh" || { echo "wine-run: cannot prepare $WINEPREFIX" >&2; exit 1; }
# Keep one wineserver alive for the whole test run (a no-op when one runs already).
wineserver -p >/dev/null 2>&1 || true
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$wine" "$@" 2>&1 | tee "$out"
rc=${PIPESTATUS[0]}
if ! tr -d '\r' < "$out" | grep -qE '^\[  (PASSED|FAILED)  \] [0-9]+ tests?'; then
  echo "wine-run: $(basename "$1") printed no GoogleTest summary line: it did not really run (exit code $rc)" >&2
  exit 1
fi
exit "$rc"
