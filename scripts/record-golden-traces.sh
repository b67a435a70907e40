#!/bin/sh
# Records the golden trace logs under tests/golden from the current decoder.
# Run it only when a change of results is intended; speed work must leave the
# recorded files unchanged.
#   scripts/record-golden-traces.sh [build-dir]
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
cmake -S . -B "$BUILD" -DVANTOR_GUI=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target vantor_tests
VANTOR_UPDATE_GOLDEN=1 "$BUILD/tests/vantor_tests" --gtest_filter='GoldenTrace.DecodeTracesMatchTheRecordedLogs'
"$BUILD/tests/vantor_tests" --gtest_filter='GoldenTrace.*'
ls -l tests/golden
