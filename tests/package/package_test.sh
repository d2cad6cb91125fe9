#!/usr/bin/env bash
# Installs the build into scratch folders (plain and stripped) and, where dpkg-deb is present, builds the
# Debian package, reads it back and installs and removes it in a scratch root (never on this machine). Every failed check is reported; the status is 1 when any failed.
set -uo pipefail

build=$1 cmake=$2 cpack=$3 media=$4 version=$5
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# The entry count on a container's "# container PATH base B length L entries N" line.
entries() { "$build/tools/kestmsf/kestmsf" list "$1" 2>/dev/null | sed -n '1s/.* entries //p'; }

want_entries=$(entries "$media")
[ -n "$want_entries" ] || fail "cannot list the demo container $media"

# A tree holds the programs, the man pages, the desktop entry, the hack registration and the daemon's
# link, and its kestapp carries the whole demo container and runs.
check_tree() {
    local root=$1 what=$2 f
    for f in usr/bin/kestapp usr/bin/kestmsf usr/bin/kestimg usr/bin/kestdemo usr/bin/kestplay; do
        [ -x "$root/$f" ] || fail "$what: $f is missing or not executable"
    done
    for f in usr/share/man/man1/{kestapp,kestmsf,kestimg,kestdemo,kestplay}.1.gz usr/share/applications/kestapp.desktop \
        usr/share/xscreensaver/config/kestapp.xml usr/share/doc/kestapp/{copyright,changelog.Debian.gz}; do
        [ -s "$root/$f" ] || fail "$what: $f is missing or empty"
    done
    [ "$(readlink "$root/usr/libexec/xscreensaver/kestapp")" = ../../bin/kestapp ] ||
        fail "$what: usr/libexec/xscreensaver/kestapp is not a link to ../../bin/kestapp"
    [ -x "$root/usr/libexec/xscreensaver/kestapp" ] || fail "$what: the daemon's link does not resolve"
    [ "$(entries "$root/usr/bin/kestapp")" = "$want_entries" ] ||
        fail "$what: kestapp does not carry the $want_entries entries of the demo container"
    [ "$("$root/usr/bin/kestapp" --version)" = "kestapp $version" ] || fail "$what: kestapp --version"
    if command -v python3 >/dev/null; then
        python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' \
            "$root/usr/share/xscreensaver/config/kestapp.xml" || fail "$what: kestapp.xml is not well-formed XML"
    fi
    grep -q "^Exec=kestapp /s$" "$root/usr/share/applications/kestapp.desktop" ||
        fail "$what: the desktop entry does not start the show"
    zgrep -q '^\.TH KESTAPP 1 .*KestApp '"$version" "$root/usr/share/man/man1/kestapp.1.gz" ||
        fail "$what: the man page does not carry the version"
}

# The plain install and a stripping one: stripping drops the appended container, the install puts it back.
for mode in plain strip; do
    flags=()
    [ $mode = strip ] && flags=(--strip)
    if DESTDIR="$scratch/$mode" "$cmake" --install "$build" --prefix /usr "${flags[@]}" >"$scratch/$mode.log" 2>&1; then
        check_tree "$scratch/$mode" "install ($mode)"
    else
        fail "cmake --install ($mode) failed:"
        cat "$scratch/$mode.log" >&2
    fi
done

if command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null && command -v dpkg >/dev/null; then
    if "$cpack" -G DEB -B "$scratch/deb" --config "$build/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1; then
        debs=("$scratch"/deb/kestapp_"$version"_*.deb)
        deb=${debs[0]}
        if [ ! -f "$deb" ]; then
            fail "cpack wrote no kestapp_${version}_ARCH.deb"
        else
            field() { dpkg-deb -f "$deb" "$1"; }
            [ "$(field Package)" = kestapp ] || fail "package name: $(field Package)"
            [ "$(field Version)" = "$version" ] || fail "package version: $(field Version)"
            [ -n "$(field Maintainer)" ] || fail "the package has no maintainer"
            [ -n "$(field Description)" ] || fail "the package has no description"
            depends=$(field Depends)
            for dep in fonts-dejavu-core libc6 libsdl2 libjpeg62-turbo libfreetype6 libpng16; do
                [[ ",$depends" == *", $dep"* || "$depends" == "$dep"* ]] || fail "Depends lacks $dep: $depends"
            done
            [[ "$(field Recommends)" == *xscreensaver* ]] || fail "the package does not recommend xscreensaver"
            dpkg-deb -c "$deb" >"$scratch/contents" || fail "dpkg-deb -c failed"
            grep -q ' ./usr/libexec/xscreensaver/kestapp -> ../../bin/kestapp$' "$scratch/contents" ||
                fail "the package lacks the daemon's link"
            grep -q ' root/root ' "$scratch/contents" || fail "the package's files are not owned by root"
            # Read back, not installed: the unpacked tree passes the same checks as an install.
            dpkg-deb -x "$deb" "$scratch/unpacked" && check_tree "$scratch/unpacked" "package"
            # dpkg installs it into a scratch root whose database is a copy of this machine's, so the
            # dependencies must be met by what is installed here; removal must leave no file behind.
            root=$scratch/root
            mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info"
            cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
            dpkg=(dpkg --root="$root" --force-not-root --log=/dev/null)
            if "${dpkg[@]}" -i "$deb" >"$scratch/dpkg.log" 2>&1; then
                check_tree "$root" "dpkg install"
                "${dpkg[@]}" --purge kestapp >>"$scratch/dpkg.log" 2>&1 || fail "dpkg --purge kestapp failed"
                left=$(find "$root" -path "$root/var" -prune -o ! -type d -print)
                [ -z "$left" ] || fail "removing the package left: $left"
            else
                fail "dpkg -i into a scratch root failed:"
                grep -v 'files list file for package' "$scratch/dpkg.log" >&2
            fi
        fi
    else
        fail "cpack -G DEB failed:"
        cat "$scratch/cpack.log" >&2
    fi
else
    echo "dpkg, dpkg-deb or dpkg-shlibdeps is missing: the package is not built"
fi

[ $failures -eq 0 ] && echo "all package checks passed"
[ $failures -eq 0 ]
