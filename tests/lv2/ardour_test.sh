#!/usr/bin/env bash
# Zerin in Ardour 7, headless: a session with the plug-in on a stereo track, a factory preset
# loaded by Ardour, parameters set, the track's take replaced by a test signal, the session
# exported, and the export compared with zerin-render's render of the same signal.
#
# A host starts the plug-in long before the session's first sample, so its analysis frames
# (every 512 samples) fall at some phase of the file that zerin-render cannot know: the
# comparison renders the signal behind each of the 512 possible lead-ins and expects one of
# them to match sample for sample. The LFO is off for the same reason (its phase runs from
# the plug-in's start).
#
#   ardour_test.sh BUILD_DIR
set -u
BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
RENDER=$BUILD/apps/zerin-render/zerin-render
TOOL=$BUILD/tests/editor_app/editor_probe
URI=https://zerin-audio.org/lv2/zerin/stereo

for tool in ardour7-lua ardour7-export sox soxi; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export XDG_CONFIG_HOME=$WORK/config LV2_PATH="$BUILD/lv2:/usr/lib/lv2"

# Ardour's control indices count every control port: inputGain 0, outputGain 1, dryWet 2,
# feedback 3, lfoRate 4, lfoDepth 5, ... (the Turtle's order).
timeout 120 ardour7-lua -- "$HERE/ardour_session.lua" "$WORK/session" zerin "$URI" \
    "Granular Haze" 96000 2 80 3 45 5 0 >"$WORK/lua.log" 2>&1 ||
    fail "the session script failed: $(tail -5 "$WORK/lua.log")"
takes=("$WORK"/session/interchange/*/audiofiles/Take1_T1-1%L.wav)
left=${takes[0]}
right=${left/\%L.wav/%R.wav}
[[ -f $left && -f $right ]] || fail "no take was recorded: $(tail -5 "$WORK/lua.log")"
grep -q '<Port symbol="dryWet" value="80"/>' "$WORK/session/zerin.ardour" ||
    fail "the parameter did not reach the session"

# The signal, as long as the take, with silence at both ends so Ardour's region fades
# change nothing.
length=$(soxi -s "$left" 2>/dev/null)
sox -n -r 48000 -c 2 -e floating-point -b 32 "$WORK/in.wav" \
    synth $((length - 9600))s pinknoise vol 0.15 pad 4800s 4800s 2>/dev/null
sox "$WORK/in.wav" -e floating-point -b 32 "$left" remix 1 2>/dev/null
sox "$WORK/in.wav" -e floating-point -b 32 "$right" remix 2 2>/dev/null

# ardour7-export sometimes aborts after writing a whole file, and sometimes hangs: retry.
exported=
for attempt in 1 2 3 4; do
    rm -f "$WORK/out.wav"
    timeout 60 ardour7-export -b float -o "$WORK/out.wav" "$WORK/session" zerin \
        >"$WORK/export.log" 2>&1
    if [[ -f $WORK/out.wav && $(soxi -s "$WORK/out.wav" 2>/dev/null) == "$length" ]]; then
        exported=yes
        break
    fi
    echo "export attempt $attempt failed, retrying" >&2
done
[[ -n $exported ]] || fail "ardour7-export did not produce the session: $(tail -5 "$WORK/export.log")"

for lead in $(seq 0 511); do
    sox "$WORK/in.wav" -e floating-point -b 32 "$WORK/led.wav" pad "${lead}s" 2>/dev/null
    "$RENDER" "$WORK/led.wav" -o "$WORK/ref.wav" --preset "Granular Haze" --set dryWet=80 \
        --set feedback=45 --set lfoDepth=0 --tail 0 >/dev/null 2>&1 || fail "zerin-render failed"
    diff=$("$TOOL" diff "$WORK/out.wav" "$WORK/ref.wav" "$lead") || fail "cannot compare"
    if awk -v d="$diff" 'BEGIN { exit !(d <= 1e-6) }'; then
        echo "Ardour's export equals zerin-render's with a lead-in of $lead samples (largest difference $diff)"
        echo "PASS"
        exit 0
    fi
done
fail "Ardour's export matches zerin-render's at no analysis phase"
