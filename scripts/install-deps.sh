#!/usr/bin/env bash
# Installs the Debian packages the project needs, one list per purpose:
#
#   scripts/install-deps.sh [build] [package] [test]    (no argument: all three)
#
#   build    compile the program (what scripts/demo.sh needs to build and run it)
#   package  make the Debian package from a build (scripts/package.sh: build + package)
#   test     run the tests (scripts/test.sh: all three)
#
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

BUILD=(
    cmake make g++ pkg-config          # compiler and build tool
    qt6-base-dev libgl-dev             # Qt 6 widgets and printing
    qt6-svg-dev                        # the window icon, drawn from the SVG picture
    libxlsxwriter-dev                  # spreadsheet export
    libcups2-dev                       # print jobs handed to CUPS, with its answer
)
PACKAGE=(
    dpkg-dev file                      # dpkg-buildflags; dpkg-shlibdeps finds the Depends
)
TEST=(
    fontconfig fonts-dejavu-core       # fonts for windows and printed pages
    poppler-utils                      # pdftotext, used by the printing tests
    clang libclang-rt-14-dev           # libFuzzer targets and the sanitizer build
    desktop-file-utils appstream       # checks of the desktop entry and the metainfo
    strace                             # the install test sees which language file is read
    lintian                            # the package test's check of the .deb
    python3-openpyxl                   # reading back the spreadsheet export
    cups printer-driver-cups-pdf       # printing to a real (PDF) print queue
    xvfb xauth x11-utils               # the install test looks at the window's icon on X
    locales                            # the suite runs under Finnish, German, Turkish locales
)

lists=("$@")
((${#lists[@]})) || lists=(build package test)
wanted=()
for list in "${lists[@]}"; do
    case $list in
    build) wanted+=("${BUILD[@]}") ;;
    package) wanted+=("${PACKAGE[@]}") ;;
    test) wanted+=("${TEST[@]}") ;;
    *) echo "install-deps.sh: unknown list '$list' (build, package, test)" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${wanted[@]}"; do
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
