#!/usr/bin/env bash
# Each program's manual page, as the build writes it, lists every option and positional its
# --help lists, names the version --version prints, and renders under man without a warning.
#
#   manual_test.sh PAGES_DIR PROGRAM...
set -u
PAGES=$1
shift
fail() { echo "FAIL: $*" >&2; exit 1; }

for program in "$@"; do
    name=$(basename "$program")
    page=$PAGES/$name.1
    [[ -f $page ]] || fail "$page was not written"
    version=$("$program" --version) || fail "$name --version exited $?"
    [[ $version =~ ^$name\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$name --version said \"$version\""
    grep -qF "\"Zerin ${version#* }\"" "$page" || fail "$page does not name version ${version#* }"
    help=$("$program" --help) || fail "$name --help exited $?"
    # The page as read: roff's minus signs back to the hyphens one types.
    text=$(sed 's/\\-/-/g; s/\\f[BIR]//g' "$page")
    if command -v man >/dev/null; then
        warnings=$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
        [[ -z $warnings ]] || fail "man -l $page warns: $warnings"
        text=$(LC_ALL=C.UTF-8 MANWIDTH=1000 man -l "$page" 2>/dev/null)
    fi
    # The first column of --help: "-o,--output", "--state", and positionals such as "INPUT".
    options=$(awk '/^(Options|Positionals):/ { list = 1; next }
                   list && /^  [^ ]/ { gsub(",", " ", $1); print $1 }' <<<"$help")
    [[ -n $options ]] || fail "no options found in $name --help"
    for option in $options; do
        grep -qE -- "(^|[ ,])$option([ ,]|$)" <<<"$text" || fail "$name(1) lacks $option"
    done
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
        grep -q "^\.SH \"\?$section\"\?$" "$page" || fail "$name(1) has no $section section"
    done
    grep -qF "preferences.json" "$page" || fail "$name(1) does not name the preference store"
done
echo "PASS"
