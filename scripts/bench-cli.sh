#!/bin/sh
# Times whole runs of the command-line reader (process start included) over
# a folder of generated pictures, half clean symbols (BMP) and half
# photo-like ones (JPEG), beside zxing-cpp's ZXingReader over the same files
# (package zxing-cpp-tools, installed by scripts/install-deps.sh compare).
# Each pair of runs is repeated and the medians printed, with the load
# average. Usage: scripts/bench-cli.sh [BUILD_DIR] [COUNT] [REPEATS]
# (defaults: build, 400, 5). Several files with --raw need -0. A benchmark, not a test: run it on an idle
# machine.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
count="${2:-400}"
repeats="${3:-5}"
command -v ZXingReader >/dev/null || { echo "bench-cli: ZXingReader not found (sh scripts/install-deps.sh compare)" >&2; exit 1; }
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target vantor-cli make_batch >/dev/null
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
"$build/tests/make_batch" "$dir" "$count" mixed
files="$(ls "$dir"/* | sort)"
seconds() {
    start=$(date +%s.%N)
    # shellcheck disable=SC2086
    "$@" $files >"$dir.out" 2>/dev/null || true
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
# Warm the page cache, and count what each reads.
# shellcheck disable=SC2086
ours_read=$("$build/vantor" --raw -0 $files 2>/dev/null | tr '\0' '\n' | grep -c . || true)
# shellcheck disable=SC2086
zx_read=$(ZXingReader -format QRCode -1 $files 2>/dev/null | grep -c ' QRCode ' || true)
: >"$dir.ours"; : >"$dir.one"; : >"$dir.zx"
i=0
while [ "$i" -lt "$repeats" ]; do
    seconds "$build/vantor" --raw -0 >>"$dir.ours"
    seconds "$build/vantor" --raw -0 -j 1 >>"$dir.one"
    seconds ZXingReader -format QRCode -1 >>"$dir.zx"
    i=$((i + 1))
done
ours=$(median <"$dir.ours"); one=$(median <"$dir.one"); zx=$(median <"$dir.zx")
rm -f "$dir.ours" "$dir.one" "$dir.zx" "$dir.out"
echo "$count files, median of $repeats runs each ($(nproc) cores):"
echo "  vantor --raw -0       ${ours} s  (ratio to ZXingReader $(echo "scale=2; $ours / $zx" | bc)), $ours_read files read"
echo "  vantor --raw -0 -j 1  ${one} s  (ratio $(echo "scale=2; $one / $zx" | bc))"
echo "  ZXingReader (QRCode)  ${zx} s, $zx_read files read"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
