#!/usr/bin/env bash
# Runs one Windows program under Wine and passes its exit code on: PE32+ under
# wine64, or PE32 under 32-bit Wine when VEKT_WINE_ARCH=win32 (on the road
# tools/wine-env.sh picks). Needs WINEPREFIX; creates the prefix on first use
# and, when no X display is set, runs inside its own Xvfb so windows are real.
# A test given VEKT_EMULATED_SKIP (a reason) is skipped on the emulated road:
# it exits with ctest's skip code.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
. "$(dirname "$0")/wine-env.sh"
vekt_wine_env "${VEKT_WINE_ARCH:-win64}" "$WINEPREFIX" || exit 1

if [ "$WINEARCH" = win32 ]; then
  vekt_wine32_road_said >&2  # stdout stays the program's own
  vekt_emulated_skip "${VEKT_EMULATED_SKIP:-}" && exit $vekt_wine_skip_code
fi

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

vekt_wine_prefix_ready || exit 1

# Output goes through a file: Wine's helper processes (services, the desktop)
# inherit the program's descriptors and would keep a caller's pipe open.
run_once() {
  local out
  out=$(mktemp)
  "$WINELOADER" "$@" >"$out" 2>&1 </dev/null
  rc=$?
  cat "$out"
  rm -f "$out"
}
run_once "$@"
# Under emulation a multi-threaded 32-bit program now and then dies of an
# emulation fault (signal 11, status 139). It gets one more run; a program
# that really crashes crashes again.
if [ $rc -eq 139 ] && vekt_wine32_emulated; then
  echo "wine-run.sh: the program died of signal 11 under emulation; running it once more"
  run_once "$@"
fi
exit $rc
