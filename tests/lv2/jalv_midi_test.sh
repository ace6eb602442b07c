#!/usr/bin/env bash
# jalv on a dummy JACK server plays the freeze from MIDI. Every bin at 0 ms, all wet and no
# feedback: once the input is cut the output falls silent, unless a note held on the
# plug-in's control port (jalv's MIDI input) holds the spectrum.
#
#   jalv_midi_test.sh BUNDLE_PARENT_DIR EDITOR_PROBE
set -u
LV2_DIR=$1
LEVEL=$2
source "$(dirname "$0")/host_common.sh"
require_tools jackd jalv jack_metro jack_rec jack_connect jack_disconnect jack_lsp jack_midiseq
start_jack_with_clicks
# A steady tone: 990 ms of every second.
jack_metro -n tone -b 60 -f 440 -A 0.5 -D 990 >/dev/null 2>&1 &
PIDS+=($!)
wait_for 10 sh -c "jack_lsp | grep -q '^tone:'" || fail "jack_metro did not start"
tone=$(jack_lsp | grep '^tone:' | head -n 1)

state_dir "$WORK/state" 0
mkfifo "$WORK/in"
sleep 600 >"$WORK/in" &
PIDS+=($!)
stdbuf -oL jalv -n zerinm -l "$WORK/state" "$URI" <"$WORK/in" >"$WORK/jalv.log" 2>&1 &
PIDS+=($!)
wait_for 10 sh -c "jack_lsp | grep -q '^zerinm:control'" ||
    fail "jalv did not start with a MIDI input: $(jack_lsp) $(cat "$WORK/jalv.log")"

# Feeds the tone for a second, cuts it and prints the level of the second after.
level_after_cut() {
    jack_connect "$tone" zerinm:in_l && jack_connect "$tone" zerinm:in_r || fail "cannot feed"
    jack_rec -f "$WORK/fed.wav" -d 1 zerinm:out_l >/dev/null 2>&1 || fail "jack_rec failed"
    jack_disconnect "$tone" zerinm:in_l && jack_disconnect "$tone" zerinm:in_r || fail "cannot cut"
    jack_rec -f "$WORK/$1.wav" -d 1 zerinm:out_l >/dev/null 2>&1 || fail "jack_rec failed"
    "$LEVEL" level "$WORK/$1.wav" 0.5
}
free=$(level_after_cut free) || exit 1
# A note held all but one sample of every half second.
jack_midiseq seq 24000 0 60 23999 >/dev/null 2>&1 &
PIDS+=($!)
wait_for 10 sh -c "jack_lsp | grep -qx seq:out" || fail "jack_midiseq did not start"
jack_connect seq:out zerinm:control || fail "cannot connect seq:out to zerinm:control"
held=$(level_after_cut held) || exit 1
echo "output level after the input is cut: $free, with a note held: $held"
awk -v free="$free" -v held="$held" 'BEGIN { exit !(free < 1e-4 && held > 0.05) }' ||
    fail "a note on jalv's MIDI input did not hold the freeze"
echo "PASS"
