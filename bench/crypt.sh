#!/usr/bin/env bash
# Times pelmora-cli encrypt against openssl and gpg on the same files: 40 photos (about 35 MB,
# each tool started once per run for ours, once per file for theirs, as people use them), and a
# 200 MB file for throughput (encrypt and decrypt). Runs in a RAM folder (/dev/shm) so that the
# tools' own work is compared, and again on disk, where our fsync before each rename counts too.
# Usage: bench/crypt.sh [ram|disk|both]     (PELMORA_JOBS=N limits the build's parallel jobs)
set -euo pipefail
cd "$(dirname "$0")/.."
where="${1:-both}"
for tool in hyperfine convert openssl gpg python3; do
  command -v "$tool" >/dev/null || { echo "crypt.sh needs $tool (scripts/setup installs it)" >&2; exit 1; }
done
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release ${PELMORA_CMAKE_ARGS:-} >/dev/null
cmake --build build-release --target pelmora-cli -j "${PELMORA_JOBS:-$(nproc)}"
cli=$PWD/build-release/pelmora-cli

# The photos are made once and kept next to the build.
photos=$PWD/build-release/bench-crypt-photos
if [ "$(ls "$photos"/*.jpg 2>/dev/null | wc -l)" -ne 40 ]; then
  mkdir -p "$photos"
  echo "Making 40 photos in $photos" >&2
  for i in $(seq -w 1 40); do
    convert -seed "$i" -size 1600x1200 plasma:fractal -quality 93 "$photos/photo$i.jpg"
  done
fi

run_in() {
  local base=$1 label=$2
  local work; work=$(mktemp -d "$base/pelmora-crypt-bench.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  cp -r "$photos" "$work/photos"
  head -c 200000000 /dev/urandom >"$work/big.bin"
  printf 'correct horse battery staple\n' >"$work/pw"
  mkdir -p "$work/p" "$work/o" "$work/g" "$work/gnupg" && chmod 700 "$work/gnupg"
  local mb; mb=$(( $(du -cb "$work"/photos/*.jpg | tail -1 | cut -f1) / 1000000 ))
  echo "== $label: 40 photos, $mb MB; a 200 MB file"
  "$cli" encrypt -q --out "$work/p" --password-file "$work/pw" "$work/big.bin" >/dev/null
  hyperfine --warmup 1 --min-runs 5 --export-json "$work/photos.json" \
    -n "pelmora-cli encrypt" "$cli encrypt -q --out $work/p --password-file $work/pw $work/photos/*.jpg" \
    -n "openssl enc -aes-256-cbc -pbkdf2" \
      "for f in $work/photos/*.jpg; do openssl enc -aes-256-cbc -pbkdf2 -pass file:$work/pw -in \$f -out $work/o/\${f##*/}; done" \
    -n "gpg --symmetric" \
      "for f in $work/photos/*.jpg; do GNUPGHOME=$work/gnupg gpg --batch --yes --quiet --pinentry-mode loopback --symmetric --passphrase-file $work/pw -o $work/g/\${f##*/}.gpg \$f; done"
  hyperfine --warmup 1 --min-runs 5 --export-json "$work/big.json" \
    -n "pelmora-cli encrypt 200 MB" "$cli encrypt -q --out $work/p --password-file $work/pw $work/big.bin" \
    -n "pelmora-cli decrypt 200 MB" "$cli decrypt -q --out $work/o --password-file $work/pw $work/p/big.bin" \
    -n "pelmora-cli encrypt 1 byte" "$cli encrypt -q --out $work/p --password-file $work/pw $work/pw" \
    -n "openssl enc 200 MB" "openssl enc -aes-256-cbc -pbkdf2 -pass file:$work/pw -in $work/big.bin -out $work/o/big.ossl"
  python3 - "$work/photos.json" "$work/big.json" <<'PY'
import json, sys
wall, cpu = {}, {}
for f in sys.argv[1:]:
    for r in json.load(open(f))["results"]:
        wall[r["command"]], cpu[r["command"]] = r["mean"], r["user"] + r["system"]
# Wall time is what a person waits; on a shared machine CPU time (user + system) is the steadier figure.
print()
for name, t in (("wall", wall), ("cpu", cpu)):
    ours, ossl, gpg = t["pelmora-cli encrypt"], t["openssl enc -aes-256-cbc -pbkdf2"], t["gpg --symmetric"]
    print(f"40 photos, {name}: pelmora-cli {ours:.3f} s, openssl {ossl:.3f} s ({ours / ossl:.2f} of its time), gpg {gpg:.3f} s")
for name, t in (("wall", wall), ("cpu", cpu)):
    fixed = t["pelmora-cli encrypt 1 byte"]  # start-up and the key derivation, paid once per run
    for what in ("encrypt", "decrypt"):
        s = t[f"pelmora-cli {what} 200 MB"]
        print(f"200 MB {what}, {name}: {s:.3f} s = {200 / s:.0f} MB/s whole command, "
              f"{200 / max(s - fixed, 1e-9):.0f} MB/s streaming (less {fixed:.3f} s of start-up and key derivation)")
    print(f"200 MB openssl enc, {name}: {t['openssl enc 200 MB']:.3f} s = {200 / t['openssl enc 200 MB']:.0f} MB/s")
PY
}

case "$where" in
  ram) run_in /dev/shm "RAM folder" ;;
  disk) run_in "$PWD/build-release" "disk" ;;
  both) run_in /dev/shm "RAM folder"; run_in "$PWD/build-release" "disk" ;;
  *) echo "usage: bench/crypt.sh [ram|disk|both]" >&2; exit 2 ;;
esac
