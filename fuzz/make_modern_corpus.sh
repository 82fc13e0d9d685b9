#!/usr/bin/env bash
# Writes the seed corpora of the WebP, AVIF and JPEG XL fuzz targets (fuzz/corpus/{webp,avif,jxl})
# with libvips from the sample photo: small pictures in the variants each reader takes apart
# (lossy, lossless, alpha, gray, animation, high bit depth, metadata), plus bombs that declare a
# huge canvas in a few bytes. Run it again after changing the variants; the fuzzer adds its own.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v vips >/dev/null || { echo "make_modern_corpus: needs vips (libvips-tools)" >&2; exit 1; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
mkdir -p fuzz/corpus/webp fuzz/corpus/avif fuzz/corpus/jxl

vips thumbnail res/samples/photo.jpg "$tmp/rgb.v" 48 --height 32 --size force
vips colourspace "$tmp/rgb.v" "$tmp/gray.v" b-w
vips bandjoin_const "$tmp/rgb.v" "$tmp/rgba.v" 128

w=fuzz/corpus/webp
vips webpsave "$tmp/rgb.v" $w/lossy.webp --Q 50 --strip
vips webpsave "$tmp/rgb.v" $w/lossless.webp --lossless --strip
vips webpsave "$tmp/rgba.v" $w/alpha-lossy.webp --Q 50 --strip
vips webpsave "$tmp/rgba.v" $w/alpha-lossless.webp --lossless --strip
vips webpsave "$tmp/gray.v" $w/gray.webp --Q 50 --strip
vips webpsave res/samples/badge.gif[n=-1] $w/animated.webp --Q 50
vips webpsave "$tmp/rgb.v" $w/exif.webp --Q 30

a=fuzz/corpus/avif
vips heifsave "$tmp/rgb.v" $a/rgb.avif --compression av1 --Q 30 --strip
vips heifsave "$tmp/rgba.v" $a/alpha.avif --compression av1 --Q 30 --strip
vips heifsave "$tmp/gray.v" $a/gray.avif --compression av1 --Q 30 --strip
vips heifsave "$tmp/rgb.v" $a/lossless-444.avif --compression av1 --lossless --strip
vips heifsave "$tmp/rgb.v" $a/profile.avif --compression av1 --Q 30

j=fuzz/corpus/jxl
vips jxlsave "$tmp/rgb.v" $j/lossy.jxl --distance 3 --strip
vips jxlsave "$tmp/rgb.v" $j/lossless.jxl --lossless --strip
vips jxlsave "$tmp/rgba.v" $j/alpha.jxl --distance 3 --strip
vips jxlsave "$tmp/gray.v" $j/gray.jxl --distance 3 --strip

# Headers that declare 16000 x 16000 pixels over a few hundred bytes of picture data.
python3 - "$w/lossless.webp" "$w/bomb-16000x16000.webp" "$a/rgb.avif" "$a/bomb-16000x16000.avif" <<'PY'
import struct, sys
webp = bytearray(open(sys.argv[1], 'rb').read())
n = 16000 - 1
vp8x = webp.find(b'VP8X')
if vp8x >= 0:
    webp[vp8x + 12:vp8x + 18] = bytes([n & 255, n >> 8 & 255, 0, n & 255, n >> 8 & 255, 0])
vp8l = webp.find(b'VP8L') + 8
bits = struct.unpack('<I', webp[vp8l + 1:vp8l + 5])[0]
bits = (bits & ~((1 << 28) - 1)) | n | n << 14
webp[vp8l + 1:vp8l + 5] = struct.pack('<I', bits)
open(sys.argv[2], 'wb').write(webp)
avif = bytearray(open(sys.argv[3], 'rb').read())
ispe = avif.find(b'ispe') + 8
avif[ispe:ispe + 8] = struct.pack('>II', 16000, 16000)
open(sys.argv[4], 'wb').write(avif)
PY
ls -l $w $a $j
