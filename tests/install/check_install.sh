#!/usr/bin/env bash
# Checks of the installed program and of the Debian package, run by CTest.
#
#   check_install.sh tree    BUILD_DIR SOURCE_DIR APP_DIR VERSION   cmake --install, temporary prefix
#   check_install.sh package BUILD_DIR SOURCE_DIR APP_DIR VERSION   cpack -G DEB, dpkg-deb -c/-f/-x,
#                                                                   lintian, apt-get install
#
# APP_DIR is the program's folder relative to the prefix (lib/kelotari). Both modes validate the
# desktop entry and the metainfo, and start the installed program offscreen: it must read the
# language file beside its executable and write its settings only to the per-user folder
# ($XDG_CONFIG_HOME/Kelotari, else ~/.config/Kelotari), never into its own folder.
#
# The package mode packages BUILD_DIR, or checks the .deb that KELOTARI_DEB names (the one
# scripts/package.sh made, with its hardening flags). Run as root, it also installs the package
# for real (apt-get install), runs it as root and as nobody, and removes it again, also when a
# check fails. Exit code 77 means skipped.
set -euo pipefail

mode=$1 build=$2 source=$3 appdir=$4 version=$5
app_id=fi.kelotari.Kelotari

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*" >&2; exit 77; }
need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null ||
            skip "$tool is not installed (scripts/install-deps.sh installs it)"
    done
}

need desktop-file-validate appstreamcli
[ -x "$build/bin/kelotari" ] || fail "$build/bin/kelotari is not built"

work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work" # the program may run as another user below

# The installed files under a prefix (or an extracted package's usr/).
check_files() {
    local prefix=$1
    local f
    for f in "$appdir/kelotari" "$appdir/DefLang.lng" "$appdir/Suomi.lng" \
             "$appdir/kelotari.installed" \
             "share/applications/$app_id.desktop" "share/icons/hicolor/scalable/apps/kelotari.svg" \
             "share/metainfo/$app_id.metainfo.xml" "share/doc/kelotari/copyright" \
             "share/doc/kelotari/changelog.gz" "share/man/man1/kelotari.1.gz"; do
        [ -f "$prefix/$f" ] || fail "$prefix/$f is missing"
    done
    # The shipped Finnish file is UTF-8 (the program reads Windows-1252 copies too).
    iconv -f UTF-8 -t UTF-8 "$prefix/$appdir/Suomi.lng" >/dev/null ||
        fail "Suomi.lng is not UTF-8"
    grep -q "<project_license>MIT</project_license>" "$prefix/share/metainfo/$app_id.metainfo.xml" ||
        fail "the metainfo's licence is not MIT"
    grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" \
        "$prefix/share/doc/kelotari/copyright" || fail "the copyright file is not machine-readable"
    zcat "$prefix/share/doc/kelotari/changelog.gz" | head -1 | grep -q "^kelotari ($version) " ||
        fail "the changelog does not start with version $version"
    [ -x "$prefix/$appdir/kelotari" ] || fail "$prefix/$appdir/kelotari is not executable"
    [ -L "$prefix/bin/kelotari" ] || fail "$prefix/bin/kelotari is not a symbolic link"
    [ "$(readlink -f "$prefix/bin/kelotari")" = "$(readlink -f "$prefix/$appdir/kelotari")" ] ||
        fail "$prefix/bin/kelotari does not lead to $prefix/$appdir/kelotari"
    cmp -s "$prefix/$appdir/DefLang.lng" "$source/lang/DefLang.lng" ||
        fail "installed DefLang.lng differs from lang/DefLang.lng"

    desktop-file-validate "$prefix/share/applications/$app_id.desktop" ||
        fail "desktop-file-validate rejects the desktop entry"
    appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" ||
        fail "appstreamcli rejects the metainfo"
    grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$app_id.metainfo.xml" ||
        fail "the metainfo's release is not version $version"
    local key
    for key in "Exec=kelotari" "Icon=kelotari" "Categories=Science;Engineering;" \
               "GenericName=Wood moisture meter" "StartupWMClass=Kelotari"; do
        grep -qx "$key" "$prefix/share/applications/$app_id.desktop" ||
            fail "the desktop entry lacks $key"
    done
    # The icon is an SVG picture, not a stray file.
    local icon="$prefix/share/icons/hicolor/scalable/apps/kelotari.svg"
    grep -q '<svg xmlns="http://www.w3.org/2000/svg"' "$icon" && grep -q '</svg>' "$icon" ||
        fail "kelotari.svg is not an SVG picture"
}

