#!/usr/bin/env bash
# Makes docs/screenshots/dialog-*.png from the real dialogs (the main window's
# plain pages come from a real installation: scripts/demo.sh), and every page
# and dialog in English (*-en.png), at 150 % (*-150.png) and both
# (*-150-en.png), shown under Wine on a private Xvfb display (with the
# xcompmgr compositor, so the drop shadows blend) and captured by gui_driver.sh.
# 150 % is Wine's LogPixels=144 in the test prefix, put back to 96 afterwards.
#   tests/ui/make-screenshots.sh [build-dir]      (default build/win64, built already)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/win64}
out="$root/docs/screenshots"
mkdir -p "$out"
# shellcheck source=scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
start_xvfb
export VELQOR_WINEPREFIX=${VELQOR_WINEPREFIX:-$build/wineprefix}
export WINEPREFIX=$VELQOR_WINEPREFIX WINEDEBUG=-all
wine=$("$root/scripts/wine.sh" loader64)
# Where Wine reads the display's DPI from.
dpi_keys=('HKCU\Control Panel\Desktop' 'HKCU\Software\Wine\Fonts' 'HKCC\Software\Fonts')
set_dpi() {
  local k
  # (the registry lives in the wineserver: a program started next sees the value)
  for k in "${dpi_keys[@]}"; do "$wine" reg add "$k" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || true; done
}
trap 'set_dpi 96; stop_xvfb' EXIT
xsetroot -solid '#C9CED8' 2>/dev/null || true  # a neutral desktop behind the shadows
export VELQOR_SHOT_DIR=$out
shoot() {  # shoot DPI SUFFIX [LANGUAGE]
  set_dpi "$1"
  env VELQOR_SHOT_SUFFIX="$2" ${3:+VELQOR_SHOT_LANGUAGE=$3} VELQOR_SHOT_MAIN=$([ -n "$2" ] && echo 1 || echo 0) \
    "$root/tests/ui/gui_driver.sh" wine64 "$build/tests/ui/ui_gui_tests.exe" --gtest_filter='SkinWindows.Screenshots'
}
shoot 96 ""
shoot 96 -en 0
shoot 144 -150
shoot 144 -150-en 0
ls -l "$out"
