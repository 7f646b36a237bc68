#!/bin/sh
# The 32-bit wine command of the emulated road: qemu's user-mode emulator runs
# Wine's i386 preloader, which loads Wine's i386 loader.
# Run it as <loader folder>/lib/wine/wine, the folder made by tools/wine-env.sh:
# Wine starts its child processes through the "wine" beside the preloader that
# is running, and qemu names that preloader by its real path, so the preloader
# there is a copy and the "wine" beside it is this script.
# WINELOADERNOEXEC tells the loader it already runs under the preloader, so it
# does not exec the preloader again, which the kernel may not be able to do.
here=$(dirname "$0")
if [ ! -f "$here/wine-preloader-emulated" ]; then
  echo "wine32-loader.sh: run it from the loader folder made by tools/wine-env.sh" >&2
  exit 127
fi
WINELOADERNOEXEC=1 exec /usr/bin/qemu-i386-static "$here/wine-preloader-emulated" /usr/lib/wine/wine "$@"
