#!/usr/bin/env bash
# Draws the program's icon with ImageMagick: a brick texture tile squeezed by four arrows.
# Writes quorvel.png (32 x 32, 256-colour palette) and quorvel.ico beside this script. The
# committed files are its output; rerun it only to change the picture.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 32x32 xc:none \
    -fill '#b0563a' -draw 'rectangle 6,6 25,25' \
    -stroke '#e6dccb' -strokewidth 1 \
    -draw 'line 6,10 25,10' -draw 'line 6,15 25,15' -draw 'line 6,20 25,20' \
    -draw 'line 12,6 12,9' -draw 'line 20,6 20,9' \
    -draw 'line 8,11 8,14' -draw 'line 16,11 16,14' -draw 'line 24,11 24,14' \
    -draw 'line 12,16 12,19' -draw 'line 20,16 20,19' \
    -draw 'line 8,21 8,25' -draw 'line 16,21 16,25' -draw 'line 24,21 24,25' \
    -stroke '#202020' -fill none -draw 'rectangle 6,6 25,25' \
    -stroke '#101010' -fill '#ffd23c' \
    -draw 'polygon 0,10 5,16 0,22' -draw 'polygon 31,10 26,16 31,22' \
    -draw 'polygon 10,0 16,5 22,0' -draw 'polygon 10,31 16,26 22,31' \
    -colors 256 -define png:color-type=3 PNG8:quorvel.png
convert quorvel.png -type Palette quorvel.ico
