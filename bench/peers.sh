#!/usr/bin/env bash
# Times the codec's kernels (bench/codec_bench, Google Benchmark) and the peer tools on the same
# 12-megapixel files, and prints how many times faster or slower the peers are.
# Peers: djpeg and cjpeg (libjpeg-turbo's own programs) and ImageMagick's convert.
# Their times include process start-up and reading and writing files; ours are in memory.
# Usage: bench/peers.sh          (PELMORA_JOBS=N limits the build's parallel jobs)
set -euo pipefail
cd "$(dirname "$0")/.."
# The whole-command peers are not needed to build or test, so they are installed here only.
missing=()
for pkg in graphicsmagick libvips-tools; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
for tool in hyperfine djpeg cjpeg convert gm vips python3; do
  command -v "$tool" >/dev/null || { echo "peers.sh needs $tool (scripts/setup installs it)" >&2; exit 1; }
done
PELMORA_CMAKE_ARGS="-DPELMORA_BUILD_BENCH=ON ${PELMORA_CMAKE_ARGS:-}" scripts/build release
bench=build-release/bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bench/codec_bench" --benchmark_out="$work/ours.json" --benchmark_out_format=json
"$bench/ops_bench"

jpg=$bench/photo.jpg png=$bench/photo.png ppm=$bench/photo.ppm
hyperfine --warmup 1 --min-runs 3 --export-json "$work/peers.json" \
  -n "djpeg" "djpeg -ppm -outfile $work/a.ppm $jpg" \
  -n "cjpeg -quality 90" "cjpeg -quality 90 -sample 1x1 -outfile $work/a.jpg $ppm" \
  -n "convert jpg->ppm" "convert $jpg $work/b.ppm" \
  -n "convert ppm->jpg" "convert $ppm -quality 90 $work/b.jpg" \
  -n "convert png->ppm" "convert $png $work/c.ppm" \
  -n "convert ppm->png" "convert $ppm $work/c.png"

# Whole commands, file to file, each process started afresh: what a person at a shell compares.
cli=build-release/pelmora-cli
hyperfine --warmup 1 --min-runs 3 --export-json "$work/whole.json" \
  -n "pelmora jpg->png" "$cli convert -q $jpg $work/p1.png" \
  -n "convert jpg->png" "convert $jpg $work/i1.png" \
  -n "gm jpg->png" "gm convert $jpg $work/g1.png" \
  -n "vips jpg->png" "vips copy $jpg $work/v1.png" \
  -n "pelmora png->jpg" "$cli convert -q $png $work/p2.jpg" \
  -n "convert png->jpg" "convert $png -quality 90 -sampling-factor 1x1 $work/i2.jpg" \
  -n "gm png->jpg" "gm convert $png -quality 90 -sampling-factor 1x1 $work/g2.jpg" \
  -n "vips png->jpg" "vips copy $png $work/v2.jpg[Q=90,no_subsample]" \
  -n "pelmora 800w nearest" "$cli convert -q $jpg $work/p3.jpg --width 800" \
  -n "convert 800w -sample" "convert $jpg -sample 800x -quality 90 -sampling-factor 1x1 $work/i3.jpg" \
  -n "gm 800w -sample" "gm convert $jpg -sample 800x -quality 90 -sampling-factor 1x1 $work/g3.jpg" \
  -n "vips 800w nearest" "vips resize $jpg $work/v3.jpg[Q=90,no_subsample] 0.2 --kernel nearest" \
  -n "pelmora gif 8bpp" "$cli convert -q $jpg $work/p4.gif" \
  -n "convert gif" "convert $jpg $work/i4.gif" \
  -n "gm gif" "gm convert $jpg $work/g4.gif"

python3 - "$work/whole.json" <<'PY'
import json, sys
rows = {r["command"]: (r["mean"] * 1000, (r["user"] + r["system"]) * 1000) for r in json.load(open(sys.argv[1]))["results"]}
print()
print(f"{'whole command':<24}{'wall ms':>9}{'cpu ms':>9}   vs pelmora (wall, cpu)")
def task(name):
    return name.split(" ", 2)[1]  # "jpg->png", "800w", "gif", ...
for name, (w, c) in rows.items():
    base = next(n for n in rows if n.startswith("pelmora") and task(n) == task(name))
    bw, bc = rows[base]
    print(f"{name:<24}{w:9.1f}{c:9.1f}   {w / bw:6.2f}x {c / bc:6.2f}x")
PY

python3 - "$work/ours.json" "$work/peers.json" <<'PY'
import json, sys
# Wall-clock and CPU time: on a busy machine the CPU figures are the steadier comparison.
ours = {b["name"].split("/")[0]: (b["real_time"], b["cpu_time"]) for b in json.load(open(sys.argv[1]))["benchmarks"]}
peers = {r["command"]: (r["mean"] * 1000, (r["user"] + r["system"]) * 1000)
         for r in json.load(open(sys.argv[2]))["results"]}
pairs = [
    ("JpegDecode", "djpeg"), ("JpegDecode", "convert jpg->ppm"),
    ("JpegEncode", "cjpeg -quality 90"), ("JpegEncode", "convert ppm->jpg"),
    ("PngDecode", "convert png->ppm"), ("PngEncode", "convert ppm->png"),
]
print()
print(f"{'ours':<11}{'wall ms':>9}{'cpu ms':>9}   {'peer':<19}{'wall ms':>9}{'cpu ms':>9}   peer/ours wall   cpu")
for mine, peer in pairs:
    if mine in ours and peer in peers:
        (ow, oc), (pw, pc) = ours[mine], peers[peer]
        print(f"{mine:<11}{ow:9.1f}{oc:9.1f}   {peer:<19}{pw:9.1f}{pc:9.1f}   {pw / ow:10.2f}x {pc / oc:6.2f}x")
print("\n(peer times include process start-up and file I/O; ours are decode/encode in memory)")
PY
