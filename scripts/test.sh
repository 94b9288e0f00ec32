#!/usr/bin/env bash
# Installs what is missing, builds everything, gives each parser a short fuzzing run and
# runs the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset default
cmake --build --preset default -j "$jobs"

# The parsers under libFuzzer for a few seconds each, starting from the seed files.
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
        "$f" -max_total_time="${KELOTARI_FUZZ_SECONDS:-20}" -rss_limit_mb=2048 "$corpus" 2>&1 | tail -n 1
        rm -rf "$corpus"
    done
fi

# The tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
if [ "${KELOTARI_SKIP_ASAN:-0}" != "1" ]; then
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$jobs"
    ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen ctest --preset asan -j "$jobs"
fi

QT_QPA_PLATFORM=offscreen ctest --preset default -j "$jobs"
