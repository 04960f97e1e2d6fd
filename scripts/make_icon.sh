#!/usr/bin/env bash
# Draws the program icon (resource 3): a striped wasp body with two wings, at 32x32 and 16x16,
# into src/resources/vespa.ico. Run it again after changing the drawing and commit the .ico.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/src/resources/vespa.ico"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Drawn at 128x128 and scaled down, so the small sizes come out smooth.
convert -size 128x128 xc:none \
  -fill '#BFE3FF' -stroke '#3A6EA5' -strokewidth 3 \
  -draw 'ellipse 44,38 26,16 0,360' -draw 'ellipse 84,38 26,16 0,360' \
  -fill '#FFC81E' -stroke '#1A1A1A' -strokewidth 4 \
  -draw 'ellipse 64,78 30,42 0,360' \
  -stroke none -fill '#1A1A1A' \
  -draw 'rectangle 36,62 92,72' -draw 'rectangle 38,84 90,94' -draw 'rectangle 48,104 80,112' \
  -fill '#1A1A1A' -draw 'circle 64,30 64,44' \
  "$work/big.png"

convert "$work/big.png" -resize 32x32 "$work/32.png"
convert "$work/big.png" -resize 16x16 "$work/16.png"
convert "$work/32.png" "$work/16.png" "$out"
echo "wrote $out"
