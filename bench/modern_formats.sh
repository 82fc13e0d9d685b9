#!/usr/bin/env bash
# Times writing one photo as WebP, AVIF and JPEG XL with pelmora-cli against libvips and
# ImageMagick, each at its own default settings, whole commands file to file, and prints each
# output's size and its PSNR against the photo (ImageMagick's compare).
# Usage: bench/modern_formats.sh [PHOTO.jpg]   (default: a 2560 x 1600 photo from the Plasma
# wallpapers; PELMORA_CLI=path picks a built pelmora-cli instead of building a release)
set -euo pipefail
cd "$(dirname "$0")/.."
photo="${1:-/usr/share/wallpapers/BytheWater/contents/images/2560x1600.jpg}"
for tool in hyperfine vips convert compare; do
  command -v "$tool" >/dev/null || { echo "modern_formats.sh needs $tool" >&2; exit 1; }
done
cli="${PELMORA_CLI:-}"
if [ -z "$cli" ]; then
  scripts/build release >/dev/null
  cli=build-release/pelmora-cli
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$photo" "$work/photo.jpg"
cd "$work"

run() { # NAME OUTPUT COMMAND...
  local name=$1 out=$2; shift 2
  hyperfine --warmup 1 --min-runs 3 --style none --export-json t.json "$*" >/dev/null 2>&1 || { printf '%-34s failed\n' "$name"; return; }
  local mean; mean=$(python3 -c 'import json; print("%.2f" % json.load(open("t.json"))["results"][0]["mean"])')
  # libvips decodes for the comparison: ImageMagick 6 reads no JPEG XL, and its AVIF reading
  # of large pictures was off here (14 dB for every writer's file).
  vips copy "$out" "$out.png" 2>/dev/null
  local psnr; psnr=$(compare -metric PSNR photo.jpg "$out.png" null: 2>&1 || true)
  printf '%-34s %6s s %9d bytes  PSNR %s dB\n' "$name" "$mean" "$(stat -c %s "$out")" "$psnr"
}

echo "$(identify -format '%wx%h' photo.jpg) $(basename "$photo")"
run "pelmora-cli convert -> webp" a.webp "$OLDPWD/$cli" convert photo.jpg a.webp -q
run "vips copy -> webp (Q 75)" b.webp vips copy photo.jpg b.webp
run "convert -> webp (quality 75)" c.webp convert photo.jpg c.webp
run "pelmora-cli convert -> avif" a.avif "$OLDPWD/$cli" convert photo.jpg a.avif -q
run "vips copy -> avif (Q 50)" b.avif vips copy photo.jpg "b.avif[compression=av1]"
run "convert -> avif" c.avif convert photo.jpg c.avif
run "pelmora-cli convert -> jxl" a.jxl "$OLDPWD/$cli" convert photo.jpg a.jxl -q
run "vips copy -> jxl (distance 1)" b.jxl vips copy photo.jpg b.jxl
