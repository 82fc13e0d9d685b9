#!/usr/bin/env bash
# Regenerates the toolbar images (bitmap 128) with ImageMagick 6: one 16x17 cell per toolbar
# button, in toolbar order: open, save, three zoom-box placeholders (left empty: the box takes
# their place), copy, print, about. The committed toolbar.png is the reference.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cell() { convert -size 16x17 xc:none "$@"; }
ink='#3b3f46'

cell -stroke '#8a6414' -fill '#e8b84a' -draw 'polygon 1,4 6,4 7,6 14,6 14,14 1,14' \
     -fill '#f8d976' -draw 'polygon 1,14 3,8 15,8 13,14' "$work/0.png"
cell -stroke '#1f3d5c' -fill '#3a6ea5' -draw 'rectangle 1,1 14,15' \
     -stroke none -fill '#ffffff' -draw 'rectangle 4,2 11,7' \
     -fill '#cfd4da' -draw 'rectangle 4,10 11,15' -fill '#1f3d5c' -draw 'rectangle 9,11 10,14' "$work/1.png"
cell "$work/2.png"
cell "$work/3.png"
cell "$work/4.png"
cell -stroke "$ink" -fill '#ffffff' -draw 'rectangle 1,1 9,11' -draw 'rectangle 6,5 14,15' \
     -stroke '#8a97a8' -draw 'line 8,8 12,8' -draw 'line 8,10 12,10' -draw 'line 8,12 11,12' "$work/5.png"
cell -stroke "$ink" -fill '#ffffff' -draw 'rectangle 4,1 11,6' \
     -fill '#a7adb5' -draw 'rectangle 1,6 14,12' -fill '#ffffff' -draw 'rectangle 4,10 11,15' \
     -stroke none -fill '#2fb344' -draw 'rectangle 12,8 13,8' "$work/6.png"
cell -stroke '#1d5f99' -fill '#2a8fd6' -draw 'circle 7.5,8.5 7.5,1.5' \
     -stroke none -fill '#ffffff' -draw 'rectangle 7,7 8,12' -draw 'rectangle 7,4 8,5' "$work/7.png"
convert "$work"/{0,1,2,3,4,5,6,7}.png +append -strip PNG32:toolbar.png
