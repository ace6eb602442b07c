#!/usr/bin/env bash
# The editor opened on an engine that runs the plug-in only every two seconds (8 kHz, periods
# of 16384 frames), as a slow or busy host does: jalv.gtk3 loads a session whose curve is
# 2000 ms everywhere (mix 100 %, no feedback), the editor shows before the DSP can answer,
# and it must not replace the session's curve with its own. Clicks come back 2000 ms later
# (and the latency) all along; an editor that sent its default curve would let them through
# within a second.
#
#   jalv_slow_engine_test.sh BUNDLE_PARENT_DIR EDITOR_PROBE
set -u
LV2_DIR=$1
PROBE=$2
source "$(dirname "$0")/host_common.sh"
require_tools Xvfb jackd jalv.gtk3 jack_metro jack_rec jack_connect jack_lsp xdotool

start_xvfb
# A click every four seconds: each echo lands before the next click.
start_jack_with_clicks 8000 16384 15

state_dir "$WORK/state" 2000
jalv.gtk3 -l "$WORK/state" --jack-name zerin "$URI" >"$WORK/jalv.log" 2>&1 &
JALV=$!
PIDS+=($JALV)
drawn() { "$PROBE" screen "$WORK/shot.png" >"$WORK/colours" && read -r _ _ c <"$WORK/colours" && ((c > 1000)); }
wait_for 30 drawn || fail "the editor was not drawn: $(cat "$WORK/jalv.log")"

# From the start the clicks go in and, beside what comes out, are recorded, until the editor
# has long had its chance to send a curve (a second after it opened) and the engine to run it.
jack_connect src:15_bpm zerin:in_l && jack_connect src:15_bpm zerin:in_r || fail "cannot connect"
jack_rec -f "$WORK/out.wav" -d 12 -b 32 src:15_bpm zerin:out_l >/dev/null 2>&1 ||
    fail "jack_rec failed"
delays=$("$PROBE" echoes "$WORK/out.wav" 3) || fail "no click was recorded"
echo "each click's first echo came after (s): $delays"
# 2000 ms and the plug-in's latency (2047 samples), less the half frame a click spreads over;
# the editor's default curve would answer within a second.
for delay in $delays; do
    awk -v d="$delay" 'BEGIN { exit !(d > 2.0 && d < 2.5) }' ||
        fail "an echo came $delay s after its click: the session's 2000 ms curve was replaced"
done

stop_jalv_gtk "$JALV"
echo "PASS"
