#!/usr/bin/env bash
# small-disk.sh KIB COMMAND [ARGS...]: runs COMMAND with a real small disk, a
# tmpfs of KIB KiB mounted on a fresh folder; "@DISK@" in ARGS becomes that
# folder. Exits 77 (a skipped test) where mounting is not allowed, and takes
# the mount and the folder away again whatever COMMAND does.
set -u
kib=$1
shift
disk=$(mktemp -d "${TMPDIR:-/tmp}/vekt_disk.XXXXXX") || exit 1
if ! mount -t tmpfs -o "size=${kib}k" tmpfs "$disk" 2>/dev/null; then
  echo "small-disk.sh: mounting a tmpfs is not allowed here: skipped"
  rmdir "$disk"
  exit 77
fi
cleanup() {
  umount -l "$disk" 2>/dev/null
  rmdir "$disk" 2>/dev/null
}
trap cleanup EXIT
args=()
for a in "$@"; do args+=("${a//@DISK@/$disk}"); done
"${args[@]}"
