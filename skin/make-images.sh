#!/usr/bin/env bash
# Draws every image of the installer skin into skin/res/ (61 PNG files) with
# ImageMagick. One accent colour (#2F6BFF, the product icon's blue), flat light
# backgrounds with a faint gradient, icons drawn at 4x and scaled down so their
# edges are smooth. Run it after changing a colour or a shape and commit the PNGs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
IM=${IM:-convert}
[ -x /usr/bin/convert ] && IM=/usr/bin/convert
out="$here/res"
mkdir -p "$out/common" "$out/MessageBoxWnd" "$out/mainWnd/installBtnAnimate"

ACCENT='#2F6BFF'; ACCENT_HOT='#4A80FF'; ACCENT_DOWN='#2456D6'
INK='#1F2633'; MUTED='#8A93A6'; LINE='#D5DBE7'; PALE='#EAF0FF'

# A thick arc with round ends as a run of filled circles (an MVG string):
# stroke_arc CX CY R HALF-WIDTH FROM-DEG TO-DEG
stroke_arc() {
  awk -v cx="$1" -v cy="$2" -v r="$3" -v w="$4" -v a="$5" -v b="$6" 'BEGIN { pi = atan2(0, -1);
    n = int((b > a ? b - a : a - b) * r / 40) + 8;
    for (k = 0; k <= n; k++) { t = (a + (b - a) * k / n) * pi / 180; x = cx + r * cos(t); y = cy + r * sin(t);
      printf "circle %.2f,%.2f %.2f,%.2f ", x, y, x + w, y } }'
}
# The same along a straight line: stroke_line X0 Y0 X1 Y1 HALF-WIDTH
stroke_line() {
  awk -v x0="$1" -v y0="$2" -v x1="$3" -v y1="$4" -v w="$5" 'BEGIN { n = 24;
    for (k = 0; k <= n; k++) { x = x0 + (x1 - x0) * k / n; y = y0 + (y1 - y0) * k / n;
      printf "circle %.2f,%.2f %.2f,%.2f ", x, y, x + w, y } }'
}

# Drawn 4 times larger, then scaled down: smooth edges on every shape.
big() { # big W H OUT DRAW-ARGS...
  local w=$1 h=$2 o=$3; shift 3
  "$IM" -size $((w * 4))x$((h * 4)) xc:none "$@" -filter Box -resize "${w}x${h}!" -strip "PNG32:$o"
}

# ---- page backgrounds (600 x 400): white to a faint blue, one soft shape each
bg() { # bg OUT SHAPE
  "$IM" -size 600x400 gradient:'#FFFFFF'-'#F1F5FF' \
    \( -size 600x400 xc:none -fill '#2F6BFF0D' -draw "$2" -blur 0x30 \) -compose over -composite \
    -fill '#2F6BFF' -draw 'rectangle 0,0 599,2' -strip "PNG24:$1"
}
bg "$out/mainWnd/bg1.png" 'circle 540,360 540,140'
bg "$out/mainWnd/bg2.png" 'circle 60,380 60,200'
bg "$out/mainWnd/bg3.png" 'circle 300,430 300,230'
bg "$out/mainWnd/bg4.png" 'circle 560,60 560,-140'

# ---- logo (72 x 72): the product mark
big 72 72 "$out/mainWnd/logo.png" \
  -fill "$ACCENT" -draw 'roundrectangle 4,4 283,283 52,52' \
  -fill white -draw 'polygon 64,72 108,72 144,176 180,72 224,72 168,224 120,224'

# ---- big install button (220 x 48): normal, hot, pushed
for s in 1:"$ACCENT" 2:"$ACCENT_HOT" 3:"$ACCENT_DOWN"; do
  big 220 48 "$out/mainWnd/installBtn${s%%:*}.png" -fill "${s#*:}" -draw 'roundrectangle 0,0 879,191 96,96'
done
# ---- "custom install" link button (100 x 28): plain, hot (underline)
big 100 28 "$out/mainWnd/customeBtn1.png" -fill none -draw 'point 0,0'
big 100 28 "$out/mainWnd/customeBtn2.png" -fill "$PALE" -draw 'roundrectangle 0,0 399,111 56,56'
# ---- back button (30 x 30): chevron
for s in 1:"$MUTED" 2:"$ACCENT" 3:"$ACCENT_DOWN"; do
  big 30 30 "$out/mainWnd/backBtn${s%%:*}.png" -fill none -stroke "${s#*:}" -strokewidth 10 \
    -draw 'polyline 68,28 36,60 68,92'
