#!/usr/bin/env bash
# The program as a Linux desktop gets it, checked from the outside.
#   install: `cmake --install` into a fresh prefix puts every piece in its place; the menu entry
#            and the software-centre description pass their validators without a warning and
#            name what was installed; help and version print without a display; each man page
#            carries the version and a date, and it and the program's help name the same
#            options, every one of them in both synopses.
#   package: scripts/package builds the Debian package and its -dbgsym package under their
#            Debian names from a copy of the source tree; the package holds the same pieces and
#            depends on the libraries the programs use; lintian finds no error, no warning and
#            no missing hardening.
#   setup:   scripts/setup, for a user who is not root and has no sudo, installs nothing and
#            names the command to run as root.
# Usage: check_installation.sh install|package|setup BUILD_DIR VERSION
set -euo pipefail

mode=$1
build=$2
version=$3
source=$(cd "$(dirname "$0")/../.." && pwd)
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
        "share/mime/packages/$id.xml"
        share/icons/hicolor/48x48/apps/vaultix.png share/icons/hicolor/128x128/apps/vaultix.png
        share/icons/hicolor/256x256/apps/vaultix.png share/icons/hicolor/scalable/apps/vaultix.svg
        share/man/man1/vaultix.1.gz share/man/man1/vaultix-sim.1.gz)
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
    [ "$(sed -n 's/^Exec=//p' "$entry")" = "vaultix %f" ] || fail "the menu entry does not start vaultix"
    # A file manager opens the backup types with the program.
    local type
    for type in $(sed -n 's/^MimeType=//p' "$entry" | tr ';' ' '); do
        grep -q "<mime-type type=\"$type\">" "$prefix/share/mime/packages/$id.xml" ||
            fail "the menu entry names $type, which no installed type file defines"
    done
    [ "$(sed -n 's/^Icon=//p' "$entry")" = vaultix ] || fail "the menu entry names another icon"
    grep -qx 'Categories=Utility;' "$entry" || fail "the menu entry is not in Utility"
    # The window's class (WM_CLASS) is the application name; the end-to-end case of the
    # installed program compares it with a running window.
    grep -qx 'StartupWMClass=Vaultix' "$entry" || fail "the menu entry names no window class"

    local metainfo=$prefix/share/metainfo/$id.metainfo.xml said
    said=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli refuses: $said"
    ! grep -q '^[EW]:' <<<"$said" || fail "appstreamcli warns: $said"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "the AppStream file launches another menu entry"
    grep -q '<screenshot type="default">' "$metainfo" || fail "the AppStream file has no screenshot"
    grep -q "<release version=\"$version\" date=\"[0-9-]*\">" "$metainfo" ||
        fail "the AppStream file lists no release $version"

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

    local program page
    for program in vaultix vaultix-sim vaultix-cli; do
        page=$prefix/share/man/man1/$program.1.gz
        [ -x "$prefix/bin/$program" ] || continue
        check_man_page "$prefix/bin/$program" "$page"
    done
    [ -z "$(find "$prefix/share/man" -name '*.1')" ] || fail "a man page is installed uncompressed"
}

# The long options a text names, one a line; roff's "\-" read as "-".
options_in() {
    sed 's/\\-/-/g' | grep -o -- '--[a-z][a-z-]*' | sort -u
}

