#!/usr/bin/env bash
# Makes docs/screenshots/dialog-*.png from the real dialogs (the main window's
# pages come from a real installation: scripts/demo.sh), shown under Wine on a private Xvfb display (with the
# xcompmgr compositor, so the drop shadows blend) and captured by gui_driver.sh.
#   tests/ui/make-screenshots.sh [build-dir]      (default build/win64, built already)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/win64}
out="$root/docs/screenshots"
mkdir -p "$out"
# shellcheck source=scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
start_xvfb
trap stop_xvfb EXIT
xsetroot -solid '#C9CED8' 2>/dev/null || true  # a neutral desktop behind the shadows
export VELQOR_WINEPREFIX=${VELQOR_WINEPREFIX:-$build/wineprefix}
export VELQOR_SHOT_DIR=$out
"$root/tests/ui/gui_driver.sh" wine64 "$build/tests/ui/ui_gui_tests.exe" --gtest_filter='SkinWindows.Screenshots'
ls -l "$out"
