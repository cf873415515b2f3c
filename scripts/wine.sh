#!/usr/bin/env bash
# How this machine runs Windows programs under Wine: the one place that decides
# it, used by setup, the tests, the demo and the ctest runner.
#
#   scripts/wine.sh loader64          the 64-bit Wine loader (never /usr/bin/wine:
#                                     with wine32 installed that script hands
#                                     everything to the 32-bit loader)
#   scripts/wine.sh probe32           "MODE<TAB>REASON": how 32-bit programs run here
#   scripts/wine.sh wine32 PROG ARGS  runs a 32-bit Windows program (or any Wine
#                                     command) with 32-bit Wine
#   scripts/wine.sh ns32 CMD ARGS     runs CMD where 32-bit Wine works (all of
#                                     CMD's Wine processes share one wineserver)
#
# MODE is decided by really running the 32-bit loader, never by what is installed:
#   native    wine32 is installed and the kernel runs it
#   emulated  wine32 is installed, the kernel refuses 32-bit programs ("Exec
#             format error"), and the i386 user-mode emulator (qemu-i386 from
#             ../shared/tools, or $VELQOR_QEMU_I386) runs it instead, registered
#             for i386 ELF files in a private binfmt_misc of its own user, mount
#             and pid namespace: nothing outside that namespace changes, and every
#             process started in it is ended by pid when CMD ends
#   none      32-bit programs cannot run here (REASON says why)
# VELQOR_WINE32=native|emulated|none asks for a mode (emulated is possible on a
# machine that also runs 32-bit programs natively: used to measure that road);
# a mode that is not possible here falls back to the probe's answer.
#
# Sourced, it defines wine_loader64 and wine32_probe as functions (wine32_run and
# wine32_ns replace the calling shell: use them as commands).

wine_sh_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine32_loader=/usr/lib/wine/wine

