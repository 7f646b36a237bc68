#!/usr/bin/env bash
# Render-thread cost of each screenshot step (capture, copy, each slice) for a
# 1920x1080 frame in 4 slices on real Direct3D 9 and 11 devices under Wine.
# Builds the win64 test host and zem.dll, then runs the host's timing mode.
set -eu
cd "$(dirname "$0")/../.."
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target zem_capture_wine_host >/dev/null
out=build/win64/bench-capture
mkdir -p "$out"
WINEPREFIX=$PWD/build/win64/wineprefix bash tools/wine-run.sh \
  build/win64/tests/zem/zem_capture_wine_host.exe build/win64/zem/zem.dll "$PWD/$out" 1920 1080 4 8 |
  grep -E 'first image|median'
