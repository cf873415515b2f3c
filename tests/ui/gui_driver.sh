#!/usr/bin/env bash
# Runs a Windows GUI test program under Wine and carries out its requests for
# real input and screenshots:  gui_driver.sh WINE PROGRAM [ARGS...]  (WINE: wine64 or wine32)
# The program writes "req-N.txt" into $VELQOR_GUI_DRIVER (one line: "click X Y",
# "key KEYS", "type WORD" or "shot FILE X Y W H", screen coordinates) and waits for "done-N".
# Without a display the program skips its GUI tests by itself.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export VELQOR_GUI_DRIVER=$dir
"$root/cmake/wine-run.sh" "$@" &
pid=$!
n=1
while kill -0 "$pid" 2>/dev/null; do
  req="$dir/req-$n.txt"
  if [ -e "$req" ]; then
    read -r cmd a b c d e < "$req" || true
    case $cmd in
      click) xdotool mousemove "$a" "$b" && xdotool click 1 ;;
      move) xdotool mousemove "$a" "$b" ;;
      key) xdotool key "$a" ;;
      type) xdotool type --delay 20 "$a" ;;
      shot) import -window root -crop "${d}x${e}+${b}+${c}" +repage "$a" ;;
      *) echo "gui_driver: unknown request '$cmd'" >&2 ;;
    esac
    touch "$dir/done-$n"
    n=$((n + 1))
    continue
  fi
  sleep 0.05  # polling for the next request file
done
wait "$pid"
