#!/usr/bin/env bash
# The whole table in one go: pelmora-cli against the tools people would pick instead, and against
# the floor (bench/floor.cpp: the same work by the format libraries alone), on 40 photographs of
# 10 to 24 megapixels made from the Debian wallpapers' photos.
#   T1 JPEG -> PNG, longer side 800        T2 JPEG -> JPEG, longer side 1024
#   T3 PNG -> TIFF (Deflate), no resize    T4 20 GIF frames -> one animated GIF
#   T5 20 TIFF pages -> one multi-page TIFF
#   T6 40 photos -> encrypted copies       T7 one 20-megapixel JPEG -> PNG (single convert)
# Runs are interleaved (each round runs every tool once, in a rotating order), so load from
# elsewhere falls on all tools alike; each figure is the median of the rounds. Peak memory is
# GNU time's maximum resident set; output size is the total bytes a run wrote. The T1/T2 outputs
# of pelmora-cli and the floor are checked against the maximum-side rule on every round.
# Usage: bench/whole_run.sh [--runs N] [--tasks T1,T2,...] [--md FILE]
#   --runs N    rounds (default 5)     --tasks    a subset (default all)
#   --md FILE   also write the table as markdown (default bench/results/latest.md)
# BENCH_PHOTOS=DIR keeps the photos and derived inputs between runs (default /tmp/pelmora-whole-run).
# PELMORA_JOBS=N limits the build's parallel jobs. Run after scripts/test has built the project.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=5 tasks="T1,T2,T3,T4,T5,T6,T7" md=bench/results/latest.md
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --tasks) tasks=$2; shift 2 ;;
    --md) md=$2; shift 2 ;;
    *) echo "usage: bench/whole_run.sh [--runs N] [--tasks T1,T2,...] [--md FILE]" >&2; exit 2 ;;
  esac
done
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "--runs wants a positive number" >&2; exit 2; }

# The peers and the wallpapers are not needed to build or test, so they are installed here only.
missing=()
for pkg in imagemagick graphicsmagick libvips-tools gifsicle libtiff-tools openssl gnupg time python3 \
  plasma-workspace-wallpapers; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_BENCH=ON ${PELMORA_CMAKE_ARGS:-} >/dev/null
cmake --build build-release --target pelmora-cli floor -j "${PELMORA_JOBS:-$(nproc)}" >/dev/null
cli=$PWD/build-release/pelmora-cli floor=$PWD/build-release/bench/floor
cores=$(nproc)

