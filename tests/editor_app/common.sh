# Shared by the editor's shell tests: sourced with EDITOR (the zerin-editor binary) and PROBE
# (editor_probe) set, and a scratch folder in WORK.

set -u
WORK=$(mktemp -d)
PIDS=()

cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

skip() {
    echo "SKIP: $*" >&2
    exit 77
}

# Runs "$@" until it succeeds, at most about $1 seconds (a bound on waiting, not a check of
# speed).
wait_for() {
    local tries=$(($1 * 10))
    shift
    while ((tries-- > 0)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Stores user presets for the editor to find: each argument is NAME:FREQ/DELAY,FREQ/DELAY...
write_user_presets() {
    local spec name p points pairs entries=() n=0
    for spec in "$@"; do
        name=${spec%%:*}
        points=()
        IFS=, read -ra pairs <<<"${spec#*:}"
        for p in "${pairs[@]}"; do
            n=$((n + 1))
            points+=("$(printf '{"id": "00000000-0000-4000-8000-%012d", "freq": %s, "delay": %s}' \
                "$n" "${p%/*}" "${p#*/}")")
        done
        n=$((n + 1))
        entries+=("$(printf '{"id": "00000000-0000-4000-8000-%012d", "name": "%s", "points": [%s], "isFactory": false}' \
            "$n" "$name" "$(IFS=,; echo "${points[*]}")")")
    done
    mkdir -p "$ZERIN_CONFIG_DIR"
    printf '{"VeskUserPresets": [%s]}\n' "$(IFS=,; echo "${entries[*]}")" \
        >"$ZERIN_CONFIG_DIR/preferences.json"
}

# The editor must never find a JACK server the person running the tests has started.
export JACK_DEFAULT_SERVER="zerin-editor-test-$$"
export JACK_NO_AUDIO_RESERVATION=1
# Nor the presets of the person running them.
export ZERIN_CONFIG_DIR="$WORK/config"
