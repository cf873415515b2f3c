#!/usr/bin/env bash
# Runs every test of the project on this machine: installs what is missing
# (scripts/setup.sh), builds the presets and runs their tests -- natively, with
# ASan+UBSan, with TSan, and the Windows builds under Wine (win64 under wine64;
# win32 only where wine32 is installed, since a 32-bit program cannot start
# without it).
#
#   scripts/test.sh                 everything
#   scripts/test.sh native win64    only these presets
# Environment: VELQOR_WERROR=ON turns warnings into errors (CI sets it).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native native-asan native-tsan win64 win32)
[ "${CI:-}" = true ] && export VELQOR_WERROR=${VELQOR_WERROR:-ON}

"$root/scripts/setup.sh" || { echo "setup failed" >&2; exit 1; }

have_wine32() { dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed'; }

# One X server for the GUI tests, unless a display is there already.
cleanup() { :; }
if [ -z "${DISPLAY:-}" ]; then
  # shellcheck source=scripts/xvfb.sh
  source "$root/scripts/xvfb.sh"
  start_xvfb || { echo "cannot start Xvfb" >&2; exit 1; }
  cleanup() { stop_xvfb; }
fi
trap 'cleanup' EXIT

passed=0; failed=0; status=0
for preset in "${presets[@]}"; do
  if [ "$preset" = win32 ] && ! have_wine32; then
    echo "== $preset: build only (wine32 is not installed, its tests cannot run here)"
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" || status=1
    continue
  fi
  echo "== $preset: configure and build"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    echo "== $preset: BUILD FAILED"; status=1; failed=$((failed + 1)); continue
  fi
  if [[ $preset == win* ]]; then
    export VELQOR_WINEPREFIX="$root/build/$preset/wineprefix"
    WINEPREFIX=$VELQOR_WINEPREFIX "$root/scripts/wine-prefix.sh"
    WINEPREFIX=$VELQOR_WINEPREFIX wineserver -p 2>/dev/null || true
  fi
  echo "== $preset: tests"
  log="$root/build/$preset/ctest.log"
  ctest --preset "$preset" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" = 0 ] || status=1
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1)
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  nfail=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  if [ -n "$line" ]; then
    passed=$((passed + total - nfail)); failed=$((failed + nfail))
  else
    status=1; failed=$((failed + 1))
  fi
  if [[ $preset == win* ]]; then WINEPREFIX=$VELQOR_WINEPREFIX wineserver -k 2>/dev/null || true; fi
done
echo "$passed passed, $failed failed"
exit $status