# ---- inputs -------------------------------------------------------------------------------------
# The photographs among the wallpapers (the others are rendered art), at their largest. Each gives
# four variants: scaled up to 10-24 megapixels, cropped from another side, some mirrored or
# turned upright, with a little grain as a camera's sensor leaves, saved at quality 90.
photos="${BENCH_PHOTOS:-/tmp/pelmora-whole-run}"
scenes=(BytheWater ColdRipple ColorfulCups DarkestHour EveningGlow FallenLeaf Grey OneStandsOut Path summer_1am)
sizes=(3872x2592 4000x3000 4608x3072 4896x3264 5184x3456 5472x3648 5760x3840 6000x4000)
gravities=(center northwest southeast northeast)
mkdir -p "$photos"/png "$photos"/gif "$photos"/tif
photo() { printf '%s/photo%02d.jpg' "$photos" "$1"; }
for ((i = 0; i < 40; i++)); do
  [ -f "$(photo $i)" ] && continue
  echo "making photo $((i + 1)) of 40 in $photos ..." >&2
  scene=${scenes[$((i % 10))]}
  src=$(ls -S /usr/share/wallpapers/"$scene"/contents/images/*.jpg | head -n 1)
  size=${sizes[$((i % 8))]} variant=$((i / 10))
  extra=()
  [ $((variant % 2)) -eq 1 ] && extra+=(-flop)
  [ $((i % 5)) -eq 4 ] && extra+=(-rotate 90)
  nice convert "$src" -filter Lanczos -resize "$size^" -gravity "${gravities[$variant]}" -extent "$size" +repage \
    "${extra[@]}" -attenuate 0.3 +noise Gaussian -quality 90 "$(photo $i).tmp.jpg"
  mv "$(photo $i).tmp.jpg" "$(photo $i)"
done
jpgs=() pngs=() gifs=() tifs=()
for ((i = 0; i < 40; i++)); do jpgs+=("$(photo $i)"); done
# T3: the first ten photos (one of each scene) as PNG; T4: 20 GIF frames of 800 pixels;
# T5: 20 Deflate TIFF pages of 2000 pixels (tiffcp reads TIFF only, so every tool gets these).
derive() { # OUTPUT COMMAND... (@TMP in the command: a temporary name renamed to OUTPUT when complete)
  local output=$1; shift
  [ -f "$output" ] && return
  local tmp="${output%.*}.tmp.${output##*.}"
  nice "${@/#@TMP/$tmp}" && mv "$tmp" "$output"
}
for ((i = 0; i < 20; i++)); do
  name=$(printf 'photo%02d' $i) src=$(photo $i)
  if [ $i -lt 10 ]; then
    derive "$photos/png/$name.png" vips copy "$src" '@TMP[compression=6]'
    pngs+=("$photos/png/$name.png")
  fi
  derive "$photos/gif/$name.gif" convert "$src" -resize 800x800 @TMP
  derive "$photos/tif/$name.tif" convert "$src" -resize 2000x2000 \
    -compress zip -define tiff:predictor=2 @TMP
  gifs+=("$photos/gif/$name.gif") tifs+=("$photos/tif/$name.tif")
done
t7=$(photo 5) # 5472 x 3648
printf 'correct horse battery staple\n' >"$photos/password"
chmod 600 "$photos/password"
identify -ping -format '%t %w %h\n' "${jpgs[@]}" >"$photos/dims"
megapixels=$(awk '{ s += $2 * $3 } END { printf "%.0f", s / 1e6 }' "$photos/dims")
inbytes() { du -cbL "$@" | tail -n 1 | cut -f1; }

# ---- the tools ----------------------------------------------------------------------------------
# Each tool is TASK|NAME|FILES IT WRITES|COMMAND (a bash command with $out the empty output folder).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/gnupg" && chmod 700 "$work/gnupg"
names=("${jpgs[@]#"$photos"/}") pngnames=("${pngs[@]#"$photos"/png/}")
q() { printf '%q ' "$@"; }
J=$(q "${jpgs[@]}") P=$(q "${pngs[@]}") G=$(q "${gifs[@]}") T=$(q "${tifs[@]}") N=$(q "${names[@]}")
PN=$(q "${pngnames[@]}") pw=$(q "$photos/password") ph=$(q "$photos") pp=$(q "$photos/png")
tools=(
  "T1|pelmora-cli batch|40|$(q "$cli") batch -q --to png --max-side 800 --out \$out $J"
  "T1|floor (libjpeg-turbo + libpng)|40|$(q "$floor") png 800 \$out $cores $J"
  "T1|mogrify -sample|40|mogrify -path \$out -format png -sample 800x800 $J"
  "T1|mogrify -resize|40|mogrify -path \$out -format png -resize 800x800 $J"
  "T1|gm mogrify -sample|40|cd $ph && gm mogrify -output-directory \$out -format png -sample 800x800 $N"
  "T1|vipsthumbnail|40|vipsthumbnail -s 800 -o \$out/%s.png $J"
  "T2|pelmora-cli batch|40|$(q "$cli") batch -q --to jpg --max-side 1024 --out \$out $J"
  "T2|floor (libjpeg-turbo)|40|$(q "$floor") jpg 1024 \$out $cores $J"
  "T2|mogrify -sample|40|mogrify -path \$out -format jpg -quality 90 -sample 1024x1024 $J"
  "T2|mogrify -resize|40|mogrify -path \$out -format jpg -quality 90 -resize 1024x1024 $J"
  "T2|gm mogrify -sample|40|cd $ph && gm mogrify -output-directory \$out -format jpg -quality 90 -sample 1024x1024 $N"
  "T2|vipsthumbnail|40|vipsthumbnail -s 1024 -o \"\$out/%s.jpg[Q=90]\" $J"
  "T3|pelmora-cli batch|10|$(q "$cli") batch -q --to tiff --out \$out $P"
  "T3|vips copy|10|for f in $P; do n=\${f##*/}; vips copy \$f \"\$out/\${n%.png}.tif[compression=deflate,predictor=horizontal]\" || exit; done"
  "T3|mogrify|10|mogrify -path \$out -format tif -compress zip -define tiff:predictor=2 $P"
  "T3|gm mogrify|10|cd $pp && gm mogrify -output-directory \$out -format tif -compress zip -define tiff:predictor=2 $PN"
  "T4|pelmora-cli gif-animate|1|$(q "$cli") gif-animate -q --out \$out/anim.gif --delay 22 $G"
  "T4|gifsicle|1|gifsicle --loopcount=forever --delay 22 $G -o \$out/anim.gif"
  "T4|convert|1|convert -delay 22 -loop 0 $G \$out/anim.gif"
  "T5|pelmora-cli tiff|1|$(q "$cli") tiff -q --out \$out/pages.tiff $T"
  "T5|tiffcp|1|tiffcp $T \$out/pages.tif"
  "T5|convert|1|convert $T -compress zip -define tiff:predictor=2 \$out/pages.tif"
  "T6|pelmora-cli encrypt|40|$(q "$cli") encrypt -q --password-file $pw --out \$out $J"
  "T6|openssl enc -pbkdf2|40|for f in $J; do openssl enc -aes-256-cbc -pbkdf2 -pass file:$pw -in \$f -out \$out/\${f##*/}.enc || exit; done"
  "T6|gpg --symmetric|40|for f in $J; do GNUPGHOME=$(q "$work/gnupg") gpg --batch --yes --quiet --pinentry-mode loopback --symmetric --passphrase-file $pw -o \$out/\${f##*/}.gpg \$f || exit; done"
  "T7|pelmora-cli convert|1|$(q "$cli") convert -q $(q "$t7") \$out/photo.png"
  "T7|floor (libjpeg-turbo + libpng)|1|$(q "$floor") png 0 \$out 1 $(q "$t7")"
  "T7|vips copy|1|vips copy $(q "$t7") \"\$out/photo.png[compression=6,filter=248]\""
)

