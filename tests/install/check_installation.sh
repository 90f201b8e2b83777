#!/usr/bin/env bash
# The program as a Linux desktop gets it, checked from the outside.
#   install: `cmake --install` into a fresh prefix puts every piece in its place; the menu entry
#            and the software-centre description pass their validators and name what was
#            installed; help and version print without a display; the man pages cover every
#            option the programs' help lists.
#   package: the Debian package builds under its Debian name, holds the same pieces and
#            depends on the libraries the programs use.
# Usage: check_installation.sh install|package BUILD_DIR VERSION
set -euo pipefail

mode=$1
build=$2
version=$3
id=org.example.vaultix
work=$(mktemp -d /tmp/vaultix-install-check.XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

pieces=(bin/vaultix bin/vaultix-sim
        share/vaultix/user-guide.html share/vaultix/screenshots/main-window.png
        share/doc/vaultix/user-guide.html share/doc/vaultix/screenshots
        "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"
        share/icons/hicolor/48x48/apps/vaultix.png share/icons/hicolor/128x128/apps/vaultix.png
        share/icons/hicolor/256x256/apps/vaultix.png share/icons/hicolor/scalable/apps/vaultix.svg
        share/man/man1/vaultix.1 share/man/man1/vaultix-sim.1)
if [ -x "$build/tools/cli/vaultix-cli" ]; then
    pieces+=(bin/vaultix-cli)
fi

check_install() {
    local prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >/dev/null
    for piece in "${pieces[@]}"; do
        [ -e "$prefix/$piece" ] || fail "$piece is not installed"
    done
    # The documentation folder's links lead to the guide Help shows.
    cmp -s "$prefix/share/doc/vaultix/user-guide.html" "$prefix/share/vaultix/user-guide.html" ||
        fail "share/doc/vaultix/user-guide.html is not the installed guide"

    for size in 48 128 256; do
        file -L "$prefix/share/icons/hicolor/${size}x$size/apps/vaultix.png" |
            grep -q "PNG image data, $size x $size," || fail "the $size pixel icon has another size"
    done

    local entry=$prefix/share/applications/$id.desktop
    desktop-file-validate "$entry" || fail "desktop-file-validate refuses $entry"
    [ "$(sed -n 's/^Exec=//p' "$entry")" = vaultix ] || fail "the menu entry does not start vaultix"
    [ "$(sed -n 's/^Icon=//p' "$entry")" = vaultix ] || fail "the menu entry names another icon"
    grep -qx 'Categories=Utility;' "$entry" || fail "the menu entry is not in Utility"

    local metainfo=$prefix/share/metainfo/$id.metainfo.xml
    appstreamcli validate --no-net "$metainfo" >/dev/null ||
        appstreamcli validate --no-net "$metainfo" || fail "appstreamcli refuses $metainfo"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "the AppStream file launches another menu entry"
    grep -q '<screenshot type="default">' "$metainfo" || fail "the AppStream file has no screenshot"

    # A fresh user: the installed program keeps its settings in the user's config folder.
    local home=$work/home
    mkdir -p "$home"
    local help
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_CONFIG_HOME HOME="$home" \
        "$prefix/bin/vaultix" --help) || fail "vaultix --help failed"
    grep -q '^Usage: vaultix' <<<"$help" || fail "vaultix --help: $help"
    grep -qx "Settings file: $home/.config/vaultix/Vaultix.ini" <<<"$help" ||
        fail "the installed program does not keep its settings per user: $help"
    grep -qx "User guide: *$prefix/share/vaultix/user-guide.html" <<<"$help" ||
        fail "the installed program does not show the installed guide: $help"
    [ "$(env -u DISPLAY "$prefix/bin/vaultix" --version)" = "vaultix $version" ] ||
        fail "vaultix --version does not print $version"
    [ ! -e "$home/.config" ] || fail "--help wrote into the home folder"

    # Every option a program's help names is in its man page; each page is well-formed.
    local program page option programs=(vaultix vaultix-sim)
    [ -e "$prefix/share/man/man1/vaultix-cli.1" ] && programs+=(vaultix-cli)
    for program in "${programs[@]}"; do
        page=$prefix/share/man/man1/$program.1
        LC_ALL=C.UTF-8 groff -Tutf8 -man -ww -z "$page" 2>"$work/groff.txt"
        [ ! -s "$work/groff.txt" ] || fail "$program.1: $(cat "$work/groff.txt")"
        grep -q "@PROJECT_VERSION@" "$page" && fail "$program.1 carries no version"
        for option in $(env -u DISPLAY "$prefix/bin/$program" --help | grep -o -- '--[a-z][a-z-]*' |
            sort -u); do
            grep -qF -- "${option//-/\\-}" "$page" || fail "$program.1 does not describe $option"
        done
    done
}

check_package() {
    (cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.txt" 2>&1) ||
        fail "cpack: $(cat "$work/cpack.txt")"
    local deb
    deb=$work/out/vaultix_${version}_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work/out")"
    dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||; s|/$||' >"$work/contents.txt"
    for piece in "${pieces[@]}"; do
        grep -qx "usr/$piece" "$work/contents.txt" || fail "the package lacks /usr/$piece"
    done
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
        grep -q "\b$library\b" <<<"$depends" || fail "the package does not depend on $library: $depends"
    done
}

case "$mode" in
    install) check_install ;;
    package) check_package ;;
    *) fail "usage: check_installation.sh install|package BUILD_DIR VERSION" ;;
esac
echo "$mode: every piece in place"
