# Shared by the host tests' scripts: sourced after LV2_DIR is set. Gives a scratch folder
# (WORK), processes stopped by PID at exit (PIDS), a private JACK server name, and a saved
# state directory as jalv.gtk3's File > Save writes it.

require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed" >&2; exit 77; }
    done
}

WORK=$(mktemp -d)
PIDS=()
cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# A bound on waiting, not a check of speed; in time, not in tries, since a JACK client's call
# waits for the server's next cycle, which a slow server makes seconds long.
wait_for() { # seconds, command...
    local until=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < until)) || return 1
        sleep 0.1
    done
}

URI=https://zerin-audio.org/lv2/zerin/stereo
CURVE_URI=https://zerin-audio.org/lv2/zerin#curve
# Never a JACK server, nor presets, of the person running the tests.
export JACK_DEFAULT_SERVER="zerin-lv2-test-$$" JACK_NO_AUDIO_RESERVATION=1
export ZERIN_CONFIG_DIR="$WORK/config"
export LV2_PATH="$LV2_DIR:/usr/lib/lv2"

# A dummy JACK server and clicks on src:BPM_bpm.
start_jack_with_clicks() { # [rate period bpm], 48000 512 240 unless given
    jackd -r -d dummy -r "${1:-48000}" -p "${2:-512}" -C 2 -P 2 >"$WORK/jackd.log" 2>&1 &
    PIDS+=($!)
    wait_for 10 jack_lsp || fail "jackd did not start: $(cat "$WORK/jackd.log")"
    jack_metro -n src -b "${3:-240}" -f 880 -A 0.5 -D 20 >/dev/null 2>&1 &
    PIDS+=($!)
    wait_for 20 sh -c "jack_lsp | grep -q '^src:'" || fail "jack_metro did not start"
}

# Xvfb on a display it picks itself (-displayfd), made this script's DISPLAY.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$WORK/display" \
        >"$WORK/xvfb.log" 2>&1 &
    PIDS+=($!)
    wait_for 10 test -s "$WORK/display" || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$WORK/display")"
}

# Ends jalv.gtk3 as a user closing it would, and fails on any X error it met or a status
# other than 0.
stop_jalv_gtk() { # pid
    kill -INT "$1"
    wait "$1"
    local status=$?
    grep -iE "X Error|BadWindow|BadDrawable|BadMatch|Gdk-ERROR" "$WORK/jalv.log" && fail "X error"
    ((status == 0)) || fail "jalv.gtk3 exited with $status: $(cat "$WORK/jalv.log")"
}

# A state with mix 100 %, no feedback, no LFO and a flat curve of DELAY_MS; with DELAY_B_MS,
# slot B's delay curve is flat at that.
state_dir() { # dir delay_ms [delay_b_ms]
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
            rdf:value ( "20.0"^^xsd:float "$2"^^xsd:float "20000.0"^^xsd:float "$2"^^xsd:float ) ]${3:+ ;
        <${CURVE_URI}B> [ a atom:Vector ; atom:childType atom:Float ;
            rdf:value ( "20.0"^^xsd:float "$3"^^xsd:float "20000.0"^^xsd:float "$3"^^xsd:float ) ]}
    ] .
TTL
}