# A man page is well-formed, carries the version and a date, and names the options the
# program's help names (with vaultix-cli, its commands' help too). Every option the page names
# is in its SYNOPSIS, and, for the window and the command line, in the help's synopsis: the
# lines before the first one that describes an option.
check_man_page() {
    local program=$1 page=$2 name help commands=""
    name=$(basename "$program")
    zcat "$page" >"$work/page.1"
    LC_ALL=C.UTF-8 groff -Tutf8 -man -ww -z "$work/page.1" 2>"$work/groff.txt"
    [ ! -s "$work/groff.txt" ] || fail "$name.1: $(cat "$work/groff.txt")"
    head -1 "$work/page.1" | grep -qE "^\.TH [A-Z-]+ 1 \"[0-9]{4}-[0-9]{2}-[0-9]{2}\" \"Vaultix $version\"" ||
        fail "$name.1 carries no version or date: $(head -1 "$work/page.1")"

    help=$(env -u DISPLAY "$program" --help)
    [ "$name" != vaultix-cli ] || commands="ports save restore list diff extract join"
    local all_help=$help command
    for command in $commands; do
        all_help+=$'\n'$(env -u DISPLAY "$program" "$command" --help)
    done
    options_in <<<"$all_help" >"$work/help-options"
    options_in <"$work/page.1" >"$work/page-options"
    diff "$work/help-options" "$work/page-options" >"$work/options-diff" ||
        fail "$name: its help (<) and its man page (>) name other options: $(cat "$work/options-diff")"

    # The simulator is a test tool: its page lists the options it takes under OPTIONS.
    [ "$name" != vaultix-sim ] || return 0
    sed -n '/^\.SH SYNOPSIS/,/^\.SH [^S]/p' "$work/page.1" | options_in >"$work/synopsis"
    diff "$work/page-options" "$work/synopsis" >"$work/options-diff" ||
        fail "$name.1: its SYNOPSIS lacks $(grep '^<' "$work/options-diff" | tr -d '<' | xargs)"
    awk '/^ +--[a-z]/ { exit } { print }' <<<"$help" | options_in >"$work/synopsis"
    diff "$work/page-options" "$work/synopsis" >"$work/options-diff" ||
        fail "$name --help: its synopsis lacks $(grep '^<' "$work/options-diff" | tr -d '<' | xargs)"
}

check_package() {
    "$source/scripts/package" "$work/out" >"$work/build.txt" 2>&1 ||
        fail "scripts/package: $(tail -40 "$work/build.txt")"
    local architecture deb dbgsym
    architecture=$(dpkg --print-architecture)
    deb=$work/out/vaultix_${version}_$architecture.deb
    dbgsym=$work/out/vaultix-dbgsym_${version}_$architecture.deb
    [ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work/out")"
    [ -f "$dbgsym" ] || fail "no $(basename "$dbgsym"): $(ls "$work/out")"
    dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||; s|/$||' >"$work/contents.txt"
    for piece in "${pieces[@]}" bin/vaultix-cli share/man/man1/vaultix-cli.1.gz \
        share/doc/vaultix/copyright share/doc/vaultix/changelog.gz; do
        grep -qx "usr/$piece" "$work/contents.txt" || fail "the package lacks /usr/$piece"
    done
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
        grep -q "\b$library\b" <<<"$depends" || fail "the package does not depend on $library: $depends"
    done

    # Information tags too: the hardening of BIND_NOW and of fortified functions is told there.
    lintian --display-info "$deb" "$dbgsym" >"$work/lintian.txt" 2>&1 ||
        fail "lintian: $(cat "$work/lintian.txt")"
    ! grep -E '^[EW]: |hardening' "$work/lintian.txt" ||
        fail "lintian: $(cat "$work/lintian.txt")"
}

# A machine where nothing is installed yet, as a user without root and without sudo sees it:
# dpkg-query knows no package and id says "not root".
check_setup() {
    local bin=$work/bin
    mkdir -p "$bin"
    printf '#!/bin/sh\nexit 1\n' >"$bin/dpkg-query"
    printf '#!/bin/sh\necho 1000\n' >"$bin/id"
    ln -s "$(command -v grep)" "$bin/grep"
    ln -s "$(command -v cat)" "$bin/cat"
    chmod +x "$bin/dpkg-query" "$bin/id"
    local said status=0
    said=$(PATH=$bin "$(command -v bash)" "$source/scripts/setup" 2>&1) || status=$?
    [ "$status" -eq 1 ] || fail "scripts/setup ended with $status: $said"
    grep -q "Vaultix needs these Debian packages" <<<"$said" || fail "scripts/setup: $said"
    grep -qx "    apt-get update && apt-get install -y --no-install-recommends g++ cmake .*qt6-base-dev.*" \
        <<<"$said" || fail "scripts/setup names no command to run: $said"
    ! grep -q "libgtest-dev" <<<"$said" || fail "scripts/setup wants the test frameworks to run: $said"
}

case "$mode" in
    install) check_install ;;
    package) check_package ;;
    setup) check_setup ;;
    *) fail "usage: check_installation.sh install|package|setup BUILD_DIR VERSION" ;;
esac
echo "$mode: passed"
