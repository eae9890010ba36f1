#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and inspects
# it: its name and control fields, the run-time dependencies dpkg-shlibdeps
# found, its files (all under /usr, the programs, every plug-in, menu entry,
# icons, man pages) and maintainer scripts that create nothing.
# Usage: package.sh BUILD_DIR
set -u
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
debs=("$work"/kvzaedit_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no kvzaedit_*.deb: $(ls "$work")"; exit 1; }
deb=${debs[0]}
version=$("$build/bin/kvzaconv" --version | sed 's/^kvzaconv //')
[ "$(basename "$deb")" = "kvzaedit_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "package file name $(basename "$deb")"

# ---- control fields ----
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kvzaedit ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# What the programs and plug-ins link: the dependencies must name each.
for package in libc6 libstdc++6 libqt6widgets6 libqt6core6 libspng0 libjpeg62-turbo; do
    [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] ||
        fail "Depends lacks $package: $depends"
done
[[ "$depends" == *kvza* ]] && fail "Depends names the package's own library: $depends"

# ---- files ----
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/files"
grep -v -q '^usr/' "$work/files" && fail "files outside /usr: $(grep -v '^usr/' "$work/files")"
expected=(usr/bin/kvzaedit usr/bin/kvzaconv usr/lib/kvzaedit/kvzaedit usr/lib/kvzaedit/kvzaconv
          usr/lib/kvzaedit/libkvza.so usr/include/kvza/kvza.h usr/lib/pkgconfig/kvza.pc
          usr/share/applications/kvzaedit.desktop usr/share/icons/hicolor/scalable/apps/kvzaedit.svg
          usr/share/icons/hicolor/16x16/apps/kvzaedit.png
          usr/share/icons/hicolor/256x256/apps/kvzaedit.png
          usr/share/man/man1/kvzaedit.1.gz usr/share/man/man1/kvzaconv.1.gz)
for plugin in "$build"/bin/k*.so; do expected+=("usr/lib/kvzaedit/$(basename "$plugin")"); done
for file in "${expected[@]}"; do grep -qx "$file" "$work/files" || fail "package lacks $file"; done
grep -q 'KVZAEDIT.INI' "$work/files" && fail "the package holds a settings file"
# The programs are stripped (the build keeps its debug information).
dpkg-deb -x "$deb" "$work/root"
file -L "$work/root/usr/lib/kvzaedit/kvzaedit" | grep -q ', stripped' || fail "kvzaedit not stripped"

# ---- maintainer scripts: at most ldconfig, nothing that creates files ----
dpkg-deb -e "$deb" "$work/control"
for script in "$work"/control/*; do
    name=$(basename "$script")
    case $name in control | md5sums | shlibs | triggers) continue ;; esac
    extra=$(grep -v -x -E '#!/bin/sh|set -e|if \[ "\$1" = "(configure|remove)" \]; then|[[:space:]]*ldconfig|fi|' "$script")
    [ -z "$extra" ] || fail "maintainer script $name does more than ldconfig: $extra"
done

[ $failures -eq 0 ] && echo "package checks passed: $(basename "$deb"), Depends: $depends"
exit $((failures > 0))
