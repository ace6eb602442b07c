#!/bin/bash
# Usage errors name their option and exit 2; a state file that cannot be used exits 1 and is
# left exactly as it was; without a display the editor says so.
EDITOR=$1 PROBE=$2
. "$(dirname "$0")/common.sh"
unset DISPLAY

expect() { # STATUS TEXT-IN-STDERR args...
    local status=$1 text=$2
    shift 2
    # Bounded, so that an editor stuck on what it opens fails the test instead of hanging it.
    timeout 120 "$EDITOR" "$@" >"$WORK/out" 2>"$WORK/err"
    local got=$?
    ((got == status)) || fail "$* exited $got, expected $status: $(cat "$WORK/err")"
    grep -qF -- "$text" "$WORK/err" || fail "$*: message lacks \"$text\": $(cat "$WORK/err")"
}

png=$WORK/out.png
expect 2 --scale --snapshot "$png" --scale 9
expect 2 --scale --snapshot "$png" --scale 0.25
expect 2 --scale --snapshot "$png" --scale abc
expect 2 --frames --snapshot "$png" --frames -1
expect 2 --frames --frames 10
expect 2 --show --snapshot "$png" --show sideways
expect 2 --show --show browser
expect 2 --set --snapshot "$png" --set noSuchParameter=1
expect 2 --set --snapshot "$png" --set dryWet=1000
expect 2 --curve --snapshot "$png" --curve 100:
expect 2 --preset --snapshot "$png" --preset "No Such Preset"
expect 2 --no-window --snapshot "$png" --no-window
expect 2 --snapshot --snapshot ""
expect 2 --state --snapshot "$png" --state ""
expect 2 --input --snapshot "$png" --input ""
expect 2 --bogus --bogus
[[ ! -e "$png" ]] || fail "a refused command wrote its snapshot"

# Damaged or foreign state files: refused in every mode, never rewritten. A JSON object is
# not enough: only a saved state this Zerin can read, and write back whole, is taken.
printf '{"spectralCurve": [' >"$WORK/damaged.json"
printf '[1, 2, 3]\n' >"$WORK/array.json"
mkdir "$WORK/folder.json"
printf '{"name": "app"}\n' >"$WORK/app.json"
printf '{}\n' >"$WORK/empty.json"
saved='"type": "aufx", "subtype": "Zrin", "manufacturer": "Vesk", "parameters": {}, "spectralCurve": []'
printf '{"formatVersion": 99, %s}\n' "$saved" >"$WORK/newer.json"
printf '{"formatVersion": 1, "notes": "mine", %s}\n' "$saved" >"$WORK/notes.json"
mkfifo "$WORK/fifo.json"
for state in damaged.json array.json folder.json app.json empty.json newer.json notes.json fifo.json; do
    before=$(stat -c '%s %Y %i' "$WORK/$state")
    for mode in "--snapshot $png" --no-window ""; do
        # shellcheck disable=SC2086
        expect 1 "$state" --state "$WORK/$state" $mode
    done
    [[ "$(stat -c '%s %Y %i' "$WORK/$state")" == "$before" ]] || fail "$state was touched"
done
expect 1 "formatVersion 99" --snapshot "$png" --state "$WORK/newer.json"
[[ -p "$WORK/fifo.json" ]] || fail "the FIFO given as a state is no longer one"
mkfifo "$WORK/fifo.wav"
expect 1 "fifo.wav: is a FIFO" --snapshot "$png" --input "$WORK/fifo.wav"
expect 1 "does not exist" --snapshot "$png" --state "$WORK/no/such/folder/state.json"
expect 1 missing.wav --snapshot "$png" --input "$WORK/missing.wav"
printf 'not audio' >"$WORK/text.wav"
expect 1 text.wav --snapshot "$png" --input "$WORK/text.wav"

# A state whose slot B feedback curve is misspelt and that holds keys of a later build: the
# editor warns, keeps the file aside as it was before its first write over it, and writes the
# keys back where they were.
saved_state=$WORK/saved.json
printf '{"formatVersion": 2, %s, "curveSet": {"a": {"delay": [{"freq": 100, "delay": 300}],
  "feedback": [{"freq": 100, "feedback": 100}], "gain": -3}, "b": {"delay": [{"freq": 100,
  "delay": 300}], "feedback": [{"freq": 100, "feedbak": 40}]}, "c": {}}}\n' \
    "${saved/\"parameters\": \{\}/\"parameters\": {\"warp\": 2}}" |
    sed 's/, "spectralCurve": \[\]//' >"$saved_state"
original=$(cat "$saved_state")
"$EDITOR" --no-window --state "$saved_state" 2>"$WORK/kept.err" &
kept=$!
PIDS+=("$kept")
wait_for 30 grep -q "looping" "$WORK/kept.err" || fail "--no-window did not start: $(cat "$WORK/kept.err")"
kill -TERM "$kept"
wait "$kept" || fail "--no-window with a damaged state ended with $?: $(cat "$WORK/kept.err")"
grep -q "curveSet.b.feedback" "$WORK/kept.err" || fail "the damaged curve was not named: $(cat "$WORK/kept.err")"
aside=("$WORK"/saved.damaged-*.json)
[[ ${#aside[@]} == 1 && -f ${aside[0]} ]] || fail "the damaged state was not kept aside: $(cat "$WORK/kept.err")"
[[ "$(cat "${aside[0]}")" == "$original" ]] || fail "the copy kept aside is not the file as it was"
grep -qF "$(basename "${aside[0]}")" "$WORK/kept.err" || fail "the copy was not named: $(cat "$WORK/kept.err")"
for key in '"warp": 2' '"gain": -3' '"c": {}' '"feedback": ['; do
    grep -qF "$key" "$saved_state" || fail "$key was not written back: $(cat "$saved_state")"
done

expect 1 "no display" --state "$WORK/new.json"
[[ ! -e "$WORK/new.json" ]] || fail "an editor that could not open wrote its state"
echo "option tests passed"
