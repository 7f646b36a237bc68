#!/usr/bin/env bash
# Runs the emulation probes (tests/wine/emulation: small Win32 programs with
# none of this project's code) on both 32-bit Wine roads and prints a line for
# each: what the native road and the emulated road made of it. A probe that
# passes natively and fails emulated shows that the fault is emulation's.
# Needs a kernel that runs i386 code (for the native road) and a win32 build.
set -u
cd "$(dirname "$0")/.."
root=$PWD
. tools/wine-env.sh
probes=(build/win32/tests/wine/emulation/emulation_probe_*.exe)
[ -f "${probes[0]}" ] || { echo "build the win32 preset first" >&2; exit 1; }
declare -A result
for road in native emulated; do
  export VEKT_WINE32_ROAD=$road
  if ! vekt_wine_session_start win32 "$root/build/emulation-probes/$road/wineprefix" >/dev/null 2>&1; then
    echo "the $road 32-bit Wine session did not start" >&2
    vekt_wine_session_stop
    exit 1
  fi
  for probe in "${probes[@]}"; do
    start=$SECONDS
    # Through a file: Wine's helper processes inherit the program's descriptors.
    timeout 120 "$WINELOADER" "$probe" >"$WINEPREFIX.probe.log" 2>&1 </dev/null
    rc=$?
    out=$(grep -v '^qemu:' "$WINEPREFIX.probe.log" | tail -n 1)
    case $rc in
      0) what="passed" ;;
      124) what="hung (ended after 120 s)" ;;
      *) what="failed, exit code $rc: $out" ;;
    esac
    result[$probe,$road]="$what in $((SECONDS - start)) s"
  done
  vekt_wine_session_stop
done
for probe in "${probes[@]}"; do
  name=$(basename "$probe" .exe)
  echo "${name#emulation_probe_}: native ${result[$probe,native]}; emulated ${result[$probe,emulated]}"
done
