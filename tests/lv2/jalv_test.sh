#!/usr/bin/env bash
# jalv on a dummy JACK server loads a saved state directory: its control values and its curve
# are what is heard. A curve of 2000 ms everywhere (mix 100 %, no feedback) keeps the first
# second silent; a curve of 0 ms lets the clicks through at once.
#
#   jalv_test.sh BUNDLE_PARENT_DIR WAV_TOOL
set -u
LV2_DIR=$1
LEVEL=$2
URI=https://zerin-audio.org/lv2/zerin/stereo
CURVE_URI=https://zerin-audio.org/lv2/zerin#curve

for tool in jackd jalv jack_metro jack_rec jack_connect jack_lsp; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done

WORK=$(mktemp -d)
PIDS=()
cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
wait_for() { # seconds, command...: a bound on waiting, not a check of speed
    local tries=$(($1 * 10)); shift
    while ((tries-- > 0)); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}

export JACK_DEFAULT_SERVER="zerin-lv2-test-$$" JACK_NO_AUDIO_RESERVATION=1
export LV2_PATH="$LV2_DIR:/usr/lib/lv2"

jackd -r -d dummy -r 48000 -p 512 -C 2 -P 2 >"$WORK/jackd.log" 2>&1 &
PIDS+=($!)
wait_for 10 jack_lsp || fail "jackd did not start: $(cat "$WORK/jackd.log")"
jack_metro -n src -b 240 -f 880 -A 0.5 -D 20 >/dev/null 2>&1 &
PIDS+=($!)
wait_for 10 sh -c "jack_lsp | grep -q '^src:'" || fail "jack_metro did not start"

# A state directory as jalv.gtk3's File > Save writes it.
state_dir() { # dir delay_ms
    mkdir -p "$1"
    cat >"$1/manifest.ttl" <<TTL
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
<state.ttl> a pset:Preset ; lv2:appliesTo <$URI> ; rdfs:seeAlso <state.ttl> .
TTL
    cat >"$1/state.ttl" <<TTL
@prefix atom: <http://lv2plug.in/ns/ext/atom#> .
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .
<> a pset:Preset ;
    lv2:appliesTo <$URI> ;
    lv2:port [ lv2:symbol "dryWet" ; pset:value 100.0 ] ,
             [ lv2:symbol "feedback" ; pset:value 0.0 ] ,
             [ lv2:symbol "lfoDepth" ; pset:value 0.0 ] ;
    state:state [
        <$CURVE_URI> [ a atom:Vector ; atom:childType atom:Float ;
            rdf:value ( "20.0"^^xsd:float "$2"^^xsd:float "20000.0"^^xsd:float "$2"^^xsd:float ) ]
    ] .
TTL
}

# Loads a state, feeds the clicks in, records a second of output; prints its level.
level_with_state() { # name delay_ms
    local dir="$WORK/$1"
    state_dir "$dir/state" "$2"
    mkfifo "$dir/in"
    sleep 600 >"$dir/in" &
    local holder=$!
    PIDS+=($holder)
    stdbuf -oL jalv -n "zerin$1" -l "$dir/state" "$URI" <"$dir/in" >"$dir/jalv.log" 2>&1 &
    local jalv=$!
    PIDS+=($jalv)
    wait_for 10 sh -c "jack_lsp | grep -q '^zerin$1:out_l'" ||
        fail "jalv did not start: $(cat "$dir/jalv.log")"
    jack_connect src:240_bpm "zerin$1:in_l" && jack_connect src:240_bpm "zerin$1:in_r" ||
        fail "cannot connect"
    jack_rec -f "$dir/out.wav" -d 1 -b 32 "zerin$1:out_l" "zerin$1:out_r" >/dev/null 2>&1 ||
        fail "jack_rec failed"
    kill -INT "$jalv"
    wait "$jalv" 2>/dev/null
    kill "$holder" 2>/dev/null
    "$LEVEL" level "$dir/out.wav" 0.1
}

late=$(level_with_state a 2000) || exit 1
soon=$(level_with_state b 0) || exit 1
echo "output level with the 2000 ms curve: $late, with the 0 ms curve: $soon"
awk -v late="$late" -v soon="$soon" 'BEGIN { exit !(late < 1e-4 && soon > 1e-3) }' ||
    fail "the loaded state's curve is not what is heard"
echo "PASS"
