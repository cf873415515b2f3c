#!/usr/bin/env bash
# Draws the product icon (a blue rounded square with a white "V" chevron) and
# writes app/velqor.ico with 16, 24, 32, 48 and 256-pixel images. Needs ImageMagick.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
  -fill '#2F6BFF' -draw 'roundrectangle 8,8 247,247 48,48' \
  \( -size 256x256 gradient:'#FFFFFF30'-'#FFFFFF00' \) -compose over -composite \
  -fill white -draw 'polygon 58,64 100,64 128,152 156,64 198,64 148,196 108,196' \
  -fill '#9CC0FF' -draw 'polygon 108,196 148,196 138,226 118,226' \
  "$tmp/256.png"
for s in 16 24 32 48; do convert "$tmp/256.png" -resize ${s}x${s} "$tmp/$s.png"; done
convert "$tmp/16.png" "$tmp/24.png" "$tmp/32.png" "$tmp/48.png" "$tmp/256.png" "$here/velqor.ico"
