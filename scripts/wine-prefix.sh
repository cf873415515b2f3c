#!/usr/bin/env bash
# Creates (once) and prepares the Wine prefix named by $WINEPREFIX: a 64-bit prefix
# with Wine's own Tahoma copied into its Fonts folder (GDI+ text needs it) and the
# skin's face name "微软雅黑" mapped to WenQuanYi Micro Hei. Safe to call from
# several processes at once: the first one creates, the others wait. Fails, and
# leaves the prefix unmarked, when a step the windows need did not take effect.
# Everything goes through the 64-bit loader: /usr/bin/wine hands every program to
# the 32-bit loader once wine32 is installed, which may not run on this kernel.
# Where 32-bit programs run only through the emulator, call this inside its
# namespace (scripts/wine.sh ns32) so that the prefix gets its 32-bit half too.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must be set}"
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEARCH=win64
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine64=$("$here/wine.sh" loader64)
fail() { echo "wine-prefix: $*" >&2; exit 1; }
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ -e "$WINEPREFIX/.velqor-ready" ]; then exit 0; fi
# wineboot reports the 32-bit half it could not set up (no runnable wine32) as a
# failure while the 64-bit prefix is complete: judged by the files below instead.
"$wine64" wineboot -i >"$WINEPREFIX.boot.log" 2>&1 || true
wineserver -w || true
[ -e "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/drive_c/windows/system32" ] ||
  fail "wineboot did not create $WINEPREFIX (see $WINEPREFIX.boot.log)"
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
cp -f /usr/share/wine/fonts/tahoma*.ttf "$fonts/" || fail "Wine's Tahoma (package fonts-wine) is missing"
cjk=$(fc-match -f '%{file}' 'WenQuanYi Micro Hei' 2>/dev/null || true)
[ -n "$cjk" ] && [ -e "$cjk" ] || fail "the font WenQuanYi Micro Hei (package fonts-wqy-microhei) is missing"
cp -f "$cjk" "$fonts/wqy-microhei.ttc"
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"\xe5\xbe\xae\xe8\xbd\xaf\xe9\x9b\x85\xe9\xbb\x91"="WenQuanYi Micro Hei"\r\n"Microsoft YaHei"="WenQuanYi Micro Hei"\r\n' \
  | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$reg"
"$wine64" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1 ||
  fail "regedit could not import the font replacements"
wineserver -w || true
# The registry as saved by the wineserver: both replacements must be there
# (user.reg writes non-ASCII names as \x escapes).
sect=$(awk '/^\[Software\\\\Wine\\\\Fonts\\\\Replacements\]/{on=1; next} /^\[/{on=0} on' "$WINEPREFIX/user.reg")
grep -qF '"\x5fae\x8f6f\x96c5\x9ed1"="WenQuanYi Micro Hei"' <<<"$sect" &&
  grep -qF '"Microsoft YaHei"="WenQuanYi Micro Hei"' <<<"$sect" ||
  fail "the font replacements for \"微软雅黑\" are not in $WINEPREFIX/user.reg"
touch "$WINEPREFIX/.velqor-ready"
