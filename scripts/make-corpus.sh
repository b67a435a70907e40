#!/bin/sh
# Regenerates the fuzz seed corpus in fuzz/corpus/ with the test-support
# library. Usage: scripts/make-corpus.sh [BUILD_DIR] (default: build).
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target make_corpus
rm -rf fuzz/corpus
"$build/tests/make_corpus" fuzz/corpus
du -sh fuzz/corpus/*
