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
  # Bounded: on the emulated road a program whose threads contend for locks can
  # hang (tools/emulation-probes.sh); the demo then says so and goes on.
  rc=0
  (cd "$out" && timeout 120 "$root/tools/wine-run.sh" "$root/$demo" "$root/build/win32" "$out") 2>/dev/null || rc=$?
  if [ $rc -eq 124 ]; then
    echo "$(basename "$demo" .exe) did not finish within 120 s and was stopped"
  fi
done

# The profile of the demo's frames as a flame graph: zemdump (PE32, under
# Wine) writes it in speedscope's format; speedscope draws it in headless Chromium.
mkdir -p "$out/zem"
if "$root/tools/wine-run.sh" "$root/build/win32/tools/zemdump/zemdump.exe" --speedscope \
     "$out/zem_ids.txt" "$out/zem_cpu.txt" > "$out/zem/profile.speedscope.json" 2>"$out/zem/zemdump.log" &&
   bash tools/speedscope-picture.sh "$out/zem/profile.speedscope.json" "$out/zem/flame-graph.png"; then
  echo "zemdump: the CPU tree in speedscope's format, drawn by speedscope $(node -p \
    "require('$root/build/npm/node_modules/speedscope/package.json').version") in headless Chromium"
else
  echo "the flame graph was not made (see $out/zem/zemdump.log)"
fi

# The launcher's diagnostic log: vekt_main.exe_<date>.log, or _<date>.log on
# the emulated 32-bit road, whose server cannot read a process's memory for
# its module base name.
logdir=$(find "$WINEPREFIX/drive_c/users" -type d -path '*Orbisk_Center/Log' | head -n 1)

echo
echo "=== pictures"
picture() {
  if [ -s "$out/$1" ]; then
    printf '%-34s %s\n' "$1" "$2"
  else
    printf '%-34s MISSING: %s\n' "$1" "$2"
  fi
}
picture launcher/main-window.png "the launcher's main window; its page area is blank: Wine here has no HTML engine"
picture launcher/message-box.png "the launcher's own message box: the game manager reported a failed download"
picture launcher/download-35.png "the download page at 35 %, with its status text"
picture launcher/download-80.png "the download page at 80 %"
picture vistrel/vistrel-over-owner.png "Vistrel centred over the game's window (its page blank for the same reason)"
picture zem/flame-graph.png "zem's profile of the demo's three frames, drawn by speedscope"
echo
echo "=== files"
echo "pictures:                    $out"
echo "shipped files (PE32):        $out/ship"
echo "launcher diagnostic log:     $logdir"
echo "vexolib and zem demo output: $out"
echo "release package (zip):       ${package##*$'\n'}"
