#!/usr/bin/env bash
# Runs every test of the project on this machine: installs what is missing
# (scripts/setup.sh), builds the presets and runs their tests -- natively, with
# ASan+UBSan, with TSan, and the Windows builds under Wine (win64 under the
# 64-bit loader; win32 under 32-bit Wine, natively where the kernel runs it, else
# through the i386 emulator, else only its static checks: scripts/wine.sh decides).
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

# shellcheck source=scripts/wine.sh
source "$root/scripts/wine.sh"

# One X server for the GUI tests, unless a display is there already.
cleanup() { :; }
if [ -z "${DISPLAY:-}" ]; then
  # shellcheck source=scripts/xvfb.sh
  source "$root/scripts/xvfb.sh"
  start_xvfb || { echo "cannot start Xvfb" >&2; exit 1; }
  cleanup() { stop_xvfb; }
fi
trap 'cleanup' EXIT

# The tests of one preset (ctest arguments after it). Windows tests share one
# prepared prefix and one wineserver, ended at the end.
run_tests() {
  local preset=$1 rc; shift
  if [[ $preset == win* ]] && [ "$*" != "-L static" ]; then
    WINEPREFIX=$VELQOR_WINEPREFIX "$root/scripts/wine-prefix.sh" || return 1
    WINEPREFIX=$VELQOR_WINEPREFIX wineserver -p 2>/dev/null || true
    ctest --preset "$preset" "$@"; rc=$?
    WINEPREFIX=$VELQOR_WINEPREFIX wineserver -k 2>/dev/null || true
    return $rc
  fi
  ctest --preset "$preset" "$@"
}
export -f run_tests
export root

passed=0; failed=0; status=0
for preset in "${presets[@]}"; do
  echo "== $preset: configure and build"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    echo "== $preset: BUILD FAILED"; status=1; failed=$((failed + 1)); continue
  fi
  run=()            # what the tests run inside (the emulator's namespace for win32 there)
  only=()           # which tests (all by default)
  if [ "$preset" = win32 ]; then
    IFS=$'\t' read -r mode32 why32 < <(wine32_probe)
    case $mode32 in
      native) echo "== win32: tests under 32-bit Wine: $why32" ;;
      emulated) echo "== win32: tests under 32-bit Wine: $why32"; run=("$root/scripts/wine.sh" ns32)
        export VELQOR_WINE32_MODE=emulated ;;
      *) echo "== win32: static checks of the shipped velqor-setup.exe only; its programs cannot run here: $why32"
        only=(-L static) ;;
    esac
  fi
  if [[ $preset == win* ]]; then export VELQOR_WINEPREFIX="$root/build/$preset/wineprefix"; fi
  echo "== $preset: tests"
  log="$root/build/$preset/ctest.log"
  "${run[@]}" bash -c 'run_tests "$@"' _ "$preset" "${only[@]}" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" = 0 ] || status=1
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1)
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  nfail=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  if [ -n "$line" ]; then
    passed=$((passed + total - nfail)); failed=$((failed + nfail))
  else
    status=1; failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
exit $status
