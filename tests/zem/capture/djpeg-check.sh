#!/usr/bin/env bash
# djpeg-check.sh FOLDER WIDTH HEIGHT COUNT
# Decodes every JPEG in FOLDER with libjpeg-turbo's djpeg and checks that there
# are COUNT of them, each WIDTH x HEIGHT.
set -u
folder=$1 width=$2 height=$3 count=$4
n=0
for f in "$folder"/*.jpg; do
  [ -e "$f" ] || continue
  header=$(djpeg -ppm "$f" | head -c 32 | tr '\n' ' ' | cut -d' ' -f1-4)
  if [ "$header" != "P6 $width $height 255" ]; then
    echo "djpeg: $f: '$header'"
    exit 1
  fi
  n=$((n + 1))
done
[ "$n" -eq "$count" ] || { echo "expected $count images, found $n"; exit 1; }
echo "djpeg decoded $n images of ${width}x${height}"