done
# ---- folder button (64 x 32): outlined, hot, pushed
big 64 32 "$out/mainWnd/chDirBtn1.png" -fill white -stroke "$ACCENT" -strokewidth 4 -draw 'roundrectangle 2,2 253,125 16,16'
big 64 32 "$out/mainWnd/chDirBt2.png" -fill "$PALE" -stroke "$ACCENT" -strokewidth 4 -draw 'roundrectangle 2,2 253,125 16,16'
big 64 32 "$out/mainWnd/chDirBt3.png" -fill '#D6E2FF' -stroke "$ACCENT_DOWN" -strokewidth 4 -draw 'roundrectangle 2,2 253,125 16,16'
# ---- check box (16 x 16): off, on
big 16 16 "$out/mainWnd/Cb1.png" -fill white -stroke "$LINE" -strokewidth 5 -draw 'roundrectangle 3,3 60,60 12,12'
big 16 16 "$out/mainWnd/Cb2.png" -fill "$ACCENT" -draw 'roundrectangle 0,0 63,63 14,14' \
  -fill none -stroke white -strokewidth 7 -draw 'polyline 15,33 27,45 49,20'
# ---- folder edit frame (360 x 32), progress back and fore (440 x 8)
big 360 32 "$out/mainWnd/installDirEdit.png" -fill white -stroke "$LINE" -strokewidth 4 -draw 'roundrectangle 2,2 1437,125 16,16'
big 440 8 "$out/mainWnd/installPrg1.png" -fill '#E1E7F3' -draw 'roundrectangle 0,0 1759,31 16,16'
big 440 8 "$out/mainWnd/installPrg2.png" -fill "$ACCENT" -draw 'roundrectangle 0,0 1759,31 16,16'
# ---- hint bubble (200 x 34) pointing up at the terms check box
big 200 34 "$out/mainWnd/tipLbl.png" -fill '#FFF4E5' -stroke '#F5A623' -strokewidth 3 \
  -draw 'roundrectangle 2,26 797,133 20,20' -stroke none -draw 'polygon 40,28 56,4 72,28'
# ---- finished badge (80 x 80): accent circle with a check mark
big 80 80 "$out/mainWnd/finished.png" -fill "$PALE" -draw 'circle 160,160 160,4' \
  -fill "$ACCENT" -draw 'circle 160,160 160,36' \
  -fill none -stroke white -strokewidth 20 -draw 'polyline 104,164 144,204 218,124'

# ---- spinner (72 x 72, 26 frames): a faint ring and an accent arc of 100
# degrees that turns by 360/26 degrees a frame, so frame 25 leads into frame 0.
for i in $(seq 0 25); do
  a=$(awk -v i="$i" 'BEGIN { printf "%.3f", -90 + i * 360 / 26 }')
  b=$(awk -v a="$a" 'BEGIN { printf "%.3f", a + 100 }')
  big 72 72 "$(printf '%s/mainWnd/installBtnAnimate/%03d.png' "$out" "$i")" \
    -fill none -stroke '#E1E7F3' -strokewidth 24 -draw 'circle 144,144 144,28' \
    -stroke none -fill "$ACCENT" -draw "$(stroke_arc 144 144 116 12 "$a" "$b")"
done

# ---- window buttons: close and minimise (30 x 30) for the main window,
# close (24 x 24) for dialogs; normal, hot, pushed
for s in 1:"$MUTED":none 2:"$INK":'#E9EDF5' 3:"$INK":'#DCE2EE'; do
  n=${s%%:*}; rest=${s#*:}; ink=${rest%%:*}; back=${rest#*:}
  big 30 30 "$out/common/closebtn$n.png" -fill "$back" -draw 'roundrectangle 0,0 119,119 12,12' \
    -fill none -stroke "$ink" -strokewidth 7 -draw 'line 42,42 78,78' -draw 'line 78,42 42,78'
  big 30 30 "$out/common/minbtn$n.png" -fill "$back" -draw 'roundrectangle 0,0 119,119 12,12' \
    -fill none -stroke "$ink" -strokewidth 7 -draw 'line 40,62 80,62'
  big 24 24 "$out/common/closebtnM_$n.png" -fill "$back" -draw 'roundrectangle 0,0 95,95 10,10' \
    -fill none -stroke "$ink" -strokewidth 7 -draw 'line 32,32 64,64' -draw 'line 64,32 32,64'
done

# ---- dialog icons (40 x 40): question, warning, network
big 40 40 "$out/MessageBoxWnd/icoQuest.png" -fill "$ACCENT" -draw 'circle 80,80 80,4' \
  -fill white -draw "$(stroke_arc 80 64 20 7 180 405) $(stroke_line 94.14 78.14 80 90 7) $(stroke_line 80 90 80 98 7)" \
  -draw 'circle 80,122 80,113'
big 40 40 "$out/MessageBoxWnd/icoWarn.png" -fill '#F5A623' -draw 'circle 80,80 80,4' \
  -fill white -draw 'roundrectangle 72,36 88,100 8,8' -draw 'circle 80,120 80,110'
big 40 40 "$out/MessageBoxWnd/icoNetwork.png" -fill "$ACCENT" -draw 'circle 80,80 80,4' \
  -fill white -draw "$(stroke_arc 80 118 64 6 225 315) $(stroke_arc 80 118 38 6 225 315)" \
  -draw 'circle 80,114 80,104'
echo "wrote $(find "$out" -name '*.png' | wc -l) images to $out"