wine_loader64() {
  if [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64
  elif command -v wine64 >/dev/null 2>&1; then command -v wine64
  else return 1; fi
}

wine32_qemu() {
  local q=${VELQOR_QEMU_I386:-$wine_sh_root/../shared/tools/qemu-i386}
  [ -f "$q" ] && [ -x "$q" ] || return 1
  (cd "$(dirname "$q")" && echo "$(pwd)/$(basename "$q")")
}

# Runs "$@" inside a fresh user+mount+pid namespace with qemu-i386 registered
# for i386 ELF files there. A SIGTERM or SIGINT to this process is passed on to
# the namespace's first process, which ends the command and then every process
# of the namespace; if this process is killed outright, the kernel ends the
# namespace (unshare gets SIGKILL when its parent dies, its child when it dies).
wine32_enter_ns() {
  local qemu ns rc
  qemu=$(wine32_qemu) || { echo "wine.sh: no qemu-i386 emulator" >&2; return 126; }
  VELQOR_QEMU_I386=$qemu setpriv --pdeathsig KILL \
    unshare --user --map-root-user --mount --pid --fork --mount-proc --kill-child \
    bash "$wine_sh_root/scripts/wine.sh" _inside "$@" &
  ns=$!
  # unshare itself ignores SIGTERM and SIGINT: they go to its child.
  trap 'pkill -TERM -P "$ns" 2>/dev/null' TERM INT HUP
  while :; do
    wait "$ns"; rc=$?
    kill -0 "$ns" 2>/dev/null || break
  done
  trap - TERM INT HUP
  return "$rc"
}

# PID 1 of the namespace: register the emulator, run the command, then end
# every process still alive in the namespace (wineserver, services.exe, ...).
wine32_inside() {
  local bf
  bf=$(mktemp -d) || return 126
  mount -t binfmt_misc none "$bf" || { echo "wine.sh: cannot mount binfmt_misc" >&2; return 126; }
  # i386 ELF executables (e_ident class 32, little endian; e_machine 3); the
  # F flag opens the emulator now, so it is found in any mount namespace.
  printf '%s' ':velqor-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$VELQOR_QEMU_I386"':F' \
    > "$bf/register" || { echo "wine.sh: cannot register qemu-i386 with binfmt_misc" >&2; return 126; }
  export VELQOR_WINE32_NS=1
  "$@" &
  local child=$! rc
  # A stop from outside (ctest's time-out sends SIGTERM) goes on to the command.
  trap 'kill -TERM "$child" 2>/dev/null' TERM INT
  while :; do
    wait "$child"; rc=$?
    kill -0 "$child" 2>/dev/null || break
  done
  trap - TERM INT
  # The Wine processes outlive the command: the wineserver is asked to end them
  # and to save the prefix's registry, then whatever is left ends by pid.
  [ -n "${WINEPREFIX:-}" ] && timeout 30 wineserver -k >/dev/null 2>&1
  local sig i
  for sig in TERM KILL; do
    wine32_ns_kill "$sig" || break
    for i in $(seq 1 50); do
      wine32_ns_live || break
      sleep 0.1  # giving the processes ended above time to exit
    done
  done
  umount "$bf" 2>/dev/null; rmdir "$bf" 2>/dev/null
  return "$rc"
}

# Signals every live process of the namespace but this one; false when none was left.
wine32_ns_kill() {
  local p any=1
  for p in /proc/[0-9]*; do
    p=${p#/proc/}
    [ "$p" = $$ ] || ! wine32_ns_alive "$p" || { kill -"$1" "$p" 2>/dev/null; any=0; }
  done
  return $any
}
wine32_ns_live() {
  local p
  for p in /proc/[0-9]*; do p=${p#/proc/}; [ "$p" = $$ ] || ! wine32_ns_alive "$p" || return 0; done
  return 1
}
# Not a zombie (this shell reaps its orphans when it gets to it).
wine32_ns_alive() {
  local stat
  read -r stat < "/proc/$1/stat" 2>/dev/null || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}

# "MODE<TAB>REASON"
wine32_probe() {
  local want=${VELQOR_WINE32:-} out why
  if [ ! -e "$wine32_loader" ]; then
    if [ -e "${VELQOR_DEPS_CACHE:-$HOME/.cache/velqor-deps}/.wine32-refused" ]; then
      why="wine32:i386 is not installed (apt refused it on this machine)"
    else
      why="wine32:i386 is not installed"
    fi
    printf 'none\t%s\n' "$why"; return
  fi
  if [ "$want" = none ]; then printf 'none\t%s\n' "VELQOR_WINE32=none asks for no 32-bit runs"; return; fi
  out=$(timeout 60 "$wine32_loader" --version 2>&1)
  local native_ok=0
  grep -q '^wine-' <<<"$out" && native_ok=1
  if [ $native_ok = 1 ] && [ "$want" != emulated ]; then
    printf 'native\t%s\n' "the kernel runs wine32 ($(head -n1 <<<"$out"))"; return
  fi
  if [ $native_ok = 1 ]; then
    why="VELQOR_WINE32=emulated asks for the emulator"
  else
    why="the kernel refuses the 32-bit Wine loader ($(tr '\n' ' ' <<<"$out" | sed 's/ *$//' | cut -c1-120))"
  fi
  if ! wine32_qemu >/dev/null; then
    printf 'none\t%s, and there is no qemu-i386 emulator\n' "$why"; return
  fi
  out=$(VELQOR_WINE32_MODE=emulated timeout 120 bash "$wine_sh_root/scripts/wine.sh" ns32 "$wine32_loader" --version 2>&1)
  if grep -q '^wine-' <<<"$out"; then
    printf 'emulated\t%s; it runs through qemu-i386 in a private namespace\n' "$why"
  else
    printf 'none\t%s, and the emulator did not run it either (%s)\n' "$why" "$(tr '\n' ' ' <<<"$out" | cut -c1-120)"
  fi
}

wine32_mode() { wine32_probe | cut -f1; }

# Becomes "$@" where 32-bit Wine works: as it is when the kernel runs 32-bit
# programs or when this is already inside the emulator's namespace, else inside
# a new namespace. Replaces the calling process, so that ending it ends the program.
wine32_ns() {
  if [ -n "${VELQOR_WINE32_NS:-}" ]; then exec "$@"; fi
  case ${VELQOR_WINE32_MODE:-$(wine32_mode)} in
    native) exec "$@" ;;
    emulated) VELQOR_WINE32_MODE=emulated wine32_enter_ns "$@"; exit ;;
    *) echo "wine.sh: 32-bit Windows programs cannot run here: $(wine32_probe | cut -f2)" >&2; return 126 ;;
  esac
}

wine32_run() { wine32_ns "$wine32_loader" "$@"; }

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  cmd=${1:-}; shift || true
  case $cmd in
    loader64) wine_loader64 || { echo "wine.sh: the 64-bit Wine loader is not installed" >&2; exit 1; } ;;
    probe32) wine32_probe ;;
    wine32) wine32_run "$@" ;;
    ns32) wine32_ns "$@" ;;
    _inside) wine32_inside "$@" ;;
    *) sed -n '2,/^$/s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
  esac
fi
