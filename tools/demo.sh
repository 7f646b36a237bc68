#!/usr/bin/env bash
# The main job: installs what it needs, builds the four deliverables (PE32, what
# ships) and runs the shipped files themselves: a launcher demo and short vexolib
# and zem demos under 32-bit Wine (on the road tools/wine-env.sh picks), printing
# where everything went.
set -eu
cd "$(dirname "$0")/.."
root=$PWD

bash tools/install-deps.sh
echo "=== building win32"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)" >/dev/null

out=$root/build/demo
rm -rf "$out"
mkdir -p "$out/ship"
for f in launcher/vekt_main.exe webtool/Vistrel.exe vexolib/vexolib.dll zem/zem.dll; do
  cp "build/win32/$f" "$out/ship/"
done
# The release package for game teams; it checks itself and ends with the zip's path.
if ! package=$(bash tools/package.sh build/win32 "$out/package" 2>&1); then
  echo "$package" >&2
  exit 1
fi

. tools/wine-env.sh
echo "=== starting 32-bit Wine"
vekt_wine32_road_said
# Tested, not left to set -e: the session start's own steps may fail on the way
# (a server that is not there yet to stop) and it reports its result itself.
if ! vekt_wine_session_start win32 "$out/wineprefix"; then
  echo "the 32-bit Wine session did not start" >&2
  exit 1
fi
trap vekt_wine_session_stop EXIT
export VEKT_WINE_ARCH=win32

for demo in build/win32/tools/*/demo_*.exe; do
  [ -f "$demo" ] || continue
  echo "=== $(basename "$demo" .exe) (a PE32 host driving the shipped files of build/win32 under 32-bit Wine)"
  # Bounded: on the emulated road a program whose threads contend for locks can
  # hang (tools/emulation-probes.sh); the demo then says so and goes on.
  rc=0
  (cd "$out" && timeout 120 "$root/tools/wine-run.sh" "$root/$demo" "$root/build/win32" "$out") || rc=$?
  if [ $rc -eq 124 ]; then
    echo "$(basename "$demo" .exe) did not finish within 120 s and was stopped"
  fi
done

# The launcher demo (demo_launcher above) drives vekt_main.exe as the platform
# client and the game manager; its diagnostic log, once:
logdir=$(find "$WINEPREFIX/drive_c/users" -type d -path '*Orbisk_Center/Log' | head -n 1)
echo "=== launcher diagnostic log"
# Named vekt_main.exe_<date>.log, or _<date>.log on the emulated 32-bit road,
# whose server cannot read a process's memory for its module base name.
[ -n "$logdir" ] && cat "$logdir"/*.log | tr -d '\r'

echo
echo "=== outputs"
echo "shipped files (PE32):        $out/ship"
for f in "$out"/ship/*; do echo "  $(basename "$f"): $(objdump -f "$f" | grep -o 'file format .*')"; done
echo "launcher diagnostic log:     $logdir"
echo "launcher screenshots:        $out/launcher"
echo "vexolib and zem demo output: $out"
echo "release package (zip):       ${package##*$'\n'}"
