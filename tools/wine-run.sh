#!/usr/bin/env bash
# Runs one PE32+ program under wine64 and passes its exit code on.
# Needs WINEPREFIX; creates the prefix on first use and, when no X display is
# set, runs inside its own Xvfb so windows are real.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.vekt-ready" ]; then
    "$WINE" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
    touch "$WINEPREFIX/.vekt-ready"
  fi
) 9>"$WINEPREFIX.lock"

# Output goes through a file: Wine's helper processes (services, the desktop)
# inherit the program's descriptors and would keep a caller's pipe open.
out=$(mktemp)
"$WINE" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
