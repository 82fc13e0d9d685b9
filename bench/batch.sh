#!/usr/bin/env bash
# Times a whole batch run: `pelmora-cli batch` (one file at a time and --jobs 2) next to
# ImageMagick (mogrify -sample and -resize), GraphicsMagick (gm mogrify -sample) and vipsthumbnail,
# on the same photo-like JPEGs, each turned into PNG with the longer side at 800 pixels.
# One run per tool; prints wall time, CPU time (user + system, the steadier figure on a shared
# machine), their ratios to pelmora --jobs 1, and the peak resident memory.
# Usage: bench/batch.sh [COUNT]   (COUNT photos, default 40; BENCH_PHOTOS=DIR keeps them between runs;
# BENCH_BASELINE=PATH also times another pelmora-cli, say an earlier build, in the same run)
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-40}"

# The peers are not needed to build or test, so they are installed here only.
missing=()
for pkg in graphicsmagick libvips-tools imagemagick time; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release ${PELMORA_CMAKE_ARGS:-} >/dev/null
cmake --build build-release --target pelmora-cli -j "${PELMORA_JOBS:-$(nproc)}" >/dev/null
cli=$PWD/build-release/pelmora-cli

# Photo-like test pictures of 10 to 20 megapixels: two plasma fractals with grain, cropped and
# rolled into differently sized variants, saved at quality 90.
photos="${BENCH_PHOTOS:-/tmp/pelmora-bench-photos}"
mkdir -p "$photos"
if [ "$(ls "$photos"/*.jpg 2>/dev/null | wc -l)" -lt "$count" ]; then
  echo "making $count photos in $photos ..." >&2
  for seed in 1 2; do
    [ -f "$photos/base$seed.miff" ] || convert -seed "$seed" -size 5472x3648 plasma:fractal -blur 0x1 \
      -attenuate 0.4 +noise Gaussian "$photos/base$seed.miff"
  done
  sizes=(3648x2736 4000x3000 4608x3072 5184x3456 5472x3648 3000x4000 4240x2832 4928x3264)
  for ((i = 0; i < count; i++)); do
    size=${sizes[$((i % ${#sizes[@]}))]}
    w=${size%x*} h=${size#*x}
    base="$photos/base$((i % 2 + 1)).miff"
    if [ "$w" -lt "$h" ]; then rot=(-rotate 90); geo="${h}x${w}"; else rot=(); geo="$size"; fi
    convert "$base" -roll "+$((i * 397))+$((i * 211))" -crop "$geo+0+0" +repage "${rot[@]}" -quality 90 \
      "$photos/photo$(printf %02d "$i").jpg"
  done
fi
inputs=()
for ((i = 0; i < count; i++)); do inputs+=("$photos/photo$(printf %02d "$i").jpg"); done
megapixels=$(identify -format '%w %h\n' "${inputs[@]}" | awk '{ s += $1 * $2 } END { printf "%.0f", s / 1e6 }')

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
results="$work/results"
: >"$results"

# run NAME COMMAND...: one run in a fresh output folder, wall seconds and peak RSS (kB) recorded.
run() {
  local name=$1; shift
  rm -rf "$work/out" && mkdir -p "$work/out"
  sync
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  local outputs
  outputs=$(find "$work/out" -type f | wc -l)
  [ "$outputs" -eq "$count" ] || { echo "$name wrote $outputs files, not $count" >&2; exit 1; }
  local bytes
  bytes=$(find "$work/out" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  echo "$name|$(cat "$work/time") $bytes" >>"$results"
  echo "$name: $(cat "$work/time") (wall s, user s, system s, peak kB)" >&2
}

run "pelmora-cli batch --jobs 1" "$cli" batch -q --jobs 1 --to png --max-side 800 --out "$work/out" "${inputs[@]}"
if [ -n "${BENCH_BASELINE:-}" ]; then
  run "baseline batch --jobs 1" "$BENCH_BASELINE" batch -q --jobs 1 --to png --max-side 800 --out "$work/out" "${inputs[@]}"
fi
run "pelmora-cli batch --jobs 2" "$cli" batch -q --jobs 2 --to png --max-side 800 --out "$work/out" "${inputs[@]}"
run "mogrify -sample" mogrify -path "$work/out" -format png -sample 800x800 "${inputs[@]}"
run "mogrify -resize" mogrify -path "$work/out" -format png -resize 800x800 "${inputs[@]}"
# gm mogrify puts an input's whole path below its output directory: give it names relative to it.
names=("${inputs[@]#"$photos"/}")
run "gm mogrify -sample" bash -c 'cd "$1" && shift && exec gm mogrify "$@"' gm "$photos" -output-directory "$work/out" \
  -format png -sample 800x800 "${names[@]}"
run "vipsthumbnail" vipsthumbnail -s 800 -o "$work/out/%s.png" "${inputs[@]}"

echo
echo "$count JPEGs, $megapixels megapixels in all -> PNG, longer side 800 ($(nproc) cores)"
awk -F'|' '
  { split($2, t, " "); name[NR] = $1; wall[NR] = t[1]; cpu[NR] = t[2] + t[3]; kb[NR] = t[4]; out[NR] = t[5] }
  END {
    printf "%-28s %8s %8s %8s %8s %8s %8s\n", "tool", "wall s", "/pel-j1", "cpu s", "/pel-j1", "peak MB", "out MB"
    for (i = 1; i <= NR; i++)
      printf "%-28s %8.2f %7.2fx %8.2f %7.2fx %8.0f %8.1f\n", name[i], wall[i], wall[i] / wall[1], cpu[i], cpu[i] / cpu[1],
        kb[i] / 1024, out[i] / 1e6
  }' "$results"
