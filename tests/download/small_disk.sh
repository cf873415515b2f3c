#!/usr/bin/env bash
# Runs a Windows test program with a nearly full drive:
#   VELQOR_WINEPREFIX=PREFIX small_disk.sh CMD [ARGS...]
# CMD runs in a mount namespace of its own (unshare: nothing outside it
# changes) where a 1 MiB tmpfs is mounted and mapped as drive T:
# (VELQOR_SMALL_DISK=T:\). The prefix is seen through an overlay inside the
# namespace, so that the run has a wineserver of its own, which sees the mount,
# and leaves the prefix itself untouched.
# Exits 77 (ctest: skipped) where no namespace, tmpfs or overlay can be made.
set -uo pipefail
if [ "${1:-}" != --inside ]; then
  if ! err=$(unshare --map-root-user --mount true 2>&1); then
    echo "small_disk: cannot make a mount namespace here: $err" >&2
    exit 77
  fi
  work=$(mktemp -d /tmp/vq-small-disk.XXXXXX) || exit 1
  trap 'rm -rf "$work"' EXIT
  unshare --map-root-user --mount "$0" --inside "$work" "$@"
  exit $?
fi
shift
work=$1
shift
mkdir -p "$work/disk"
if ! mount -t tmpfs -o size=1m tmpfs "$work/disk" 2>"$work/mount.err"; then
  echo "small_disk: cannot mount a tmpfs here: $(cat "$work/mount.err")" >&2
  exit 77
fi
[ -n "${VELQOR_WINEPREFIX:-}" ] || { echo "small_disk: VELQOR_WINEPREFIX is not set" >&2; exit 2; }
mkdir -p "$work/upper" "$work/overlay-work" "$work/prefix"
if ! mount -t overlay overlay -o "lowerdir=$VELQOR_WINEPREFIX,upperdir=$work/upper,workdir=$work/overlay-work" \
    "$work/prefix" 2>"$work/mount.err"; then
  echo "small_disk: cannot overlay the Wine prefix here: $(cat "$work/mount.err")" >&2
  exit 77
fi
export VELQOR_WINEPREFIX=$work/prefix VELQOR_SMALL_DISK='T:\'
ln -sfn "$work/disk" "$work/prefix/dosdevices/t:"
"$@"
rc=$?
# The namespace's wineserver ends before its mounts go.
WINEPREFIX=$work/prefix wineserver -k >/dev/null 2>&1
WINEPREFIX=$work/prefix wineserver -w >/dev/null 2>&1
exit $rc
