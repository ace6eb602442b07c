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

# Every JACK client call waits for the server's next cycle here, up to two seconds: bound the
# waits by time, not by a count of tries.
wait_seconds() { # seconds, command...
    local until=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < until)) || return 1
        sleep 0.1
    done
}

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$WORK/display" \
    >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
wait_for 10 test -s "$WORK/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$WORK/display")"

jackd -r -d dummy -r 8000 -p 16384 -C 2 -P 2 >"$WORK/jackd.log" 2>&1 &
PIDS+=($!)
wait_seconds 10 jack_lsp || fail "jackd did not start: $(cat "$WORK/jackd.log")"
# A click every four seconds: each echo lands before the next click.
jack_metro -n src -b 15 -f 880 -A 0.5 -D 20 >/dev/null 2>&1 &
PIDS+=($!)
wait_seconds 20 sh -c "jack_lsp | grep -q '^src:'" || fail "jack_metro did not start"

state_dir "$WORK/state" 2000
jalv.gtk3 -l "$WORK/state" --jack-name zerin "$URI" >"$WORK/jalv.log" 2>&1 &
JALV=$!
PIDS+=($JALV)
drawn() { "$PROBE" screen "$WORK/shot.png" >"$WORK/colours" && read -r _ _ c <"$WORK/colours" && ((c > 1000)); }
wait_seconds 30 drawn || fail "the editor was not drawn: $(cat "$WORK/jalv.log")"

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

kill -INT "$JALV"
wait "$JALV"
status=$?
grep -iE "X Error|BadWindow|BadDrawable|BadMatch|Gdk-ERROR" "$WORK/jalv.log" && fail "X error"
((status == 0)) || fail "jalv.gtk3 exited with $status: $(cat "$WORK/jalv.log")"
echo "PASS"
