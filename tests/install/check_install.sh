#!/usr/bin/env bash
# Checks of the installed program and of the Debian package, run by CTest.
#
#   check_install.sh tree    BUILD_DIR SOURCE_DIR APP_DIR VERSION   cmake --install, temporary prefix
#   check_install.sh package BUILD_DIR SOURCE_DIR APP_DIR VERSION   cpack -G DEB, dpkg-deb -c/-f/-x
#
# APP_DIR is the program's folder relative to the prefix (lib/kelotari). Both modes validate the
# desktop entry and the metainfo, and start the installed program offscreen: it must read the
# language file beside its executable, and, its own folder not being writable, write its
# settings to the per-user folder ($XDG_CONFIG_HOME/Kelotari). Exit code 77 means skipped.
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
             "share/applications/$app_id.desktop" "share/icons/hicolor/scalable/apps/kelotari.svg" \
             "share/metainfo/$app_id.metainfo.xml"; do
        [ -f "$prefix/$f" ] || fail "$prefix/$f is missing"
    done
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

case $mode in
tree)
    need cmake
    prefix="$work/prefix"
    cmake --install "$build" --prefix "$prefix" >/dev/null
    check_files "$prefix"
    check_run "$prefix" tree
    ;;
package)
    need cpack dpkg-deb dpkg-shlibdeps file
    cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; fail "cpack did not build the package"; }
    deb=$(ls "$work"/pkg/kelotari_"$version"_*.deb 2>/dev/null | head -1)
    [ -n "$deb" ] || { cat "$work/cpack.log"; fail "no kelotari_${version}_*.deb was made"; }

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

    dpkg-deb -x "$deb" "$work/root"
    chmod 755 "$work/root"
    check_files "$work/root/usr"
    check_run "$work/root/usr" package
    echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
    echo "Depends: $depends"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS: $mode"
