#!/usr/bin/env bash
# Creates (once) and prepares the Wine prefix named by $WINEPREFIX: a 64-bit prefix
# with Wine's own Tahoma copied into its Fonts folder (GDI+ text needs it) and the
# skin's face name "微软雅黑" mapped to WenQuanYi Micro Hei. Safe to call from
# several processes at once: the first one creates, the others wait.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEARCH=win64
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ -e "$WINEPREFIX/.velqor-ready" ]; then exit 0; fi
wineboot -i >/dev/null 2>&1 || true
wineserver -w || true
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
cp -f /usr/share/wine/fonts/tahoma*.ttf "$fonts/" 2>/dev/null || true
cjk=$(fc-match -f '%{file}' 'WenQuanYi Micro Hei' 2>/dev/null || true)
[ -n "$cjk" ] && [ -e "$cjk" ] && cp -f "$cjk" "$fonts/wqy-microhei.ttc"
reg=$(mktemp --suffix=.reg)
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"\xe5\xbe\xae\xe8\xbd\xaf\xe9\x9b\x85\xe9\xbb\x91"="WenQuanYi Micro Hei"\r\n"Microsoft YaHei"="WenQuanYi Micro Hei"\r\n' \
  | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$reg"
sed -i '1s/^REGEDIT4/Windows Registry Editor Version 5.00/' "$reg" 2>/dev/null || true
wine regedit /S "$reg" >/dev/null 2>&1 || true
rm -f "$reg"
wineserver -w || true
touch "$WINEPREFIX/.velqor-ready"
