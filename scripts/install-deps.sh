#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, run and test. Safe to run again:
# it only calls apt-get when something is missing.
set -euo pipefail

PACKAGES=(
    cmake make g++ pkg-config          # build
    qt6-base-dev libgl-dev             # Qt 6 widgets, printing and tests
    libcups2-dev                       # print jobs handed to CUPS, with its answer
    fontconfig fonts-dejavu-core       # fonts for windows and printed pages
    poppler-utils                      # pdftotext, used by the printing tests
    cups                               # a private cupsd with queues of its own, for the printing tests
    printer-driver-cups-pdf            # a virtual printer queue (cups-pdf), for the printing tests
    clang libclang-rt-14-dev           # libFuzzer targets
    dpkg-dev file                      # the Debian package (dpkg-shlibdeps finds its Depends)
    desktop-file-utils appstream       # checks of the desktop entry and the metainfo
    strace                             # the install test sees which language file is read
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
