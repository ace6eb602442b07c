#!/usr/bin/env bash
# cpack -G DEB gives packages that lintian passes (no error, no warning) and that holds the
# programs stripped, their manual pages, the editor's desktop entry, icons and AppStream
# metadata, the copyright file and the changelog; zerin-dbgsym holds the debug information
# of every binary. One version everywhere: --version, the file names, the control file, the
# changelog, the plug-ins' Turtle and the AppStream release. The desktop entry and the
# metadata pass their validators. Tools that are not installed are left out of the check.
#
#   package_test.sh BUILD_DIR
set -u
BUILD=$1
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is not installed" >&2; exit 77; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$("$BUILD/apps/zerin-render/zerin-render" --version) || fail "zerin-render --version"
version=${version#zerin-render }
editor=$("$BUILD/apps/zerin-editor/zerin-editor" --version) || fail "zerin-editor --version"
[[ ${editor#zerin-editor } == "$version" ]] || fail "the programs disagree: $version, $editor"

cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$WORK/cpack.log")"
deb=$WORK/out/zerin_${version}_amd64.deb
[[ -f $deb ]] || fail "no $(basename "$deb"): $(ls "$WORK/out")"
[[ -f $WORK/out/zerin-dbgsym_${version}_amd64.ddeb ]] || fail "no zerin-dbgsym package"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "the control file's version differs"
dpkg-deb -x "$deb" "$WORK/root"
dpkg-deb -x "$WORK/out/zerin-dbgsym_${version}_amd64.ddeb" "$WORK/debug"
share=$WORK/root/usr/share
for file in man/man1/zerin-render.1.gz man/man1/zerin-editor.1.gz doc/zerin/copyright \
    doc/zerin/changelog.gz applications/org.zerin_audio.zerin.desktop \
    metainfo/org.zerin_audio.zerin.metainfo.xml; do
    [[ -f $share/$file ]] || fail "$file is not in the package"
done
for size in 16 32 48 64 128 256; do
    icon=$share/icons/hicolor/${size}x$size/apps/org.zerin_audio.zerin.png
    file "$icon" | grep -q "PNG image data, $size x $size" || fail "no $size px icon"
done

# Every binary stripped, its debug information in zerin-dbgsym under its build id.
for binary in usr/bin/zerin-render usr/bin/zerin-editor usr/lib/lv2/zerin.lv2/zerin_dsp.so \
    usr/lib/lv2/zerin.lv2/zerin_ui.so; do
    file "$WORK/root/$binary" | grep -q ", stripped" || fail "$binary is not stripped"
    id=$(readelf -n "$WORK/root/$binary" | sed -n 's/.*Build ID: //p')
    debug=$WORK/debug/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug
    readelf -S "$debug" 2>/dev/null | grep -q "\.debug_info" || fail "no debug info for $binary"
done

# One version everywhere.
changelog=$(zcat "$share/doc/zerin/changelog.gz" | head -1)
[[ $changelog == "zerin ($version) "* ]] || fail "the changelog starts \"$changelog\""
grep -qF "<release version=\"$version\"" "$share/metainfo/org.zerin_audio.zerin.metainfo.xml" ||
    fail "the AppStream release is not $version"
IFS=. read -r _ minor micro <<<"$version"
ttl=$WORK/root/usr/lib/lv2/zerin.lv2/zerin.ttl
[[ $(grep -c "lv2:minorVersion $minor ;" "$ttl") == 2 ]] || fail "lv2:minorVersion is not $minor"
[[ $(grep -c "lv2:microVersion $micro ;" "$ttl") == 2 ]] || fail "lv2:microVersion is not $micro"

if command -v lintian >/dev/null; then
    # Informational tags (I:) may stay; errors and warnings may not.
    lintian --tag-display-limit 0 "$deb" "$WORK/out/zerin-dbgsym_${version}_amd64.ddeb" \
        >"$WORK/lintian" 2>&1
    grep -E "^[EW]: " "$WORK/lintian" && fail "lintian: $(cat "$WORK/lintian")"
else
    echo "lintian is not installed: left out" >&2
fi
if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$share/applications/org.zerin_audio.zerin.desktop" 2>&1)
    [[ -z $out ]] || fail "desktop-file-validate: $out"
fi
if command -v appstreamcli >/dev/null; then
    # --no-net: the screenshot and homepage are not fetched (no network in CI).
    appstreamcli validate --no-net --pedantic "$share/metainfo/org.zerin_audio.zerin.metainfo.xml" \
        >"$WORK/appstream" 2>&1 || fail "appstreamcli: $(cat "$WORK/appstream")"
    grep -qE "^[EWIP]: " "$WORK/appstream" && fail "appstreamcli: $(cat "$WORK/appstream")"
fi
echo "PASS"
