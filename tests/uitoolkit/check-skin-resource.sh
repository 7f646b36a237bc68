#!/usr/bin/env bash
# check-skin-resource.sh EXE ZIP
# The program must hold the skin package as resource type "ZIPRES" (a name),
# identifier 130, with exactly the package's size.
set -u
exe=$1; zip=$2
want=$(stat -c %s "$zip") || exit 1
found=$(objdump -p "$exe" | sed -n '/The .rsrc Resource Directory section/,/^$/p' | awk '
  /^[0-9a-f]+   Entry: / { type = ($0 ~ /: ZIPRES, Value:/); id = 0; next }
  /^[0-9a-f]+     Entry: ID: / { id = type && ($0 ~ /ID: 0x000082,/); next }
  /Leaf: / && id { sub(/.*Size: 0x/, ""); sub(/,.*/, ""); print; exit }')
if [ -z "$found" ]; then
  echo "FAIL $exe has no ZIPRES 130 resource"
  exit 1
fi
if [ $((16#$found)) -ne "$want" ]; then
  echo "FAIL $exe: ZIPRES 130 holds $((16#$found)) bytes, the package has $want"
  exit 1
fi
echo "OK $exe holds ZIPRES 130 ($want bytes)"
