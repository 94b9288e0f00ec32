#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the tests (and a short fuzzing run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset default
cmake --build --preset default -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --preset default -j "$jobs"

# The parsers under libFuzzer for a few seconds each, starting from the test fixtures.
if [ "${KELOTARI_SKIP_FUZZ:-0}" != "1" ]; then
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$jobs" --target fuzzers
    for f in build-fuzz/bin/fuzz_*; do
        [ -x "$f" ] || continue
        name=$(basename "$f")
        corpus=$(mktemp -d)
        seeds="fuzz/corpus/${name#fuzz_}"
        [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
        echo "fuzzing $name"
        "$f" -max_total_time="${KELOTARI_FUZZ_SECONDS:-20}" -rss_limit_mb=2048 -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
        rm -rf "$corpus"
    done
fi
