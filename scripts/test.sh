#!/usr/bin/env bash
# Installs what is missing, builds everything, gives each parser a short fuzzing run and
# runs the tests, once under each locale of the matrix below.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

# The regional settings the whole suite runs under: the C locale, two with a decimal comma
# (Finnish, the program's first market, and German) and Turkish, whose dotted and dotless i
# change letter case. A locale the system lacks is generated (Debian: /etc/locale.gen and
# locale-gen, from the locales package).
LOCALES=(C fi_FI.UTF-8 de_DE.UTF-8 tr_TR.UTF-8)
has_locale() {
    # locale -a spells fi_FI.UTF-8 as fi_FI.utf8
    [ "$1" = C ] || locale -a 2>/dev/null | grep -qix "${1%%.*}.utf-\?8"
}
missing_locales=()
for l in "${LOCALES[@]}"; do
    has_locale "$l" || missing_locales+=("$l")
done
if ((${#missing_locales[@]})); then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    for l in "${missing_locales[@]}"; do
        if grep -q "^# *$l UTF-8\s*$" /etc/locale.gen; then
            $SUDO sed -i "s/^# *\($l UTF-8\)\s*$/\1/" /etc/locale.gen
        elif ! grep -q "^$l UTF-8\s*$" /etc/locale.gen; then
            echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
        fi
    done
    $SUDO locale-gen
    for l in "${missing_locales[@]}"; do
        has_locale "$l" || { echo "test.sh: could not generate the locale $l" >&2; exit 1; }
    done
fi

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
# A test that fails is run once more before it counts as failed: the printing tests against a
# private cupsd have failed once in a parallel, sanitized run and then passed on their own. The
# second run's result is printed with the first, so a flaky test still shows in the log.
if [ "${KELOTARI_SKIP_ASAN:-0}" != "1" ]; then
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$jobs"
    ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen ctest --preset asan -j "$jobs" --repeat until-pass:2
fi

# The whole suite under each locale, as Qt takes it from the environment at start; every
# locale is run, and a failure under any of them fails the script.
failed=()
for l in "${LOCALES[@]}"; do
    echo "== tests under LC_ALL=$l"
    LC_ALL=$l QT_QPA_PLATFORM=offscreen ctest --preset default -j "$jobs" --repeat until-pass:2 || failed+=("$l")
done
if ((${#failed[@]})); then
    echo "test.sh: tests failed under: ${failed[*]}" >&2
    exit 1
fi
echo "test.sh: all tests passed under ${LOCALES[*]}"
