#!/usr/bin/env bash
# Runs the installer under Wine and saves a screenshot of its window.
#
#   scripts/demo.sh [--out DIR] [--interactive]
#
# Without a display (or unless --interactive is given) it starts its own Xvfb
# with a compositor, waits for the window, saves DIR/window.png (default
# out/demo) and closes the installer. With a display and --interactive, the
# window is left to the person at the screen.
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
# The shipped 32-bit build needs wine32; without it the same sources built for x64 stand in.
if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed'; then preset=win32; wine=wine
else preset=win64; wine=/usr/lib/wine/wine64; command -v wine64 >/dev/null && wine=wine64; fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target velqor-setup
exe="$root/build/$preset/velqor-setup.exe"

export WINEPREFIX="$root/build/$preset/wineprefix" WINEDEBUG=-all
"$root/scripts/wine-prefix.sh"

own_display=0
if [ -z "${DISPLAY:-}" ] || [ $interactive = 0 ]; then
  source "$root/scripts/xvfb.sh"
  start_xvfb; own_display=1
  trap 'stop_xvfb; wineserver -k 2>/dev/null || true' EXIT
fi

"$wine" "$exe" &
pid=$!
if [ $own_display = 1 ]; then
  win=$(timeout 60 xdotool search --sync --name '^Velqor$' | head -n1) || { echo "the installer window did not appear" >&2; exit 1; }
  # Give the window its first paint before the picture is taken.
  for _ in $(seq 1 50); do xdotool getwindowgeometry "$win" >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 1
  import -window root "$out/window.png"
  echo "screenshot: $out/window.png"
  xdotool windowclose "$win" 2>/dev/null || xdotool windowkill "$win" 2>/dev/null || true
  wait $pid || true
else
  echo "the installer runs on $DISPLAY; close its window to end the demo"
  wait $pid || true
fi
