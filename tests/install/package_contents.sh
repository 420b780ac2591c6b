#!/usr/bin/env bash
# What the Debian package holds, unpacked into a temporary folder: the program, a valid desktop
# entry and AppStream file, the icon in every size, the manual page and the marker pictures, and
# the control data that gives the program its capability.
# Usage: package_contents.sh <package file> <source folder>
set -uo pipefail
deb="$1" source="$2"
id=com.haldrin.Tarvex
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
ok() { echo "ok:   $*"; }
# expect <what> <command...>: the command must succeed.
expect() {
    local what="$1"
    shift
    if "$@"; then ok "$what"; else fail "$what"; fi
}

case "$(basename "$deb")" in
    tarvex_1.0.0.1_"$(dpkg --print-architecture)".deb) ok "file name $(basename "$deb")" ;;
    *) fail "file name $(basename "$deb") is not tarvex_<version>_<arch>.deb" ;;
esac

root="$work/root"
control="$work/control"
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
dpkg-deb -e "$deb" "$control" || { echo "FAIL: dpkg-deb -e"; exit 1; }
share="$root/usr/share"

# ---- program
expect "program in usr/bin" test -x "$root/usr/bin/tarvex"
expect "unpacked program answers --version" \
    test "$(env -i "$root/usr/bin/tarvex" --version)" = "Tarvex 1.0.0.1"

# ---- the browser module: the map and help windows, loaded when first opened. The program
# itself does not need the browser engine's libraries, so they stay off its start.
module="$root/usr/lib/tarvex/tarvex-browser.so"
expect "browser module in usr/lib/tarvex" test -f "$module"
needed() { readelf -d "$1" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
engine_in_program="$(needed "$root/usr/bin/tarvex" | grep -i webengine)"
expect "program needs no browser engine library${engine_in_program:+: $engine_in_program}" \
    test -z "$engine_in_program"
expect "browser module needs the browser engine" sh -c "readelf -d '$module' | grep -q 'libQt6WebEngineWidgets'"
expect "program exports what the module takes from it" \
    sh -c "nm -DC --defined-only '$root/usr/bin/tarvex' | grep -q ' MapPageUrl()$'"

# ---- hardening, as Debian builds its packages: both binaries read-only after relocation with
# every symbol bound at start (full RELRO), their functions guarded by the stack protector, the
# program position independent and calling glibc's checked (fortified) string and memory calls.
# What readelf shows of the stripped files is what hardening-check looks at.
hardened() {
    local file="$1" what="$2"
    local headers dynamic symbols
    headers="$(readelf -lW "$file" 2>/dev/null)"
    dynamic="$(readelf -dW "$file" 2>/dev/null)"
    symbols="$(readelf --dyn-syms -W "$file" 2>/dev/null)"
    case "$what" in
        relro) grep -q ' GNU_RELRO ' <<<"$headers" ;;
        bindnow) grep -qE '\((FLAGS|FLAGS_1)\).*\b(BIND_NOW|NOW)\b' <<<"$dynamic" ;;
        pie) grep -qE '\(FLAGS_1\).*\bPIE\b' <<<"$dynamic" ;;
        stack) grep -qE ' UND +__stack_chk_fail\b' <<<"$symbols" ;;
        fortify) grep -qE ' UND +__[a-z_]+_chk\b' <<<"$symbols" ;;
    esac
}
for file in "$root/usr/bin/tarvex" "$module"; do
    name="${file#"$root"}"
    expect "$name has full RELRO" hardened "$file" relro
    expect "$name binds every symbol at start (BIND_NOW)" hardened "$file" bindnow
    expect "$name has the stack protector" hardened "$file" stack
done
expect "/usr/bin/tarvex is position independent" hardened "$root/usr/bin/tarvex" pie
# The module is compiled alike, but the few glibc calls it makes have sizes known only at run
# time, which fortify cannot check; the program shows it in the calls it does check.
expect "/usr/bin/tarvex calls fortified functions" hardened "$root/usr/bin/tarvex" fortify

# ---- desktop entry
desktop="$share/applications/$id.desktop"
expect "desktop entry passes desktop-file-validate" desktop-file-validate "$desktop"
for line in "Exec=tarvex %u" "Icon=$id" "Categories=Network;Monitor;" "Type=Application"; do
    expect "desktop entry has $line" grep -qxF "$line" "$desktop"
done
for word in ping whois geolocation; do
    expect "desktop entry keyword $word" grep -qE "^Keywords=(.*;)?$word;" "$desktop"
done

# ---- AppStream
metainfo="$share/metainfo/$id.metainfo.xml"
expect "AppStream file passes appstreamcli validate --no-net" \
    appstreamcli validate --no-net "$metainfo"
for element in "<id>$id</id>" "<summary>" "<description>" "<screenshot type=\"default\">" \
    "<release version=\"1.0.0.1\"" "<content_rating type=\"oars-1.1\"" \
    "<launchable type=\"desktop-id\">$id.desktop</launchable>"; do
    expect "AppStream file holds $element" grep -qF "$element" "$metainfo"
