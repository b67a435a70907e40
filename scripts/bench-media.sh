#!/bin/sh
# Media figures for the reader. Video: frames per second on one core (CPU
# time, user and system) of `vantor -j 1` over 720p and 1080p H.264 clips
# with and without a symbol, beside `ffmpeg -threads 1 -f null` decoding the
# same clip, the floor; the ratio is the reader's CPU time over ffmpeg's.
# PDF: a 40-page document of version 10 symbols at 8 pixels a module (PNG
# pages placed at 300 dpi, so the default render is 1:1), read with
# `vantor --all --json`, its pages counted, beside zbarimg on the same file.
# Usage: scripts/bench-media.sh [BUILD_DIR] [SECONDS] (defaults: build, 10).
# Needs ffmpeg, img2pdf and python3-qrcode; zbar-tools for the PDF column.
# A benchmark, not a test.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
seconds="${2:-10}"
py=/usr/bin/python3
cmake --build "$build" -j2 --target vantor-cli >/dev/null
vantor="$build/vantor"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT

cpu() {
    /usr/bin/time -f "%U %S" -o "$dir/time" taskset -c 0 "$@" >"$dir/out" 2>/dev/null || true
    tail -n 1 "$dir/time" | awk '{print $1 + $2}'
}

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
"$py" - "$dir" <<'PY'
import sys, qrcode
q = qrcode.QRCode(version=4, box_size=8, border=4)
q.add_data("https://example.org/a-symbol-in-a-video")
q.make(fit=False)
q.make_image().convert("L").save(sys.argv[1] + "/symbol.png")
PY
frames=$((seconds * 30))
printf "%-16s %7s %10s %10s %8s %8s\n" clip frames vantor_fps ffmpeg_fps ratio symbols
for size in 1280x720 1920x1080; do
    for kind in none symbol; do
        clip="$dir/$size-$kind.mp4"
        if [ "$kind" = none ]; then
            ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=$size:rate=30" -t "$seconds" \
                -c:v libx264 -pix_fmt yuv420p "$clip"
        else
            # The symbol drifts across the picture for the whole clip.
            ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=$size:rate=30" -i "$dir/symbol.png" \
                -filter_complex "[0][1]overlay=x='50+t*40':y='60+t*10'" -t "$seconds" \
                -c:v libx264 -pix_fmt yuv420p "$clip"
        fi
        t_reader=$(cpu "$vantor" -j 1 "$clip")
        found=$(wc -l <"$dir/out")
        t_floor=$(cpu ffmpeg -nostdin -threads 1 -i "$clip" -f null -)
        printf "%-16s %7d %10.1f %10.1f %8.2f %8d\n" "$size-$kind" "$frames" \
            "$(echo "$frames / $t_reader" | bc -l)" "$(echo "$frames / $t_floor" | bc -l)" \
            "$(echo "$t_reader / $t_floor" | bc -l)" "$found"
    done
done

"$py" - "$dir" <<'PY'
import io, sys, qrcode, img2pdf
pages = []
for n in range(1, 41):
    q = qrcode.QRCode(version=10, box_size=8, border=4)
    q.add_data("page %02d " % n + "x" * 150)
    q.make(fit=False)
    out = io.BytesIO()
    q.make_image().convert("L").save(out, format="PNG")
    pages.append(out.getvalue())
open(sys.argv[1] + "/forty.pdf", "wb").write(
    img2pdf.convert(pages, layout_fun=img2pdf.get_fixed_dpi_layout_fun((300, 300))))
PY
t=$(cpu "$vantor" --all --json "$dir/forty.pdf")
read_pages=$(grep -c '"decoded":true' "$dir/out" || true)
right=$(grep -o '"page":[0-9]*,.*"text":"page [0-9]*' "$dir/out" |
        sed 's/"page":\([0-9]*\),.*"text":"page 0*\([0-9]*\)/\1 \2/' | awk '$1 == $2' | wc -l)
echo "40-page PDF, version 10 at 8 px a module: vantor read $read_pages symbols, $right on their own page, in $t s CPU"
if command -v zbarimg >/dev/null; then
    zbarimg -q "$dir/forty.pdf" >"$dir/zbar" 2>"$dir/zbar-err" || true
    echo "zbarimg on the same PDF: $(grep -c '^QR-Code:' "$dir/zbar" || true) symbols$(head -c 160 "$dir/zbar-err" | head -n 1 | sed 's/^./ (&/;s/$/)/')"
fi
