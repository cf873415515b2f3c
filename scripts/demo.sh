#!/usr/bin/env bash
# Demonstrates the installer end to end under Wine, on this machine only:
#
#   scripts/demo.sh [--out DIR] [--interactive]
#
# Builds velqor-setup.exe and the demo package, serves the package from the
# local download server (tools/download-server) and collects the analytics
# records (tools/analytics-collector), writes ZelmoxInstallerConfig.ini beside
# a copy of the installer pointing at both, and runs it. Without --interactive
# (or without a display, in its own Xvfb with a compositor) it clicks through a
# one-click installation with xdotool and saves DIR/main-welcome.png,
# main-custom.png, main-installing.png and main-finished.png (default DIR:
# out/demo). With a display and --interactive the window is left to the person
# at the screen. Either way it prints where the demo product was installed and
# how many analytics records arrived, then stops the servers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/out/demo"; interactive=0
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    --interactive) interactive=1; shift ;;
    *) echo "usage: $0 [--out DIR] [--interactive]" >&2; exit 2 ;;
  esac
done
mkdir -p "$out"; out=$(cd "$out" && pwd)

"$root/scripts/setup.sh"
# The shipped 32-bit build where 32-bit Wine runs (natively or through the
# emulator); elsewhere the same sources built for x64 stand in.
# shellcheck source=scripts/wine.sh
source "$root/scripts/wine.sh"
IFS=$'\t' read -r mode32 why32 < <(wine32_probe)
run=()
case $mode32 in
  native) preset=win32; wine=wine32 ;;
  emulated) preset=win32; wine=wine32; run=("$root/scripts/wine.sh" ns32); export VELQOR_WINE32_MODE=emulated ;;
  *) preset=win64; wine=wine64 ;;
esac
echo "demo: the $preset build ($why32)"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target velqor-setup velqor-demo-package trust-root
build="$root/build/$preset"

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
# A Wine session left in the prefix by an earlier run may be on another display:
# end it. Then the display: the session started below (the trust step's) is the
# one the installer's window is made in.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
if [ -z "${DISPLAY:-}" ] || [ $interactive = 0 ]; then
  interactive=0
  # shellcheck source=scripts/xvfb.sh
  source "$root/scripts/xvfb.sh"
  start_xvfb || { echo "cannot start Xvfb" >&2; exit 1; }
  trap 'stop_xvfb; wineserver -k 2>/dev/null || true' EXIT
fi
"${run[@]}" "$root/scripts/wine-prefix.sh"
# The demo package is signed with the build's throw-away test certificate: the
# installer runs it only when the prefix trusts that certificate's root.
if [ "$wine" = wine32 ]; then trust=("$root/scripts/wine.sh" wine32); else trust=("$("$root/scripts/wine.sh" loader64)"); fi
"${run[@]}" "${trust[@]}" "$build/tools/trust-root/trust-root.exe" "Z:$build/test-signing/root.der" | tr -d '\r' |
  grep -q "root certificate trusted" || { echo "demo: the test root could not be trusted in $WINEPREFIX" >&2; exit 1; }

args=(--exe "$build/velqor-setup.exe" --package "$build/tools/demo-package/velqor-demo-package.exe"
      --wine "$wine" --prefix "$WINEPREFIX" --out "$out")
[ $interactive = 1 ] && args+=(--interactive)
"${run[@]}" python3 "$root/tests/app/e2e/demo.py" "${args[@]}"
