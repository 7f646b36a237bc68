#!/usr/bin/env bash
# check-flame-graph.sh KNOWN_PROFILE ZEM_LIBRARY ZEMDUMP PROBE WORKDIR
# A profile of known proportions, recorded by zem, exported by zemdump in
# speedscope's format, drawn by speedscope itself in headless Chromium: the
# flame chart's bars must stand where the proportions put them. The same file
# damaged (a required field renamed; two weights swapped) must fail the probe,
# so a file speedscope rejects or misreads cannot pass.
set -u
known=$1; zem=$2; zemdump=$3; probe=$4; work=$5
root=$(cd "$(dirname "$0")/../../.." && pwd)
rm -rf "$work" && mkdir -p "$work"

"$known" "$zem" "$work" || { echo "FAIL recording the profile"; exit 1; }
"$zemdump" --speedscope "$work/ids.txt" "$work/cpu.txt" > "$work/profile.json" ||
  { echo "FAIL zemdump --speedscope"; exit 1; }

# One frame: the frame's root, "Frame" under it, then "Render" (25 %) and
# "Update" (75 %) in the tree's order.
rows=("0=0:1" "1=0:1" "2=0:0.25,0.25:1")
draw() { bash "$root/tools/speedscope-picture.sh" "$1" "$2" 1200 600; }

status=0
draw "$work/profile.json" "$work/flame-graph.png" || exit 1
"$probe" "$work/flame-graph.png" "${rows[@]}" || status=1
echo "picture: $work/flame-graph.png"

# The probe must tell a broken export: each damaged copy has to fail.
damage() {  # name, python expression applied to the parsed file `p`
  python3 - "$work/profile.json" "$work/$1.json" "$2" <<'PY'
import json, sys
p = json.load(open(sys.argv[1]))
exec(sys.argv[3])
json.dump(p, open(sys.argv[2], 'w'))
PY
}
damage renamed-field 'p["shared"]["names"] = p["shared"].pop("frames")'
damage swapped-weights 'w = p["profiles"][0]["weights"]; w.reverse()'
for broken in renamed-field swapped-weights; do
  draw "$work/$broken.json" "$work/$broken.png" || continue
  if "$probe" "$work/$broken.png" "${rows[@]}" > "$work/$broken.txt"; then
    echo "FAIL the probe passed a damaged export ($broken)"
    status=1
  else
    echo "OK damaged export refused ($broken)"
  fi
done
exit $status
