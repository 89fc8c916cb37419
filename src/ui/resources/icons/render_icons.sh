#!/usr/bin/env bash
# Renders the icon PNGs compiled into the program from their SVG sources. Run it after changing
# an SVG and commit the PNGs with it (the build does not need rsvg-convert).
set -euo pipefail
cd "$(dirname "$0")"

for size in 48 32 16; do
  rsvg-convert --width "$size" --height "$size" icon_128.svg --output "icon_128_$size.png"
done
rsvg-convert --width 16 --height 16 icon_135.svg --output icon_135_16.png
