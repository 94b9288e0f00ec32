#!/usr/bin/env bash
# Builds the Debian package of the program: build-package/kelotari_<version>_<arch>.deb.
# A build folder of its own (release build, no tests or benchmarks), so the package does not
# depend on what a development build happens to hold, compiled and linked with Debian's
# flags (dpkg-buildflags, all hardening: fortify, stack protector, relro, bindnow). Install
# it with
#   sudo apt install ./build-package/kelotari_<version>_<arch>.deb
# KELOTARI_PACKAGE_DIR builds elsewhere (the package test uses a folder of its own).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build package

build=${KELOTARI_PACKAGE_DIR:-build-package}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1"; }
# CMake takes no CPPFLAGS: the preprocessor flags (_FORTIFY_SOURCE) go with the compiler's.
cxxflags="$(flags CPPFLAGS) $(flags CXXFLAGS)"
ldflags=$(flags LDFLAGS)
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# The flags are given on every run: a cache from an earlier run keeps no others.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELOTARI_BUILD_TESTS=OFF \
    -DKELOTARI_BUILD_BENCH=OFF "${launcher[@]}" \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags"
cmake --build "$build" --target kelotari -j"$(nproc)"
rm -f "$build"/kelotari_*.deb
(cd "$build" && cpack -G DEB)

deb=$(ls "$build"/kelotari_*.deb)
echo
echo "Package: $deb ($(stat -c %s "$deb") bytes)"
dpkg-deb -f "$deb" Version Depends