# The maximum-side rule (batch/batch_convert.cpp, FitLongerSide), in double precision truncated
# toward zero: every T1/T2 output of ours and of the floor must have exactly that size.
check_sizes() { # DIR SIDE
  identify -ping -format '%t %w %h\n' "$1"/* | awk -v side="$2" '
    NR == FNR { w[$1] = $2; h[$1] = $3; next }
    {
      W = w[$1]; H = h[$1]
      if (W > H) { ew = side; eh = int(H / (W / side)) } else { ew = int(W / (H / side)); eh = side }
      if ($2 != ew || $3 != eh) { printf "%s is %dx%d; the rule asks %dx%d for %dx%d\n", $1, $2, $3, ew, eh, W, H; bad = 1 }
      n++
    }
    END { exit bad || n == 0 }' "$photos/dims" -
}

results="$work/results"
: >"$results"
measure() { # TASK NAME FILES COMMAND ROUND
  local task=$1 name=$2 want=$3 cmd=$4 round=$5
  local out="$work/out"
  rm -rf "$out" && mkdir -p "$out"
  sync
  if ! out=$out /usr/bin/time -f "%e %U %S %M" -o "$work/time" bash -c "out=\"\$1\"; $cmd" bash "$out" \
    >/dev/null 2>"$work/err"; then
    echo "FAILED: $task $name" >&2; cat "$work/err" >&2; exit 1
  fi
  local files bytes
  files=$(find "$out" -type f | wc -l)
  bytes=$(find "$out" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  [ "$files" -eq "$want" ] || { echo "FAILED: $task $name wrote $files files, not $want" >&2; exit 1; }
  if [[ ("$task" == T1 || "$task" == T2) && ("$name" == pelmora* || "$name" == floor*) ]]; then
    local side=800; [ "$task" == T2 ] && side=1024
    check_sizes "$out" "$side" >&2 || { echo "FAILED: $task $name: outputs not at the maximum-side size" >&2; exit 1; }
  fi
  read -r wall user sys kb <"$work/time"
  echo "$task|$name|$round|$wall|$user|$sys|$kb|$bytes" >>"$results"
  awk -v t="$task" -v n="$name" -v w="$wall" -v u="$user" -v s="$sys" -v k="$kb" -v b="$bytes" \
    'BEGIN { printf "  %-3s %-32s %7.2f s %7.2f s cpu %6d MB %8.2f MB out\n", t, n, w, u + s, k / 1024, b / 1e6 }' >&2
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u +%H:%M)
echo "whole run: $runs rounds of $tasks; 40 photos, $megapixels megapixels; $cores cores; load $load_before" >&2
# The table from the runs so far (written after each task, so a cut-short run still leaves one).
table() { # ROUNDS
  python3 - "$results" "$1" "$megapixels" "$cores" "$load_before" "$(cut -d' ' -f1-3 /proc/loadavg)" "$started" \
    "$(git rev-parse --short HEAD)" "$(inbytes "${jpgs[@]}")" "$(inbytes "${pngs[@]}")" <<'PY'
import statistics, sys
from collections import OrderedDict
path, runs, mp, cores, lb, la, started, commit, jbytes, pbytes = sys.argv[1:]
rows = OrderedDict()
for line in open(path):
    task, name, _, wall, user, sys_, kb, size = line.strip().split("|")
    r = rows.setdefault((task, name), {"wall": [], "cpu": [], "kb": [], "bytes": []})
    r["wall"].append(float(wall)); r["cpu"].append(float(user) + float(sys_))
    r["kb"].append(int(kb)); r["bytes"].append(int(size))
what = {
    "T1": "40 JPEG photos -> PNG, longer side 800", "T2": "40 JPEG photos -> JPEG (q 90), longer side 1024",
    "T3": "10 PNG photos -> Deflate TIFF, no resize", "T4": "20 GIF frames (800 px) -> one animated GIF",
    "T5": "20 Deflate TIFF pages (2000 px) -> one multi-page TIFF", "T6": "40 JPEG photos -> encrypted copies",
    "T7": "one 20-megapixel JPEG -> PNG",
}
# The issue's goals: pelmora's time at most this fraction of the tool's.
goals = {("T1", "vipsthumbnail"): 0.5, ("T1", "floor (libjpeg-turbo + libpng)"): 1.3, ("T2", "vipsthumbnail"): 0.5,
         ("T3", "vips copy"): 0.7, ("T4", "gifsicle"): 1.0, ("T5", "tiffcp"): 1.0, ("T6", "openssl enc -pbkdf2"): 0.5,
         ("T7", "vips copy"): 0.35}
print(f"# Whole run ({started} UTC, commit {commit})\n")
print(f"{runs} interleaved rounds, medians; 40 photos of {mp} megapixels in all ({int(jbytes) / 1e6:.0f} MB), "
      f"PNGs for T3 {int(pbytes) / 1e6:.0f} MB; {cores} cores shared with other work "
      f"(load average {lb} before, {la} after), so wall times are noisy: CPU time (user + system) is the "
      f"steadier figure. pelmora/x is pelmora-cli's median wall (and CPU) time over x's.\n")
print("| task | tool | wall s | cpu s | pelmora/x wall | pelmora/x cpu | goal | peak MB | output MB |")
print("|---|---|---:|---:|---:|---:|---:|---:|---:|")
for task in ["T1", "T2", "T3", "T4", "T5", "T6", "T7"]:
    group = [(n, r) for (t, n), r in rows.items() if t == task]
    if not group:
        continue
    ours = next(r for n, r in group if n.startswith("pelmora"))
    ow, oc = statistics.median(ours["wall"]), statistics.median(ours["cpu"])
    for i, (name, r) in enumerate(group):
        w, c = statistics.median(r["wall"]), statistics.median(r["cpu"])
        ratio = "" if r is ours else f"{ow / w:.2f}x"
        cratio = "" if r is ours else f"{oc / c:.2f}x"
        label = f"{task}: {what[task]}" if i == 0 else ""
        goal = f"<= {goals[task, name]}x" if (task, name) in goals else ""
        print(f"| {label} | {name} | {w:.2f} | {c:.2f} | {ratio} | {cratio} | {goal} | {max(r['kb']) / 1024:.0f} | "
              f"{r['bytes'][-1] / 1e6:.2f} |")
PY
}
mkdir -p "$(dirname "$md")"
selected=()
for t in "${tools[@]}"; do [[ ",$tasks," == *",${t%%|*},"* ]] && selected+=("$t"); done
for ((r = 1; r <= runs; r++)); do
  echo "round $r of $runs" >&2
  for task in T1 T2 T3 T4 T5 T6 T7; do
    group=()
    for t in "${selected[@]}"; do [ "${t%%|*}" == "$task" ] && group+=("$t"); done
    n=${#group[@]}
    for ((k = 0; k < n; k++)); do # a rotating start, so no tool always runs first
      IFS='|' read -r tk name want cmd <<<"${group[$(((k + r - 1) % n))]}"
      measure "$tk" "$name" "$want" "$cmd" "$r"
    done
    [ "$n" -gt 0 ] && table "$r" >"$md"
  done
done
cat "$md"
echo "(written to $md)" >&2
