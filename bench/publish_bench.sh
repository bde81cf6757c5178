#!/usr/bin/env bash
# Publishes a generated release of 20,000 files and 2 GiB with vossarium-publish
# and reports time and peak memory, against a plain copy of the same release
# (the disk's floor) measured in the same run. Peak memory must stay a small
# multiple of the largest file (64 MiB here), whatever the release's size.
# Heavy: not run by CI. Usage: bench/publish_bench.sh PUBLISH_TOOL [WORK_DIR]
set -euo pipefail
tool=$(realpath "$1")
work=${2:-$(mktemp -d /tmp/publish-bench.XXXXXX)}
mkdir -p "$work"
trap 'rm -rf "$work"/release "$work"/site "$work"/site1 "$work"/copy' EXIT

echo "== generating the release in $work/release"
python3 - "$work/release" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(20261210)
total_target = 2 * 1024 ** 3
# 40 large files (8 of 64 MiB, 32 of 16 MiB) and 19,960 smaller ones of mixed sizes.
sizes = [64 << 20] * 8 + [16 << 20] * 32
rest = total_target - sum(sizes)
small = [rng.randint(1024, 2 * rest // 19960 - 1024) for _ in range(19960)]
scale = rest / sum(small)
small = [max(1, int(s * scale)) for s in small]
small[-1] += rest - sum(small)
sizes += small
# Compressible material: text-like pages built from a fixed vocabulary.
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(2000)]
page = b" ".join(rng.choice(words) for _ in range(200000))[: 1 << 20]
def write(path, size, compressible):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        left = size
        while left > 0:
            n = min(left, 1 << 20)
            if compressible:
                start = rng.randrange(0, len(page) - n + 1) if n < len(page) else 0
                out.write(page[start:start + n])
            else:
                out.write(os.urandom(n))
            left -= n
for i, size in enumerate(sizes):
    folder = "Layers" if i % 5 == 0 else "Vossarium"
    name = "DravoClient" if i == 0 else f"d{i % 97:02d}/e{i % 13}/file{i:05d}.bin"
    if i == 0:
        folder = "Vossarium"
    write(os.path.join(root, folder, *name.split("/")), size, compressible=(i % 2 == 0))
PY
files=$(find "$work/release" -type f | wc -l)
bytes=$(find "$work/release" -type f -printf '%s\n' | awk '{s += $1} END {printf "%d\n", s}')
largest=$(find "$work/release" -type f -printf '%s\n' | sort -n | tail -1)
echo "release: $files files, $bytes bytes, largest file $largest bytes"
sync

measure() {  # measure LABEL COMMAND... -> "seconds peak_kib"
  local label=$1
  shift
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >"$work/$label.out" 2>&1 || {
    cat "$work/$label.out"
    exit 1
  }
  cat "$work/time.txt"
}

read -r copy_s copy_kib < <(measure copy cp -r "$work/release" "$work/copy")
rm -rf "$work/copy"
read -r build_s build_kib < <(measure build "$tool" build --release "$work/release" --out "$work/site" --date bench --quiet)
read -r again_s again_kib < <(measure again "$tool" build --release "$work/release" --out "$work/site" --previous "$work/site" --date bench --quiet)
read -r one_s one_kib < <(measure one "$tool" build --release "$work/release" --out "$work/site1" --date bench --jobs 1 --quiet)
read -r verify_s verify_kib < <(measure verify "$tool" verify "$work/site" --quiet)
cmp -s "$work/site/lists/0.txt" "$work/site1/lists/0.txt" || { echo "one thread and two gave different lists"; exit 1; }
site_bytes=$(find "$work/site" -type f -printf '%s\n' | awk '{s += $1} END {printf "%d\n", s}')

echo
echo "reference  cp -r release     ${copy_s} s, peak ${copy_kib} KiB"
echo "build      (new site)        ${build_s} s, peak ${build_kib} KiB"
echo "build      (--previous)      ${again_s} s, peak ${again_kib} KiB"
echo "build      (--jobs 1)        ${one_s} s, peak ${one_kib} KiB"
echo "verify                       ${verify_s} s, peak ${verify_kib} KiB"
echo "site: $site_bytes bytes; $(tail -1 "$work/build.out")"
python3 - "$build_kib" "$largest" "$build_s" "$copy_s" "$bytes" "$one_kib" <<'PY'
import sys
kib, largest, build_s, copy_s, total, one_kib = map(float, sys.argv[1:])
print(f"peak memory / largest file: {kib * 1024 / largest:.2f} (default jobs), "
      f"{one_kib * 1024 / largest:.2f} (one thread); release / largest file: {total / largest:.0f}")
print(f"build rate: {total / build_s / 2**20:.1f} MiB/s; build time / copy time: {build_s / copy_s:.1f}")
PY
