#!/bin/bash
# The editor as a JACK client on a dummy server of its own: its ports appear, a metronome fed
# into them comes back out of out_l, SIGTERM saves the state and ends with status 0, and a
# note on midi_in holds the freeze.
EDITOR=$1 PROBE=$2
. "$(dirname "$0")/common.sh"
for tool in jackd jack_lsp jack_connect jack_disconnect jack_metro jack_rec jack_midiseq; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

jackd --no-realtime -d dummy -r 48000 -p 512 >"$WORK/jackd.log" 2>&1 &
PIDS+=($!)
wait_for 20 jack_lsp || fail "jackd did not start: $(cat "$WORK/jackd.log")"

state=$WORK/live.json
"$EDITOR" --no-window --state "$state" --set dryWet=0 2>"$WORK/editor.err" &
EDITOR_PID=$!
PIDS+=("$EDITOR_PID")
wait_for 20 sh -c "jack_lsp | grep -qx zerin:out_r" ||
    fail "no zerin ports: $(jack_lsp) $(cat "$WORK/editor.err")"
for port in in_l in_r out_l out_r midi_in; do
    jack_lsp | grep -qx "zerin:$port" || fail "zerin:$port is missing"
done
grep -q 'JACK client "zerin" at 48000 Hz, 512 frames' "$WORK/editor.err" ||
    fail "no word of the JACK client: $(cat "$WORK/editor.err")"

jack_metro -n src -b 120 -f 440 -A 0.5 -D 100 >/dev/null 2>&1 &
PIDS+=($!)
wait_for 20 sh -c "jack_lsp | grep -q '^src:'" || fail "jack_metro did not start"
metro=$(jack_lsp | grep '^src:' | head -n 1)
jack_connect "$metro" zerin:in_l || fail "cannot connect $metro to zerin:in_l"
jack_connect "$metro" zerin:in_r || fail "cannot connect $metro to zerin:in_r"
jack_lsp -c zerin:in_l | grep -q "$metro" || fail "the connection to zerin:in_l does not hold"

# Two seconds hold four clicks; with the dry signal only, they come out as they went in.
jack_rec -f "$WORK/out.wav" -d 2 zerin:out_l >"$WORK/rec.log" 2>&1 ||
    fail "jack_rec failed: $(cat "$WORK/rec.log")"
peak=$("$PROBE" peak "$WORK/out.wav") || fail "cannot read the recording"
awk -v p="$peak" 'BEGIN { exit !(p > 0.1) }' || fail "zerin:out_l is silent (peak $peak)"

kill -TERM "$EDITOR_PID"
wait "$EDITOR_PID" || fail "SIGTERM gave status $?: $(cat "$WORK/editor.err")"
grep -Eq '"dryWet": *0' "$state" || fail "the state was not written on SIGTERM"

# Every bin heard at once and nothing fed back: once its input is cut the output falls silent,
# unless a held note holds the spectrum.
"$EDITOR" --no-window --curve 1000:0 --set dryWet=100 --set feedback=0 2>"$WORK/editor2.err" &
EDITOR_PID=$!
PIDS+=("$EDITOR_PID")
wait_for 20 sh -c "jack_lsp | grep -qx zerin:midi_in" ||
    fail "no zerin:midi_in: $(jack_lsp) $(cat "$WORK/editor2.err")"
# A steady tone: 990 ms of every second.
jack_metro -n tone -b 60 -f 440 -A 0.5 -D 990 >/dev/null 2>&1 &
PIDS+=($!)
wait_for 20 sh -c "jack_lsp | grep -q '^tone:'" || fail "jack_metro did not start"
tone=$(jack_lsp | grep '^tone:' | head -n 1)
# Feeds the tone for a second, cuts it and records the second after into $1.wav.
cut_and_record() {
    jack_connect "$tone" zerin:in_l && jack_connect "$tone" zerin:in_r || fail "cannot feed zerin"
    jack_rec -f "$WORK/fed.wav" -d 1 zerin:out_l >/dev/null 2>&1 || fail "jack_rec failed"
    jack_disconnect "$tone" zerin:in_l && jack_disconnect "$tone" zerin:in_r || fail "cannot cut"
    jack_rec -f "$WORK/$1.wav" -d 1 zerin:out_l >/dev/null 2>&1 || fail "jack_rec failed"
}
cut_and_record free
free=$("$PROBE" level "$WORK/free.wav" 0.5) || fail "cannot read the recording"
awk -v l="$free" 'BEGIN { exit !(l < 0.001) }' || fail "the output sounds on without input ($free)"
# A note held all but one sample of every half second.
jack_midiseq seq 24000 0 60 23999 >/dev/null 2>&1 &
PIDS+=($!)
wait_for 20 sh -c "jack_lsp | grep -qx seq:out" || fail "jack_midiseq did not start"
jack_connect seq:out zerin:midi_in || fail "cannot connect seq:out to zerin:midi_in"
cut_and_record held
held=$("$PROBE" level "$WORK/held.wav" 0.5) || fail "cannot read the recording"
# How much of the tone the hold keeps depends on where its capture falls against the tone's
# 10 ms gap (levels from 0.049 up have been seen); a hold that kept nothing reads as the free
# run does, below 0.001.
awk -v l="$held" 'BEGIN { exit !(l > 0.01) }' || fail "a held note did not hold the tone ($held)"
echo "JACK tests passed"