# Starts $prefix/bin/kelotari offscreen as a user who may not write to the program's folder,
# lets it quit through its Quit command, and checks what it read and wrote.
check_run() {
    local prefix=$1 tag=$2
    local program_dir="$prefix/$appdir"
    local home="$work/$tag-home" config="$work/$tag-config" trace="$work/$tag-trace.log"
    mkdir -p "$home" "$config"
    local -a as_user=()
    if [ "$(id -u)" -eq 0 ]; then
        # root may write anywhere: run as an ordinary user, as a desktop session would.
        need setpriv
        chown 65534:65534 "$home" "$config" "$work"
        as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    else
        chmod -R a-w "$program_dir" # as installed by root
    fi
    local before
    before=$(ls -A "$program_dir")

    local -a tracer=()
    if command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null; then
        tracer=(strace -f -qq -e trace=openat -o "$trace")
    else
        echo "NOTE: strace cannot trace here; which language file is opened is not checked" >&2
    fi
    local rc=0
    env -i PATH="$prefix/bin:/usr/bin:/bin" HOME="$home" XDG_CONFIG_HOME="$config" \
        XDG_RUNTIME_DIR="$work/$tag-runtime" QT_QPA_PLATFORM=offscreen \
        KELOTARI_QUIT_AFTER_MS=300 \
        timeout 60 "${as_user[@]}" "${tracer[@]}" kelotari || rc=$?
    [ "$rc" -eq 0 ] || fail "$tag: kelotari ended with $rc (124: it did not quit)"

    local settings="$config/Kelotari/kelotari.INI"
    [ -f "$settings" ] || fail "$tag: no settings in $config/Kelotari ($(ls -AR "$config"))"
    grep -q '^Port=COM1' "$settings" || fail "$tag: settings file without [App] Port: $(cat "$settings")"
    [ "$(ls -A "$program_dir")" = "$before" ] || fail "$tag: the program wrote into its own folder"
    if [ ${#tracer[@]} -gt 0 ]; then
        grep -qE "openat\(AT_FDCWD, \"$(readlink -f "$program_dir")/DefLang.lng\", O_RDONLY[^)]*\) = [0-9]+" "$trace" ||
            fail "$tag: DefLang.lng was not read from $program_dir: $(grep -F .lng "$trace" || true)"
    fi
    [ "$(id -u)" -eq 0 ] || chmod -R u+w "$program_dir"
    echo "$tag: started from $prefix/bin/kelotari, read $program_dir/DefLang.lng, wrote $settings"
}

# The window carries the program's icon (_NET_WM_ICON), for desktops that do not match the
# window to its desktop entry: the installed program on a virtual X display.
check_icon() {
    local prefix=$1
    local tool
    for tool in xvfb-run xprop xwininfo; do
        if ! command -v "$tool" >/dev/null; then
            echo "NOTE: $tool is not installed: the window icon is not checked" >&2
            return
        fi
    done
    mkdir -p "$work/icon-home"
    cat >"$work/icon.sh" <<'EOS'
exe=$1 home=$2
HOME=$home XDG_CONFIG_HOME=$home/cfg XDG_RUNTIME_DIR=$home/run QT_QPA_PLATFORM=xcb \
    KELOTARI_QUIT_AFTER_MS=4000 "$exe" >"$home/run.log" 2>&1 &
pid=$!
for _ in $(seq 40); do
    for w in $(xwininfo -root -tree 2>/dev/null | awk '/[Kk]elotari/ { print $1 }'); do
        if xprop -id "$w" WM_CLASS 2>/dev/null | grep -q '"kelotari"'; then
            xprop -id "$w" _NET_WM_ICON | head -3
            wait "$pid"
            exit
        fi
    done
    sleep 0.25
done
echo "no window"
kill "$pid"
EOS
    local out
    out=$(timeout 60 xvfb-run -a bash "$work/icon.sh" "$prefix/bin/kelotari" "$work/icon-home" 2>&1) ||
        true
    grep -q "_NET_WM_ICON(CARDINAL) = .*Icon (16 x 16)" <<<"$(tr '\n' ' ' <<<"$out")" ||
        fail "the window has no icon: $out"
    echo "window icon: $(grep -o 'Icon ([0-9]* x [0-9]*)' <<<"$out" | head -1) and more"
}

# lintian, with the pedantic and informational tags shown: any error or warning fails. The
# hardening tags are checked on a package built by scripts/package.sh (KELOTARI_DEB), whose
# flags come from dpkg-buildflags; a development build has no such flags.
check_lintian() {
    local deb=$1 out
    out=$(lintian --pedantic --display-info --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges' || true)
    [ -z "$out" ] || printf 'lintian:\n%s\n' "$out"
    if grep -qE '^[EW]: ' <<<"$out"; then
        fail "lintian reports errors or warnings"
    fi
    [ -n "${KELOTARI_DEB:-}" ] || return 0
    # hardening-no-fortify-functions is left: lintian's guess from the symbols, wrong where no
    # call has a buffer whose size the compiler can see (see the README's packaging notes).
    if grep -E '^I: .* hardening-' <<<"$out" | grep -qv hardening-no-fortify-functions; then
        fail "the package lacks hardening"
    fi
    local exe="$work/root/usr/$appdir/kelotari"
    readelf -lW "$exe" | grep -q GNU_RELRO || fail "the program is not linked with relro"
    readelf -dW "$exe" | grep -qE 'BIND_NOW|FLAGS.*NOW' || fail "the program is not linked with bindnow"
    readelf -hW "$exe" | grep -q 'DYN ' || fail "the program is not position-independent"
    nm -D "$exe" | grep -q __stack_chk_fail || fail "the program has no stack protector"
}

# The package installed as a user installs it, run by root and by an ordinary user, removed
# again. Only as root, and not over a kelotari the machine already has installed.
install_for_real() {
    local deb=$1
    if [ "$(id -u)" -ne 0 ]; then
        echo "NOTE: not root: the package is not installed for real (CI runs this as root)" >&2
        return
    fi
    need apt-get setpriv
    if dpkg-query -W -f='${Status}' kelotari 2>/dev/null | grep -q "install ok installed"; then
        echo "NOTE: kelotari is installed on this machine already: not replacing it" >&2
        return
    fi
    local lib="/usr/$appdir"
    # Whatever happens below, the machine is left without the package.
    trap 'dpkg --purge kelotari >/dev/null 2>&1 || true; chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
    # A copy apt may read as its sandbox user (_apt): not inside a private folder.
    local copy="$work/apt/$(basename "$deb")"
    mkdir -p "$work/apt" && cp "$deb" "$copy" && chmod 755 "$work/apt" && chmod 644 "$copy"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -o DPkg::Lock::Timeout=120 \
        --no-install-recommends "$copy" \
        >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install failed"; }
    dpkg-query -W -f='${Status}' kelotari | grep -q "install ok installed" ||
        fail "kelotari is not installed after apt-get install"

    local packaged
    packaged=$(dpkg-query -L kelotari | grep "^$lib/" | sort)
    [ "$(find "$lib" -mindepth 1 | sort)" = "$packaged" ] || fail "$lib does not hold the packaged files"

    # root, with HOME only: ~/.config/Kelotari. nobody, with XDG_CONFIG_HOME, and a FIFO as its
    # language file, which must not hold up the start.
    local root_home="$work/root-home" nobody_home="$work/nobody-home" nobody_cfg="$work/nobody-cfg"
    mkdir -p "$root_home" "$nobody_home" "$nobody_cfg/Kelotari"
    mkfifo "$nobody_cfg/Kelotari/DefLang.lng"
    chown -R 65534:65534 "$nobody_home" "$nobody_cfg"
    chmod 755 "$work"
    local rc=0
    env -i PATH=/usr/bin:/bin HOME="$root_home" QT_QPA_PLATFORM=offscreen \
        XDG_RUNTIME_DIR="$work/root-runtime" KELOTARI_QUIT_AFTER_MS=300 \
        timeout 60 kelotari >"$work/root-run.log" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] || { cat "$work/root-run.log"; fail "kelotari as root ended with $rc"; }
    rc=0
    env -i PATH=/usr/bin:/bin HOME="$nobody_home" XDG_CONFIG_HOME="$nobody_cfg" \
        QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/nobody-runtime" KELOTARI_QUIT_AFTER_MS=300 \
        timeout 60 setpriv --reuid=65534 --regid=65534 --clear-groups kelotari \
        >"$work/nobody-run.log" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] ||
        { cat "$work/nobody-run.log"; fail "kelotari as nobody ended with $rc (124: it hung)"; }

    local f
    for f in "$root_home/.config/Kelotari/kelotari.INI" "$nobody_cfg/Kelotari/kelotari.INI"; do
        [ -f "$f" ] || fail "no settings at $f"
        grep -q '^Port=COM1' "$f" || fail "$f holds no [App] Port: $(cat "$f")"
    done
    tr -d '\r' <"$root_home/.config/Kelotari/kelotari.INI" | grep -qx "Path=$root_home/" ||
        fail "root's data folder is not root's home: $(cat "$root_home/.config/Kelotari/kelotari.INI")"
    tr -d '\r' <"$nobody_cfg/Kelotari/kelotari.INI" | grep -qx "Path=$nobody_home/" ||
        fail "nobody's data folder is not nobody's home: $(cat "$nobody_cfg/Kelotari/kelotari.INI")"
    [ "$(stat -c %u "$nobody_cfg/Kelotari/kelotari.INI")" = 65534 ] || fail "nobody's settings are not nobody's"
    [ -p "$nobody_cfg/Kelotari/DefLang.lng" ] || fail "the FIFO language file was replaced"
    [ "$(find "$lib" -mindepth 1 | sort)" = "$packaged" ] ||
        fail "the program wrote into $lib: $(find "$lib" -mindepth 1 | sort)"
    echo "installed: root wrote $(cd "$work" && find root-home -type f), nobody wrote $(cd "$work" && find nobody-cfg -type f)"

    # Removal leaves nothing of the package behind; the per-user folders stay.
    local files
    files=$(dpkg-query -L kelotari)
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -o DPkg::Lock::Timeout=120 kelotari >"$work/apt.log" 2>&1 ||
        { cat "$work/apt.log"; fail "apt-get remove failed"; }
    if grep -i "not empty" "$work/apt.log"; then fail "removal left folders that are not empty"; fi
    if dpkg-query -W -f='${Status}' kelotari 2>/dev/null | grep -q "install ok installed"; then
        fail "kelotari is still installed"
    fi
    while IFS= read -r f; do
        if [ -d "$f" ] && [ ! -L "$f" ]; then continue; fi # shared folders (/usr/share/...) stay
        if [ -e "$f" ] || [ -L "$f" ]; then fail "$f is left after removal"; fi
    done <<<"$files"
    for f in "$lib" /usr/share/doc/kelotari; do
        [ ! -e "$f" ] || fail "$f is left after removal: $(ls -A "$f")"
    done
    [ -f "$root_home/.config/Kelotari/kelotari.INI" ] || fail "removal took the per-user settings"
    dpkg --purge kelotari >/dev/null 2>&1 || true
    echo "installed with apt-get, ran as root and nobody, removed: nothing left"
}

case $mode in
tree)
    need cmake
    prefix="$work/prefix"
    cmake --install "$build" --prefix "$prefix" >/dev/null
    check_files "$prefix"
    check_run "$prefix" tree
    check_icon "$prefix"
    ;;
package)
    need cpack dpkg-deb dpkg-shlibdeps file lintian
    if [ -n "${KELOTARI_DEB:-}" ]; then
        deb=$(readlink -f "$KELOTARI_DEB")
        [ -f "$deb" ] || fail "KELOTARI_DEB=$KELOTARI_DEB is not a file"
    else
        cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
            { cat "$work/cpack.log"; fail "cpack did not build the package"; }
        deb=$(ls "$work"/pkg/kelotari_"$version"_*.deb 2>/dev/null | head -1)
        [ -n "$deb" ] || { cat "$work/cpack.log"; fail "no kelotari_${version}_*.deb was made"; }
    fi

    [ "$(dpkg-deb -f "$deb" Package)" = kelotari ] || fail "package name"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
    description=$(dpkg-deb -f "$deb" Description)
    [ -n "$description" ] || fail "no description"
    [[ $description != *";"* ]] || fail "description is a CMake list: $description"
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6; do
        [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] ||
            fail "Depends lacks $lib: $depends"
    done

    contents=$(dpkg-deb -c "$deb")
    for f in "./usr/$appdir/kelotari" "./usr/$appdir/DefLang.lng" "./usr/$appdir/Suomi.lng" \
             "./usr/share/applications/$app_id.desktop" \
             "./usr/share/icons/hicolor/scalable/apps/kelotari.svg" \
             "./usr/share/metainfo/$app_id.metainfo.xml"; do
        grep -qE " $f\$" <<<"$contents" || fail "the package lacks $f"
    done
    grep -qE " \./usr/bin/kelotari -> " <<<"$contents" || fail "the package lacks usr/bin/kelotari"
    if grep -qE ' \./usr/local/| \./(build|home|tmp)/' <<<"$contents"; then
        fail "the package holds files outside /usr"
    fi

    # The long description: a paragraph of lines under 80 columns.
    dpkg-deb -f "$deb" Description | awk 'length > 79 { bad = 1; print "too long: " $0 } END { exit bad }' ||
        fail "a line of the description reaches 80 columns"
    [ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 4 ] || fail "the long description is missing"

    dpkg-deb -x "$deb" "$work/root"
    chmod 755 "$work/root"
    check_files "$work/root/usr"
    check_run "$work/root/usr" package
    check_lintian "$deb"
    install_for_real "$deb"
    echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
    echo "Depends: $depends"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS: $mode"
