#!/usr/bin/env bash
# Runs a Windows test program under Wine for ctest:  wine-run.sh WINE PROGRAM [ARGS...]
# A program that Wine cannot start may still "exit 0" silently (a 32-bit program
# without wine32 does exactly that), so a run only passes when the program printed
# its GoogleTest summary line.
set -uo pipefail
wine=$1; shift
# Debian installs the 64-bit loader outside PATH.
if [ "$wine" = wine64 ] && ! command -v wine64 >/dev/null 2>&1; then
  if [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64; else wine=wine; fi
fi
here=$(cd "$(dirname "$0")" && pwd)
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
"$wine" "$@" >"$out" 2>&1
rc=$?
cat "$out"
if ! tr -d '\r' < "$out" | grep -qE '^\[  (PASSED|FAILED)  \] [0-9]+ tests?'; then
  echo "wine-run: $(basename "$1") printed no GoogleTest summary line: it did not really run (exit code $rc)" >&2
  exit 1
fi
exit "$rc"
