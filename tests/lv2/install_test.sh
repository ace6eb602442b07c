#!/usr/bin/env bash
# `cmake --install` puts the bundle under lib/lv2 and both programs under bin, and hosts find
# the installed plug-ins and their editor there.
#
#   install_test.sh BUILD_DIR
set -u
BUILD=$1
command -v lv2info >/dev/null || { echo "SKIP: lv2info is not installed" >&2; exit 77; }
PREFIX=$(mktemp -d)
trap 'rm -rf "$PREFIX"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null || fail "cmake --install failed"
for file in bin/zerin-render bin/zerin-editor lib/lv2/zerin.lv2/zerin_dsp.so \
    lib/lv2/zerin.lv2/zerin_ui.so lib/lv2/zerin.lv2/manifest.ttl lib/lv2/zerin.lv2/zerin.ttl \
    lib/lv2/zerin.lv2/presets.ttl; do
    [[ -f $PREFIX/$file ]] || fail "$file is not installed"
done
for uri in https://zerin-audio.org/lv2/zerin/stereo https://zerin-audio.org/lv2/zerin/mono; do
    info=$(LV2_PATH="$PREFIX/lib/lv2:/usr/lib/lv2" lv2info "$uri" 2>&1)
    grep -q "Binary:  *file://$PREFIX/lib/lv2/zerin.lv2/zerin_dsp.so" <<<"$info" ||
        fail "$uri not found in the installed bundle: $info"
    grep -q "https://zerin-audio.org/lv2/zerin/ui" <<<"$info" || fail "$uri has no editor"
done
"$PREFIX/bin/zerin-render" --list-parameters >/dev/null || fail "the installed zerin-render does not run"
echo "PASS"
