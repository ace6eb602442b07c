#!/usr/bin/env bash
# Zerin in Ardour 7, headless: a session with the plug-in on a stereo track, a factory preset
# loaded by Ardour, parameters set, the track's take replaced by a test signal, the session
# exported, and the export compared with zerin-render's render of the same signal; then a
# session whose morph is automated, compared with zerin-render's automation of it.
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
# feedback 3, lfoRate 4, lfoDepth 5, ... (the Turtle's order). Automation names the port:
# morph is port 18 of the stereo plug-in.
MORPH=18

# Makes session NAME with PRESET and PARAMS, its take replaced by the signal, and exports it
# to NAME.wav. The signal (pink noise with silence at both ends, so Ardour's region fades
# change nothing) is made for the first session and fitted to the others' takes.
session() { # name preset [param value]...
    local name=$1 preset=$2
    shift 2
    timeout 120 ardour7-lua -- "$HERE/ardour_session.lua" "$WORK/$name" zerin "$URI" \
        "$preset" 96000 "$@" >"$WORK/$name.lua.log" 2>&1 ||
        fail "the session script failed: $(tail -5 "$WORK/$name.lua.log")"
    local takes=("$WORK/$name"/interchange/*/audiofiles/Take1_T1-1%L.wav)
    local left=${takes[0]}
    local right=${left/\%L.wav/%R.wav}
    [[ -f $left && -f $right ]] || fail "no take was recorded: $(tail -5 "$WORK/$name.lua.log")"
    length=$(soxi -s "$left" 2>/dev/null)
    [[ -f $WORK/in.wav ]] || sox -n -r 48000 -c 2 -e floating-point -b 32 "$WORK/in.wav" \
        synth $((length - 9600))s pinknoise vol 0.15 pad 4800s 4800s 2>/dev/null
    sox "$WORK/in.wav" -e floating-point -b 32 "$WORK/fit.wav" pad 0 "${length}s" trim 0 \
        "${length}s" 2>/dev/null
    sox "$WORK/fit.wav" -e floating-point -b 32 "$left" remix 1 2>/dev/null
    sox "$WORK/fit.wav" -e floating-point -b 32 "$right" remix 2 2>/dev/null
    # ardour7-export sometimes aborts after writing a whole file, and sometimes hangs: retry.
    local attempt
    for attempt in 1 2 3 4; do
        rm -f "$WORK/$name.wav"
        timeout 60 ardour7-export -b float -o "$WORK/$name.wav" "$WORK/$name" zerin \
            >"$WORK/$name.export.log" 2>&1
        [[ -f $WORK/$name.wav && $(soxi -s "$WORK/$name.wav" 2>/dev/null) == "$length" ]] &&
            return 0
        echo "export attempt $attempt failed, retrying" >&2
    done
    fail "ardour7-export did not produce the session: $(tail -5 "$WORK/$name.export.log")"
}

session session "Granular Haze" 2 80 3 45 5 0
grep -q '<Port symbol="dryWet" value="80"/>' "$WORK/session/zerin.ardour" ||
    fail "the parameter did not reach the session"

# The lead-in (0-511 samples) at which zerin-render, given ARGS, renders the first SECONDS of
# what Ardour exported as NAME (all of it with 0); prints it, or fails.
lead_in() { # name seconds [zerin-render args]...
    local name=$1 seconds=$2 lead diff
    shift 2
    local export=$WORK/$name.wav
    if [[ $seconds != 0 ]]; then
        sox "$WORK/$name.wav" "$WORK/$name-start.wav" trim 0 "=$seconds" 2>/dev/null
        export=$WORK/$name-start.wav
    fi
    for lead in $(seq 0 511); do
        sox "$WORK/fit.wav" -e floating-point -b 32 "$WORK/led.wav" pad "${lead}s" 2>/dev/null
        "$RENDER" "$WORK/led.wav" -o "$WORK/ref.wav" --tail 0 "$@" >/dev/null 2>&1 ||
            fail "zerin-render failed"
        diff=$("$TOOL" diff "$export" "$WORK/ref.wav" "$lead") || fail "cannot compare"
        if awk -v d="$diff" 'BEGIN { exit !(d <= 1e-6) }'; then
            echo "$lead"
            return 0
        fi
    done
    fail "Ardour's export of $name matches zerin-render's at no analysis phase"
}

lead=$(lead_in session 0 --preset "Granular Haze" --set dryWet=80 --set feedback=45 \
    --set lfoDepth=0) || exit 1
echo "Ardour's export equals zerin-render's with a lead-in of $lead samples"

# Morph automated in Ardour: a step from slot A to slot B of Dusk Crossfade, whose slots
# differ, one second in. Ardour keeps automation in beat time (a tick is 12.5 samples at
# 120 BPM) and ramps between points: the step is a ramp over the tick before 1 s. It plays
# automation on the latency-compensated timeline, so the plug-in meets the step with its
# input 2047 samples (its latency) further on. The plug-in reads morph at its frames, so
# zerin-render's step is found on one of the samples of that tick.
ZERIN_AUTOMATION="$MORPH 0 0 0.99974 0 1 100" session swept "Dusk Crossfade" 2 100 5 0
still=(--preset "Dusk Crossfade" --set dryWet=100 --set lfoDepth=0)
lead=$(lead_in swept 0.9 "${still[@]}") || exit 1
sox "$WORK/fit.wav" -e floating-point -b 32 "$WORK/led.wav" pad "${lead}s" 2>/dev/null
for ahead in $(seq 0 13); do
    echo "[{\"sample\": $((48000 + 2047 + lead - ahead)), \"id\": \"morph\", \"value\": 100}]" \
        >"$WORK/automation.json"
    "$RENDER" "$WORK/led.wav" -o "$WORK/ref.wav" --tail 0 "${still[@]}" \
        --automation "$WORK/automation.json" >/dev/null 2>&1 || fail "zerin-render failed"
    diff=$("$TOOL" diff "$WORK/swept.wav" "$WORK/ref.wav" "$lead") || fail "cannot compare"
    if awk -v d="$diff" 'BEGIN { exit !(d <= 1e-6) }'; then
        echo "morph automated in Ardour equals zerin-render's step $ahead samples before 1 s"
        echo "PASS"
        exit 0
    fi
done
fail "Ardour's morph automation is not what zerin-render hears for the same step"
