#!/usr/bin/env bash
# Builds the Debian package of the program: build-package/kelotari_<version>_<arch>.deb.
# A build folder of its own (release build, no tests or benchmarks), so the package does not
# depend on what a development build happens to hold. Install it with
#   sudo apt install ./build-package/kelotari_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=build-package
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELOTARI_BUILD_TESTS=OFF \
    -DKELOTARI_BUILD_BENCH=OFF "${launcher[@]}"
cmake --build "$build" --target kelotari -j"$(nproc)"
rm -f "$build"/kelotari_*.deb
(cd "$build" && cpack -G DEB)

deb=$(ls "$build"/kelotari_*.deb)
echo
echo "Package: $deb ($(stat -c %s "$deb") bytes)"
dpkg-deb -f "$deb" Version Depends
