#!/bin/bash
# Snapshots drawn with no display at all: size, scale, contents and the two overlays.
EDITOR=$1 PROBE=$2
. "$(dirname "$0")/common.sh"
unset DISPLAY

snapshot() { # OUT [options...]
    local out=$1
    shift
    "$EDITOR" --snapshot "$WORK/$out" "$@" 2>"$WORK/$out.err" ||
        fail "snapshot $* exited $?: $(cat "$WORK/$out.err")"
}

snapshot plain.png --frames 30
read -r w h colours < <("$PROBE" png "$WORK/plain.png") || fail "plain.png unreadable"
[[ "$w x $h" == "900 x 600" ]] || fail "snapshot is $w x $h, not 900 x 600"
((colours > 100)) || fail "snapshot looks blank ($colours colours)"

snapshot double.png --frames 30 --scale 2
read -r w h colours < <("$PROBE" png "$WORK/double.png")
[[ "$w x $h" == "1800 x 1200" ]] || fail "--scale 2 snapshot is $w x $h"
((colours > 100)) || fail "--scale 2 snapshot looks blank ($colours colours)"

# Two plain snapshots differ only by the particles' chance; an overlay must change far more.
snapshot again.png --frames 30
noise=$("$PROBE" differ "$WORK/plain.png" "$WORK/again.png")
for overlay in browser save; do
    snapshot "$overlay.png" --frames 30 --show "$overlay"
    changed=$("$PROBE" differ "$WORK/plain.png" "$WORK/$overlay.png")
    awk -v c="$changed" -v n="$noise" 'BEGIN { exit !(c > n + 20) }' ||
        fail "--show $overlay changed $changed% of the pixels (noise $noise%)"
done
"$PROBE" differ "$WORK/browser.png" "$WORK/save.png" |
    awk '{ exit !($1 > 10) }' || fail "--show browser and --show save look alike"

# Mono and stereo files are heard; more channels are refused, naming the file.
for channels in 1 2; do
    "$PROBE" tone "$WORK/tone$channels.wav" $channels || fail "cannot write a test tone"
    snapshot "tone$channels.png" --input "$WORK/tone$channels.wav" --set sourceSensitivity=80
    read -r _ _ colours < <("$PROBE" png "$WORK/tone$channels.png")
    ((colours > 100)) || fail "snapshot of a $channels-channel input looks blank"
done
"$PROBE" tone "$WORK/tone3.wav" 3
"$EDITOR" --snapshot "$WORK/tone3.png" --input "$WORK/tone3.wav" 2>"$WORK/err"
(($? == 1)) && grep -q "tone3.wav: has 3 channels" "$WORK/err" ||
    fail "a 3-channel input was not refused: $(cat "$WORK/err")"

# A user preset given with --preset shows under its name, clean, as a factory one does,
# though its points are stored in the order they were drawn. The unit keeps the name, so a
# saved state has it too. The name button's pixels (top right of the bar) are compared with
# the same preset stored sorted (clean under its name) and with its curve alone ("Init *").
name_area=(620 4 270 36)
write_user_presets "Walk Test:4000/300,200/900,1000/100"
"$EDITOR" --no-window --preset "Walk Test" --state "$WORK/walk.json" 2>"$WORK/walk.err" &
walker=$!
PIDS+=("$walker")
wait_for 30 grep -q "looping" "$WORK/walk.err" || fail "--no-window did not start: $(cat "$WORK/walk.err")"
kill -TERM "$walker"
wait "$walker" || fail "--no-window --preset ended with $?: $(cat "$WORK/walk.err")"
grep -q '"presetName": *"Walk Test"' "$WORK/walk.json" ||
    fail "--preset of a user preset saved $(grep -o '"presetName": *"[^"]*"' "$WORK/walk.json")"
snapshot walk.png --preset "Walk Test"
snapshot walk-curve.png --curve 200:900,1000:100,4000:300
write_user_presets "Walk Test:200/900,1000/100,4000/300"
snapshot walk-sorted.png --preset "Walk Test"
same=$("$PROBE" differ "$WORK/walk.png" "$WORK/walk-sorted.png" "${name_area[@]}")
other=$("$PROBE" differ "$WORK/walk.png" "$WORK/walk-curve.png" "${name_area[@]}")
awk -v s="$same" -v o="$other" 'BEGIN { exit !(s < 0.5 && o > 3) }' ||
    fail "--preset of a user preset: the name button differs by $same% from the clean name" \
        "and by $other% from \"Init *\""

# A snapshot replaces only a regular file: a FIFO, a folder or a link to nothing is refused
# by name and left as it was; a link to a file is written through and stays a link, and the
# file keeps its mode.
mkfifo "$WORK/fifo.png"
mkdir "$WORK/folder.png" "$WORK/shots"
ln -s shots/absent.png "$WORK/dangling.png"
for target in fifo.png folder.png dangling.png; do
    timeout 120 "$EDITOR" --snapshot "$WORK/$target" --frames 1 2>"$WORK/err"
    (($? == 1)) && grep -q "$target" "$WORK/err" ||
        fail "a snapshot onto $target was not refused: $(cat "$WORK/err")"
done
[[ -p "$WORK/fifo.png" && -d "$WORK/folder.png" && -L "$WORK/dangling.png" ]] ||
    fail "a refused snapshot target was changed"
[[ ! -e "$WORK/shots/absent.png" ]] || fail "a snapshot was written through a link to nothing"
printf 'earlier' >"$WORK/shots/real.png"
chmod 600 "$WORK/shots/real.png"
ln -s shots/real.png "$WORK/link.png"
snapshot link.png --frames 1
[[ -L "$WORK/link.png" ]] || fail "the snapshot replaced the link"
"$PROBE" png "$WORK/shots/real.png" >/dev/null || fail "the linked file is not the snapshot"
[[ "$(stat -c %a "$WORK/shots/real.png")" == 600 ]] || fail "the snapshot lost the file's mode"
[[ "$(ls -A "$WORK/shots")" == real.png ]] || fail "the snapshot left files beside its target"

# A state as earlier versions wrote it (no preset name) is taken as it is.
snapshot older.png --frames 1 --state "$(dirname "$0")/../fuzz/corpus/state/factory-init.json"

# A state that does not exist yet is fine for a snapshot and is not created by it.
snapshot fresh.png --state "$WORK/new-state.json"
[[ ! -e "$WORK/new-state.json" ]] || fail "a snapshot wrote the state file"
echo "snapshot tests passed"
