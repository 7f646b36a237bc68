#!/usr/bin/env bash
# speedscope-picture.sh PROFILE.json OUT.png [WIDTH HEIGHT]
# Draws a speedscope file as speedscope itself shows it (time order: the flame
# chart of the profile's samples as they come), in headless Chromium, and saves
# the page as PNG. Offline: speedscope's page and the profile are local files
# and every host name fails to resolve. speedscope comes from build/npm
# (tools/install-deps.sh).
set -eu
profile=$1; out=$2; width=${3:-1200}; height=${4:-600}
root=$(cd "$(dirname "$0")/.." && pwd)
viewer=$root/build/npm/node_modules/speedscope/dist/release/index.html
[ -f "$viewer" ] || { echo "speedscope is not installed: run tools/install-deps.sh" >&2; exit 2; }
command -v chromium >/dev/null || { echo "chromium is not installed: run tools/install-deps.sh" >&2; exit 2; }
[ -f "$profile" ] || { echo "no such profile: $profile" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# speedscope's own way to open a local file: a script that hands it the bytes.
loader=$work/profile.js
{
  printf 'speedscope.loadFileFromBase64(%s, "' "\"$(basename "$profile")\""
  base64 -w 0 "$profile"
  printf '")\n'
} > "$loader"

rm -f "$out"
# WebGL in software (SwiftShader): speedscope draws its flame chart with it.
chromium --headless --no-sandbox --no-first-run --disable-gpu-sandbox \
  --use-angle=swiftshader --enable-unsafe-swiftshader \
  --user-data-dir="$work/profile-dir" --host-resolver-rules="MAP * ~NOTFOUND" \
  --window-size="$width,$height" --virtual-time-budget=10000 --hide-scrollbars \
  --screenshot="$out" "file://$viewer#localProfilePath=$loader" >"$work/chromium.log" 2>&1 || true
if [ ! -s "$out" ]; then
  echo "chromium wrote no picture:" >&2
  tail -n 20 "$work/chromium.log" >&2
  exit 1
fi
