#!/usr/bin/env bash
# Regenerates the program's own pictures with ImageMagick 6. The committed files are the
# reference; run this only to change the artwork.
#   splash.jpg  640x480 start-up picture
#   about.png   299x155 about-box picture, magenta (255,0,255) where the dialog should show through
#   pelmora.png 32x32 application icon (pelmora-128.png: the same at 128x128 for the desktop)
set -euo pipefail
cd "$(dirname "$0")"
roboto=/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The lens mark: three overlapping rings, used by all three pictures.
lens() { # size colour1 colour2 colour3 output
  local s=$1 r=$(($1 * 28 / 100)) c=$(($1 / 2)) o=$(($1 * 12 / 100)) w=$(($1 / 18 + 1))
  convert -size "${s}x${s}" xc:none -fill none -strokewidth "$w" \
    -stroke "$2" -draw "circle $((c - o)),$((c - o / 2)) $((c - o + r)),$((c - o / 2))" \
    -stroke "$3" -draw "circle $((c + o)),$((c - o / 2)) $((c + o + r)),$((c - o / 2))" \
    -stroke "$4" -draw "circle $c,$((c + o)) $((c + r)),$((c + o))" "$5"
}

# Splash: a dusk gradient, soft light, the lens mark and the product name.
lens 220 '#7fd3ffd8' '#ffb36bd8' '#c58cffd8' "$work/lens-splash.png"
convert -size 640x480 -define gradient:angle=135 gradient:'#0b1d3a-#5a2a6e' \
  \( -size 700x700 radial-gradient:'#ffffff38-#ffffff00' \) -geometry -160-260 -compose over -composite \
  "$work/lens-splash.png" -geometry +56+128 -compose over -composite \
  -fill '#ffffff' -font "$roboto/Roboto-Light.ttf" -pointsize 30 -annotate +300+200 'Korvane' \
  -fill '#ffffff' -font "$roboto/Roboto-Medium.ttf" -pointsize 60 -annotate +296+262 'Pelmora' \
  -fill '#d9d4ee' -font "$roboto/Roboto-Regular.ttf" -pointsize 17 -annotate +300+298 'Image viewer and converter' \
  -fill '#a9a3c8' -font "$roboto/Roboto-Regular.ttf" -pointsize 13 -annotate +300+428 'Version 1.0' \
  -fill '#a9a3c8' -font "$roboto/Roboto-Regular.ttf" -pointsize 13 -annotate +300+448 'Korvane Software Solutions Ltd.' \
  -quality 90 -sampling-factor 2x2 -strip -type TrueColor splash.jpg

# About picture: drawn over the usual dialog grey so that the soft edges blend with it, then that
# exact grey becomes magenta, the colour the picture control leaves transparent.
grey='#efefef'
lens 128 '#2a8fd6' '#f08a24' '#8a4fd1' "$work/lens-about.png"
convert -size 299x155 "xc:$grey" \
  "$work/lens-about.png" -geometry +4+14 -compose over -composite \
  -fill '#1d2a44' -font "$roboto/Roboto-Light.ttf" -pointsize 20 -annotate +138+64 'Korvane' \
  -fill '#1d2a44' -font "$roboto/Roboto-Medium.ttf" -pointsize 38 -annotate +135+104 'Pelmora' \
  -fill '#5a6478' -font "$roboto/Roboto-Regular.ttf" -pointsize 12 -annotate +139+126 'view · convert · animate' \
  -fill magenta -opaque "$grey" -type TrueColor -strip PNG24:about.png

# Icon: the lens mark alone on transparency.
lens 32 '#2a8fd6' '#f08a24' '#8a4fd1' PNG32:pelmora.png
lens 128 '#2a8fd6' '#f08a24' '#8a4fd1' PNG32:pelmora-128.png
