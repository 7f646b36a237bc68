#!/usr/bin/env bash
# fetch-debian-source.sh SOURCE_PACKAGE DEST_DIR
# Unpacks Debian's source package (with Debian's patches applied) into DEST_DIR
# once; prints the unpacked folder. Needs a deb-src entry (tools/install-deps.sh).
set -eu
pkg=$1
dest=$2
mkdir -p "$dest"
cd "$dest"
found=$(find . -maxdepth 1 -type d -name "${pkg}-*" | head -n 1)
if [ -z "$found" ]; then
  apt-get source -qq "$pkg" >/dev/null 2>&1 || { echo "apt-get source $pkg failed" >&2; exit 1; }
  found=$(find . -maxdepth 1 -type d -name "${pkg}-*" | head -n 1)
fi
[ -n "$found" ] || { echo "no unpacked source for $pkg" >&2; exit 1; }
cd "$found" && pwd