done

# ---- icon: the drawing, and bitmaps of the sizes their folders promise
icons="$share/icons/hicolor"
expect "scalable icon is the program's drawing" \
    cmp -s "$icons/scalable/apps/$id.svg" "$source/resources/icons/about.svg"
for size in 48 128 256; do
    png="$icons/${size}x${size}/apps/$id.png"
    # A PNG's width and height are the big-endian numbers at bytes 16 and 20.
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" 2>/dev/null |
        awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    expect "icon ${size}x${size} is a ${size} by ${size} PNG" \
        test "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')/${width:-}x${height:-}" = \
        "89504e470d0a1a0a/${size}x${size}"
done

# ---- manual page: compressed, well-formed, and covering what the program reads and returns
manual="$share/man/man1/tarvex.1.gz"
expect "manual page is compressed" gzip -t "$manual"
warnings="$(zcat "$manual" | groff -man -Tutf8 -ww -z 2>&1)"
expect "manual page formats without warnings${warnings:+: $warnings}" test -z "$warnings"
# One long line per paragraph and no hyphenation, so that no name is broken apart.
text="$(zcat "$manual" | groff -man -Tutf8 -P-cbou -rLL=1000n -rHY=0 2>/dev/null)"
for needle in NAME SYNOPSIS OPTIONS FILES ENVIRONMENT "EXIT STATUS" --help --version \
    Haldrin/Tarvex/System/Tarvex.ini "PING SYSTEM SETTINGS" "PING GRAPH SETTINGS" \
    "PING FONT SETTINGS" "GOOGLE MAPS ID" "[SERVICES]" "Whois Server" "Geolocation URL" \
    "Download URL" "Release Page URL" XDG_DOWNLOAD_DIR "Help URL" "Maps Script URL" "Public Map URL" "Mail Server" "Mail From" \
    "Mail To" "Mail Password" Marker.png Flag.png /usr/share/tarvex XDG_DOCUMENTS_DIR DISPLAY; do
    if grep -qF -- "$needle" <<<"$text"; then ok "manual page names $needle"; else fail "manual page names $needle"; fi
done
# The runs without a window, and the field names that scripts read.
for needle in "RUNS WITHOUT A WINDOW" --ping --trace --whois --locate --format --settings \
    "OUTPUT FORMATS" results.schema.json time_ms loss_percent status_text jitter_ms last_ms \
    country_code line_no; do
    if grep -qF -- "$needle" <<<"$text"; then ok "manual page names $needle"; else fail "manual page names $needle"; fi
done

# ---- the package's own documents
expect "copyright file" grep -qF "Copyright: 2014-2026 Haldrin" "$share/doc/tarvex/copyright"
expect "change log names this version" \
    sh -c "zcat '$share/doc/tarvex/changelog.gz' | head -n 1 | grep -qF 'tarvex (1.0.0.1)'"

# ---- marker pictures
for picture in Marker.png Flag.png; do
    expect "picture $picture in share/tarvex" \
        cmp -s "$share/tarvex/$picture" "$source/resources/images/$picture"
done

# ---- control data
expect "Depends lists the shared libraries' packages" \
    grep -qE '^Depends:.*libqt6core6.*' "$control/control"
expect "Depends lists the browser engine's package" \
    grep -qE '^Depends:.*libqt6webenginewidgets6' "$control/control"
expect "Depends lists libcurl, which the program loads when it first calls it" \
    grep -qE '^Depends:.*libcurl4' "$control/control"
expect "Depends lists setcap's package" grep -qE '^Depends:.*libcap2-bin' "$control/control"
expect "Depends lists the offline location database" \
    grep -qE '^Depends:.*libloc-database' "$control/control"
expect "Depends lists the system's Leaflet and its cluster plugin" \
    grep -qE '^Depends:.*libjs-leaflet, libjs-leaflet\.markercluster' "$control/control"
expect "postinst is executable" test -x "$control/postinst"
expect "postinst gives the program cap_net_raw+ep" \
    grep -qF 'setcap cap_net_raw+ep "$PROGRAM"' "$control/postinst"
expect "postinst names the installed program" grep -qxF 'PROGRAM=/usr/bin/tarvex' "$control/postinst"

# Nothing beyond the layout above is installed.
unexpected="$(cd "$root" && find . -type f | sort | grep -vE "^\./usr/(bin/tarvex|lib/tarvex/tarvex-browser\.so|share/(applications/$id\.desktop|metainfo/$id\.metainfo\.xml|icons/hicolor/(scalable/apps/$id\.svg|(48x48|128x128|256x256)/apps/$id\.png)|man/man1/tarvex\.1\.gz|doc/tarvex/(copyright|changelog\.gz)|tarvex/(Marker|Flag)\.png))$")"
expect "no other files${unexpected:+: $unexpected}" test -z "$unexpected"

[ "$failures" -eq 0 ]
