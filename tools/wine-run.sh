#!/usr/bin/env bash
# Runs one Windows program under Wine and passes its exit code on: PE32+ under
# wine64, or PE32 under 32-bit Wine emulated by qemu when VEKT_WINE_ARCH=win32.
# Needs WINEPREFIX; creates the prefix on first use and, when no X display is
# set, runs inside its own Xvfb so windows are real.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
. "$(dirname "$0")/wine-env.sh"
vekt_wine_env "${VEKT_WINE_ARCH:-win64}" "$WINEPREFIX" || exit 1

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

vekt_wine_prefix_ready || exit 1

# Output goes through a file: Wine's helper processes (services, the desktop)
# inherit the program's descriptors and would keep a caller's pipe open.
out=$(mktemp)
"$WINELOADER" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
