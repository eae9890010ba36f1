#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks the installation:
# exactly the expected files (every plug-in of the build's bin/ folder
# included) and nothing outside the prefix; the links in bin/; the installed
# kvzaconv loading its library and plug-ins from the installation; the
# per-user settings of an installed copy (seeded from the file beside the
# program); the menu entry, icons, man pages and the pkg-config file.
# Usage: install_layout.sh SOURCE_DIR BUILD_DIR SAMPLE_PROGRAM
set -u
source=$1
build=$2
sample_program=$3
prefix=/opt/kvza-test
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dest=$work/dest
root=$dest$prefix
lib=$root/lib/kvzaedit
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

DESTDIR=$dest cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }

# ---- the layout: expected entries, nothing missing, nothing else ----
expected=(bin/kvzaedit bin/kvzaconv lib/kvzaedit/kvzaedit lib/kvzaedit/kvzaconv
          lib/kvzaedit/libkvza.so include/kvza/kvza.h lib/pkgconfig/kvza.pc
          share/applications/kvzaedit.desktop share/icons/hicolor/scalable/apps/kvzaedit.svg
          share/man/man1/kvzaedit.1.gz share/man/man1/kvzaconv.1.gz)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/kvzaedit.png")
done
for header in "$source"/plugins/contract/*.h; do expected+=("include/kvza/$(basename "$header")"); done
for plugin in "$build"/bin/k*.so; do expected+=("lib/kvzaedit/$(basename "$plugin")"); done
(cd "$dest" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort) >"$work/found"
printf '%s\n' "${expected[@]}" | sed "s|^|${prefix#/}/|" | sort -u >"$work/expected"
if ! diff -u "$work/expected" "$work/found" >"$work/layout.diff"; then
    fail "installed files differ from the expected layout (- missing, + unexpected):"
    cat "$work/layout.diff"
fi
outside=$(grep -v "^${prefix#/}/" "$work/found")
[ -z "$outside" ] || fail "files outside the prefix: $outside"
for h in kin.h kot.h; do [ -f "$root/include/kvza/$h" ] || fail "contract header $h missing"; done

# ---- links and run paths ----
for program in kvzaedit kvzaconv; do
    [ "$(readlink "$root/bin/$program")" = "../lib/kvzaedit/$program" ] ||
        fail "bin/$program is not a link to ../lib/kvzaedit/$program"
    readelf -d "$lib/$program" | grep -q 'RUNPATH.*\[\$ORIGIN\]' ||
        fail "$program has no \$ORIGIN run path"
done
for plugin in "$build"/bin/k*.so; do
    name=$(basename "$plugin")
    if [ -L "$plugin" ]; then
        [ "$(readlink "$lib/$name")" = "$(readlink "$plugin")" ] || fail "link $name differs"
    fi
done

# ---- the installed converter finds its library, plug-ins and settings ----
export XDG_CONFIG_HOME=$work/config
"$sample_program" "$work/sample.png" >/dev/null 2>&1 || fail "kvzasample failed"
printf '[OutPlug]\ntga=kotbmp.so\n' >"$lib/KVZAEDIT.INI"  # the seed beside the program
LD_DEBUG=libs "$root/bin/kvzaconv" --info "$work/sample.png" >"$work/info.out" 2>"$work/ld.log" ||
    fail "installed kvzaconv --info failed: $(cat "$work/info.out")"
grep -q 'size: 256 x 192' "$work/info.out" || fail "kvzaconv --info: $(cat "$work/info.out")"
loaded=$(sed -n 's/.*calling init: \(.*\)$/\1/p' "$work/ld.log" | grep -E '/(libkvza|kin[a-z]*)\.so$')
grep -q "^$lib/libkvza.so$" <<<"$loaded" || fail "libkvza.so not loaded from $lib: $loaded"
grep -q "^$lib/kinpng.so$" <<<"$loaded" || fail "kinpng.so not loaded from $lib: $loaded"
grep -v -q "^$lib/" <<<"$loaded" && fail "loaded from elsewhere: $loaded"
"$root/bin/kvzaconv" --list-types tga >"$work/types.out" 2>&1
grep -q '^Writer kotbmp.so' "$work/types.out" || fail "the seed's OutPlug was not read: $(cat "$work/types.out")"
user_ini=$XDG_CONFIG_HOME/kvzaedit/KVZAEDIT.INI
grep -q '^tga=kotbmp.so' "$user_ini" 2>/dev/null || fail "per-user file not seeded: $(cat "$user_ini" 2>&1)"
grep -q '^png=kinpng.so' "$user_ini" 2>/dev/null || fail "per-user file lacks the key read: $(cat "$user_ini" 2>&1)"
[ "$(cat "$lib/KVZAEDIT.INI")" = "$(printf '[OutPlug]\ntga=kotbmp.so')" ] ||
    fail "the file beside the installed program was changed"
rm "$lib/KVZAEDIT.INI"
[ "$("$root/bin/kvzaedit" --version)" = "$("$build/bin/kvzaconv" --version | sed 's/kvzaconv/kvzaedit/')" ] ||
    fail "kvzaedit --version: $("$root/bin/kvzaedit" --version)"

# ---- the editor starts offscreen on a picture and keeps its settings per user ----
rm -rf "$XDG_CONFIG_HOME"
QT_QPA_PLATFORM=offscreen "$root/bin/kvzaedit" "$work/sample.png" >/dev/null 2>&1 &
editor=$!
# The picture is open once its reader's key has been read (at most 20 s).
for _ in $(seq 200); do
    grep -q '^png=kinpng.so' "$user_ini" 2>/dev/null && break
    sleep 0.1
done
kill -0 $editor 2>/dev/null || fail "installed kvzaedit ended before it was stopped"
kill $editor 2>/dev/null
wait $editor 2>/dev/null
grep -q '^Default=808080' "$user_ini" 2>/dev/null || fail "editor settings: $(cat "$user_ini" 2>&1)"
grep -q '^png=kinpng.so' "$user_ini" 2>/dev/null || fail "editor did not open the picture"
[ ! -e "$lib/KVZAEDIT.INI" ] || fail "the editor wrote settings beside the installed program"

# ---- menu entry, icons, man pages ----
desktop-file-validate "$root/share/applications/kvzaedit.desktop" || fail "desktop-file-validate"
grep -q '^Exec=kvzaedit %f$' "$root/share/applications/kvzaedit.desktop" || fail "Exec line"
# Every reader installed under an extension's name has its MIME type listed.
mime_of() {
    case $1 in
        bmp) echo image/bmp ;; ico) echo image/vnd.microsoft.icon ;; tga) echo image/x-tga ;;
        png) echo image/png ;; jpg | jpeg) echo image/jpeg ;; *) echo unknown ;;
    esac
}
types=$(sed -n 's/^MimeType=//p' "$root/share/applications/kvzaedit.desktop")
for reader in "$lib"/kin*.so; do
    ext=$(basename "$reader" .so)
    ext=${ext#kin}
    [ "$ext" = wide ] && continue  # the second-chance reader of no extension
    mime=$(mime_of "$ext")
    [[ ";$types" == *";$mime;"* ]] || fail "reader kin$ext.so: MIME type $mime not in MimeType=$types"
done
for size in 16 22 24 32 48 64 128 256; do
    png=$root/share/icons/hicolor/${size}x${size}/apps/kvzaedit.png
    header=$(od -An -tx1 -j12 -N12 "$png" | tr -d ' \n')
    want=$(printf '49484452%08x%08x' "$size" "$size")
    [ "$header" = "$want" ] || fail "icon ${size}x${size}: IHDR $header"
done
for page in kvzaedit kvzaconv; do
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
               man --warnings -E UTF-8 -l -Tutf8 -Z "$root/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $page: $warnings"
    zcat "$root/share/man/man1/$page.1.gz" | grep -q "^.TH ${page^^} 1 .*$page [0-9]" ||
        fail "man page $page has no versioned title"
done

# ---- a program built against the installed headers through pkg-config ----
export PKG_CONFIG_PATH=$root/lib/pkgconfig
cat >"$work/use.c" <<'C'
#include <kin.h>
#include <kot.h>
#include <kvza.h>
#include <stdio.h>
int main(void) {
    KvzaPixel rgb = {1.0f, 0.0f, 0.0f, 1.0f}, out;
    kvza_rgba2kvza(&out, &rgb);
    printf("%s\n", out.a == 1.0f ? "ok" : "bad");
    return 0;
}
C
if cc -o "$work/use" "$work/use.c" $(pkg-config --cflags --libs kvza) 2>"$work/cc.log"; then
    out=$(LD_LIBRARY_PATH=$(pkg-config --variable=libdir kvza) "$work/use")
    [ "$out" = ok ] || fail "program against the installed library printed: $out"
else
    fail "building against the installed headers: $(cat "$work/cc.log")"
fi

[ $failures -eq 0 ] && echo "installation checks passed"
exit $((failures > 0))
