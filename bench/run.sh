#!/usr/bin/env bash
# Builds the optimised benchmark configuration and runs every benchmark program.
set -eu
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench
for b in build/bench/bench/*/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
echo "== screenshot steps under Wine"
bash bench/capture/wine-capture-costs.sh
