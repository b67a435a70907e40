#!/bin/sh
# Times whole runs of the command-line reader on one core (`vantor -j 1 --raw
# -0 FILES`, process start included) beside ZXingReader over the same files,
# on five kinds of pictures: with symbols (half clean BMP, half photo-like
# JPEG), without a symbol (photo-like scenes of 0.3 to 3 MP, some dense
# noise), textured scenes without a symbol (1024 x 768, strewn with eye
# pattern look-alikes; at most 40), real photographs without a QR Code (the
# sample pictures scikit-image and scikit-learn ship, when installed: sh
# scripts/install-deps.sh compare), and symbols under strong perspective. The reference is
# zxing-cpp 3.1's ZXingReader from the peers' folder beside the project
# (ZXING_PEER to name another); Debian's (zxing-cpp-tools, 1.4) is a further
# column when installed. Each run is repeated; the medians of CPU time (user
# and system) are printed with the ratios and the load average.
# Usage: scripts/bench-cli.sh [BUILD_DIR] [COUNT] [REPEATS] (defaults: build,
# 300, 3). A benchmark, not a test.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
count="${2:-300}"
repeats="${3:-3}"
peer="${ZXING_PEER:-../shared/peers/zxing-cpp-3.1}/bin/ZXingReader"
[ -x "$peer" ] || { echo "bench-cli: $peer not found (set ZXING_PEER)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "bench-cli: /usr/bin/time not found (sh scripts/install-deps.sh compare)" >&2; exit 1; }
debian=""
[ -x /usr/bin/ZXingReader ] && debian=/usr/bin/ZXingReader
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target vantor-cli make_batch >/dev/null
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT

# CPU seconds of one run of "$@" over the files. A run that read nothing
# exits non-zero, and time then writes a line saying so before the times:
# only the last line is the measure.
cpu() {
    # shellcheck disable=SC2086
    /usr/bin/time -f "%U %S" -o "$dir/time" "$@" $files >/dev/null 2>&1 || true
    tail -n 1 "$dir/time" | awk '{print $1 + $2}'
}
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
ratio() { echo "scale=2; $1 / $2" | bc; }

echo "$count files a kind, median of $repeats runs, CPU time, one core ($(nproc) online)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
# The photographs among the sample pictures (not the drawings, the tiny
# test files or the arrays).
skimage=/usr/lib/python3/dist-packages/skimage/data
sklearn=/usr/lib/python3/dist-packages/sklearn/datasets/images
photos=""
for f in astronaut.png brick.png camera.png cell.png chelsea.png clock_motion.png coffee.png coins.png \
    grass.png gravel.png hubble_deep_field.jpg ihc.png moon.png motorcycle_left.png motorcycle_right.png \
    page.png retina.jpg rocket.jpg text.png; do
    [ -f "$skimage/$f" ] && photos="$photos $skimage/$f"
done
for f in china.jpg flower.jpg; do
    [ -f "$sklearn/$f" ] && photos="$photos $sklearn/$f"
done
for kind in mixed none textured photos perspective; do
    if [ "$kind" = photos ]; then
        if [ -z "$photos" ]; then
            echo "real photographs: skipped (sh scripts/install-deps.sh compare installs them)"
            continue
        fi
        files="$photos"
    else
        mkdir -p "$dir/$kind"
        n=$count
        [ "$kind" = textured ] && [ "$n" -gt 40 ] && n=40
        "$build/tests/make_batch" "$dir/$kind" "$n" "$kind"
        files="$(ls "$dir/$kind"/* | sort)"
    fi
    # Counts of files read (this run also warms the page cache).
    # shellcheck disable=SC2086
    ours_read=$("$build/vantor" -j 1 --raw -0 $files 2>/dev/null | tr '\0' '\n' | grep -c . || true)
    # shellcheck disable=SC2086
    peer_read=$("$peer" -formats QRCode -1 $files 2>/dev/null | grep -c ' QR Code' || true)
    : >"$dir/ours"; : >"$dir/peer"; : >"$dir/debian"
    i=0
    while [ "$i" -lt "$repeats" ]; do
        cpu "$build/vantor" -j 1 --raw -0 >>"$dir/ours"
        cpu "$peer" -formats QRCode -1 >>"$dir/peer"
        [ -z "$debian" ] || cpu "$debian" -format QRCode -1 >>"$dir/debian"
        i=$((i + 1))
    done
    ours=$(median <"$dir/ours"); zx=$(median <"$dir/peer")
    case $kind in
        mixed) name="with symbols" ;;
        none) name="without a symbol" ;;
        textured) name="textured, without a symbol" ;;
        photos) name="real photographs without a QR Code" ;;
        *) name="strong perspective" ;;
    esac
    echo "$name:"
    echo "  vantor -j 1 --raw -0      ${ours} s  (ratio to ZXingReader 3.1: $(ratio "$ours" "$zx")), $ours_read files read"
    echo "  ZXingReader 3.1 (QRCode)  ${zx} s, $peer_read files read"
    if [ -n "$debian" ]; then
        deb=$(median <"$dir/debian")
        echo "  ZXingReader 1.4 (QRCode)  ${deb} s  (ratio $(ratio "$deb" "$zx"))"
    fi
    rm -rf "${dir:?}/$kind"
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
