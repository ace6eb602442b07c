#!/usr/bin/env bash
# The editor inside a real host: jalv.gtk3 on Xvfb with a dummy JACK server. The UI shows (a
# screenshot that is not blank), a click on FREEZE reaches the DSP, and the host exits cleanly
# with no X error.
#
# How the click is heard: with a curve of 2000 ms everywhere (mix 100 %, no feedback) delay
# mode keeps the first two seconds after the clicks start silent, while freeze holds the
# spectrum it captures at once. So a recording made within those two seconds is silent unless
# the mode change reached the DSP.
#
#   jalv_ui_test.sh BUNDLE_PARENT_DIR EDITOR_PROBE
set -u
LV2_DIR=$1
PROBE=$2
source "$(dirname "$0")/host_common.sh"
require_tools Xvfb jackd jalv.gtk3 jack_metro jack_rec jack_connect jack_lsp xdotool

start_xvfb

start_jack_with_clicks
state_dir "$WORK/state" 2000

jalv.gtk3 -l "$WORK/state" --jack-name zerin "$URI" >"$WORK/jalv.log" 2>&1 &
JALV=$!
PIDS+=($JALV)
wait_for 15 sh -c "jack_lsp | grep -q '^zerin:out_l'" || fail "jalv.gtk3 did not start: $(cat "$WORK/jalv.log")"
wait_for 15 sh -c "xdotool search --name Zerin" || fail "no window: $(cat "$WORK/jalv.log")"
# The editor builds once the DSP has answered: wait until it is drawn.
drawn() { "$PROBE" screen "$WORK/shot.png" >"$WORK/colours" && read -r _ _ c <"$WORK/colours" && ((c > 1000)); }
wait_for 15 drawn
read -r width height colours <"$WORK/colours" || fail "cannot read the screen"
echo "screenshot: ${width}x${height}, $colours colours"
((colours > 1000)) || fail "the editor looks blank ($colours colours)"

# FREEZE is the middle segment of the top bar (left of the centre, as HOLD and SMOOTH sit to
# its right); jalv.gtk3 puts the editor under its menu bar.
window=$(xdotool search --name Zerin | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
jack_connect src:240_bpm zerin:in_l && jack_connect src:240_bpm zerin:in_r || fail "cannot connect"
xdotool mousemove --window "$window" 374 $((47 + 25)) click 1
# No pause for the click to arrive: the recording starts at once and spans the moment it
# lands, well inside the two seconds delay mode would keep silent.
jack_rec -f "$WORK/out.wav" -d 1 -b 32 zerin:out_l zerin:out_r >/dev/null 2>&1 || fail "jack_rec failed"
level=$("$PROBE" level "$WORK/out.wav" 0.2)
echo "output level after the click: $level"
awk -v l="$level" 'BEGIN { exit !(l > 1e-3) }' || fail "the click on FREEZE did not reach the DSP"

stop_jalv_gtk "$JALV"
echo "PASS"
