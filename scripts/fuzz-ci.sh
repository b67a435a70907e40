#!/bin/sh
# Builds the libFuzzer targets (clang, AddressSanitizer with leak checking,
# UndefinedBehaviorSanitizer), replays every seed corpus under fuzz/corpus/,
# then fuzzes each target for a bounded time. Any crash, leak, timeout or
# sanitizer report fails the script, and the input that caused it is printed.
#   FUZZ_BUILD    build directory (default build-fuzz)
#   FUZZ_SECONDS  fuzzing time per target (default 60)
set -eu
cd "$(dirname "$0")/.."
build="${FUZZ_BUILD:-build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
targets="fuzz_read_image fuzz_decode_image fuzz_symbol_stages fuzz_family_stages fuzz_video_frames"
# Memory and time per input: the readers accept up to 2^28 pixels and the
# decoder's slowest legal inputs take seconds under the sanitizers.
limits="-rss_limit_mb=2560 -malloc_limit_mb=2560 -timeout=60"

sh scripts/install-deps.sh fuzz
cmake -S . -B "$build" -DVANTOR_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j"$(nproc)" --target $targets

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Shows what a failed run found: the end of its log and the input, in hex.
report() {
    echo "fuzz-ci: $1 failed; the end of its log:" >&2
    tail -n 60 "$2" >&2
    for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
        [ -f "$artifact" ] || continue
        echo "fuzz-ci: input $artifact:" >&2
        od -A d -t x1 "$artifact" | head -n 40 >&2
    done
    exit 1
}

for target in $targets; do
    bin="$build/fuzz/$target"
    corpus="fuzz/corpus/$target"
    count=$(find "$corpus" -type f | wc -l)
    echo "fuzz-ci: $target: replaying $count seeds"
    # shellcheck disable=SC2086
    "$bin" $limits -artifact_prefix="$work/" "$corpus"/* >"$work/$target-replay.log" 2>&1 ||
        report "$target replay" "$work/$target-replay.log"

    echo "fuzz-ci: $target: fuzzing for $seconds s"
    mkdir -p "$work/$target"
    # shellcheck disable=SC2086
    "$bin" $limits -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" \
        "$work/$target" "$corpus" >"$work/$target.log" 2>&1 ||
        report "$target" "$work/$target.log"
    grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$target.log" | tail -n 1
done
echo "fuzz-ci: no findings"
