#!/usr/bin/env bash
# The main job: installs what it needs, builds the four deliverables (PE32, what
# ships) and the PE32+ test build, then runs a launcher demo under Wine and short
# vexolib and zem demos, printing where everything went.
set -eu
cd "$(dirname "$0")/.."
root=$PWD

bash tools/install-deps.sh
for preset in win32 win64; do
  echo "=== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done

out=$root/build/demo
rm -rf "$out"
mkdir -p "$out/ship"
for f in launcher/vekt_main.exe webtool/Vistrel.exe vexolib/vexolib.dll zem/zem.dll; do
  cp "build/win32/$f" "$out/ship/"
done

export WINEPREFIX=$out/wineprefix
run() { tools/wine-run.sh "$@"; }

for demo in build/win64/tools/*/demo_*.exe; do
  [ -f "$demo" ] || continue
  echo "=== $(basename "$demo" .exe)"
  (cd "$out" && "$root/tools/wine-run.sh" "$root/$demo" "$root/build/win64" "$out") || true
done

# The launcher demo (demo_launcher above) drives vekt_main.exe as the platform
# client and the game manager; its diagnostic log, once:
logdir=$(find "$WINEPREFIX/drive_c/users" -type d -path '*Orbisk_Center/Log' | head -n 1)
echo "=== launcher diagnostic log"
[ -n "$logdir" ] && cat "$logdir"/vekt_main.exe_*.log | tr -d '\r'

echo
echo "=== outputs"
echo "shipped files (PE32):        $out/ship"
for f in "$out"/ship/*; do echo "  $(basename "$f"): $(objdump -f "$f" | grep -o 'file format .*')"; done
echo "launcher diagnostic log:     $logdir"
echo "launcher screenshots:        $out/launcher"
echo "vexolib and zem demo output: $out"
