#!/usr/bin/env bash
# jalv on a dummy JACK server loads a saved state directory: its control values and its curve
# are what is heard. A curve of 2000 ms everywhere (mix 100 %, no feedback) keeps the first
# second silent; a curve of 0 ms lets the clicks through at once. The morph control, moved
# while jalv runs, brings in slot B's curve: from 2000 ms in A to 0 ms in B, the clicks come
# through.
#
#   jalv_test.sh BUNDLE_PARENT_DIR EDITOR_PROBE
set -u
LV2_DIR=$1
LEVEL=$2
source "$(dirname "$0")/host_common.sh"
require_tools jackd jalv jack_metro jack_rec jack_connect jack_lsp
start_jack_with_clicks

# Loads a state, feeds the clicks in, sends COMMAND to jalv's console if given, records a
# second of output; prints its level.
level_with_state() { # name delay_ms [delay_b_ms command]
    local dir="$WORK/$1"
    state_dir "$dir/state" "$2" "${3:-}"
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
    [[ -z ${4:-} ]] || echo "$4" >"$dir/in"
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
still=$(level_with_state c 2000 0) || exit 1
morphed=$(level_with_state d 2000 0 "morph = 100") || exit 1
echo "output level with slot B at 0 ms, morph at 0: $still, moved to 100 while running: $morphed"
awk -v still="$still" -v morphed="$morphed" 'BEGIN { exit !(still < 1e-4 && morphed > 1e-3) }' ||
    fail "moving morph while jalv runs did not bring in slot B's curve"
echo "PASS"
