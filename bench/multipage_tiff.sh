#!/usr/bin/env bash
# The multipage TIFF builder on 50 pages of 12 megapixels: wall time and peak memory (maximum
# resident set) of pelmora-cli tiff, next to ImageMagick's convert and libtiff's tiffcp on the
# same pages. The builder holds one decoded page at a time, so its peak should stay near one
# page (36 MB of RGB) whatever the number of pages.
# Usage: bench/multipage_tiff.sh [PAGES]    (needs the release build with benchmarks)
set -euo pipefail
cd "$(dirname "$0")/.."
pages=${1:-50}
cli=build-release/pelmora-cli
photo=build-release/bench/photo.jpg
for tool in "$cli" /usr/bin/time convert tiffcp; do
  command -v "$tool" >/dev/null || [ -x "$tool" ] || { echo "multipage_tiff.sh needs $tool" >&2; exit 1; }
done
[ -f "$photo" ] || { echo "no $photo: build with -DPELMORA_BUILD_BENCH=ON first" >&2; exit 1; }
work=$(mktemp -d --tmpdir="$PWD/build-release")
trap 'rm -rf "$work"' EXIT

# The same photo under 50 names as JPEG, and as Deflate TIFFs for tiffcp (which reads TIFF only).
convert "$photo" -compress zip "$work/page.tif"
jpgs=() tifs=()
for i in $(seq -w 1 "$pages"); do
  ln "$photo" "$work/p$i.jpg" 2>/dev/null || cp "$photo" "$work/p$i.jpg"
  ln "$work/page.tif" "$work/p$i.tif"
  jpgs+=("$work/p$i.jpg") tifs+=("$work/p$i.tif")
done

run() { # name command...   (a failing peer is reported, not fatal)
  local name=$1; shift
  if /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err"; then
    read -r secs kb <"$work/time"
    printf '%-38s %8.1f s %6d MB\n' "$name" "$secs" "$((kb / 1024))"
  else
    printf '%-38s failed: %s\n' "$name" "$(grep -v '^Command exited' "$work/err" | head -n 1)"
  fi
}

echo "$pages pages of $(identify -format '%wx%h' "$photo"), wall time and peak memory"
run "pelmora-cli tiff (from JPEG)" "$cli" tiff --out "$work/a.tiff" "${jpgs[@]}"
run "tiffcp -c zip (from TIFF)" tiffcp -c zip "${tifs[@]}" "$work/b.tiff"
run "tiffcp (from TIFF, no recompression)" tiffcp "${tifs[@]}" "$work/c.tiff"
# ImageMagick holds every page at once (8 bytes a pixel); Debian's policy caps its pixel cache
# at 1 GiB of disk, so it is also timed on the first 10 pages, next to ours.
run "convert -compress zip (from JPEG)" convert "${jpgs[@]}" -compress zip "$work/d.tiff"
run "pelmora-cli tiff, 10 pages" "$cli" tiff --out "$work/e.tiff" "${jpgs[@]:0:10}"
run "convert -compress zip, 10 pages" convert "${jpgs[@]:0:10}" -compress zip "$work/f.tiff"
run "pelmora-cli tiff, 1 page" "$cli" tiff --out "$work/g.tiff" "${jpgs[0]}"
for f in "$work"/?.tiff; do
  printf '%s: %d pages, %d MB\n' "$(basename "$f")" "$(tiffinfo "$f" 2>/dev/null | grep -c 'Image Width')" \
    "$(($(stat -c %s "$f") / 1048576))"
done
