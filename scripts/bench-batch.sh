#!/bin/sh
# Times the reader over a folder of generated photo-like pictures with one
# file at a time and with -j N (default: the number of cores), and prints the
# ratio of the wall times. Usage: scripts/bench-batch.sh [BUILD_DIR] [COUNT]
# (defaults: build, 100). A benchmark, not a test: run it on an idle machine.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
count="${2:-100}"
jobs="$(nproc)"
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target vantor-cli make_batch >/dev/null
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
"$build/tests/make_batch" "$dir" "$count"
seconds() {
    start=$(date +%s.%N)
    "$build/vantor" -j "$1" "$dir" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
"$build/vantor" -j 1 "$dir" >/dev/null 2>&1 || true # warm the page cache
one=$(seconds 1)
many=$(seconds "$jobs")
echo "$count pictures: -j 1 ${one} s, -j $jobs ${many} s, ratio $(echo "scale=2; $many / $one" | bc)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
