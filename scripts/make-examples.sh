#!/bin/sh
# Regenerates the example pictures in examples/ with the test-support
# library. Usage: scripts/make-examples.sh [BUILD_DIR] (default: build).
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target make_examples
mkdir -p examples
"$build/tests/make_examples" examples
ls -l examples
