#!/usr/bin/env bash
# Zerin in Ardour 7, headless: a session with the plug-in on a stereo track, a factory preset
# loaded by Ardour, parameters set, the track's take replaced by a test signal, the session
# exported, and the export compared with zerin-render's render of the same signal; then a
# session whose morph is automated, compared with zerin-render given the values Ardour gave
# the plug-in, on the samples it gave them.
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
# Ardour finds DSP scripts among the user's scripts.
mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts"
cp "$HERE/ardour_cycle_values.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"

# Ardour's control indices count every control port: inputGain 0, outputGain 1, dryWet 2,
# feedback 3, lfoRate 4, lfoDepth 5, ... (the Turtle's order). Automation names the port:
# morph is port 18 of the stereo plug-in.
MORPH=18
# The plug-in's latency, which Ardour compensates: it reads the plug-in's input that much ahead.
LATENCY=2047
# Where the automated step of morph ends: one second in.
POINT=48000

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

# Renders $WORK/led.wav with zerin-render and ARGS, and prints the largest difference between
# EXPORT and the render, LEAD samples on; a mono EXPORT is compared with the render's left
# channel.
difference() { # export lead [zerin-render args]...
    local export=$1 lead=$2
    shift 2
    "$RENDER" "$WORK/led.wav" -o "$WORK/ref.wav" --tail 0 "$@" >/dev/null 2>&1 ||
        fail "zerin-render failed"
    local ref=$WORK/ref.wav
    if [[ $(soxi -c "$export" 2>/dev/null) == 1 ]]; then
        sox "$WORK/ref.wav" "$WORK/ref-left.wav" remix 1 2>/dev/null
        ref=$WORK/ref-left.wav
    fi
    "$TOOL" diff "$export" "$ref" "$lead" || fail "cannot compare"
}
same() { awk -v d="$1" 'BEGIN { exit !(d <= 1e-6) }'; }

# The lead-in (0-511 samples) at which zerin-render, given ARGS, renders the first SECONDS of
# EXPORT (all of it with 0), left in $WORK/led.wav; prints it, or fails.
lead_in() { # export seconds [zerin-render args]...
    local export=$1 seconds=$2 lead diff
    shift 2
    if [[ $seconds != 0 ]]; then
        sox "$export" "$WORK/start.wav" trim 0 "=$seconds" 2>/dev/null
        export=$WORK/start.wav
    fi
    for lead in $(seq 0 511); do
        sox "$WORK/fit.wav" -e floating-point -b 32 "$WORK/led.wav" pad "${lead}s" 2>/dev/null
        diff=$(difference "$export" "$lead" "$@") || exit 1
        if same "$diff"; then
            echo "$lead"
            return 0
        fi
    done
    fail "Ardour's export $(basename "$export") matches zerin-render's at no analysis phase"
}

lead=$(lead_in "$WORK/session.wav" 0 --preset "Granular Haze" --set dryWet=80 \
    --set feedback=45 --set lfoDepth=0) || exit 1
echo "Ardour's export equals zerin-render's with a lead-in of $lead samples"

# Morph automated in Ardour: a step from slot A to slot B of Dusk Crossfade, whose slots
# differ, one second in. Ardour keeps automation in beat time (a tick is 12.5 samples at
# 120 BPM) and ramps between points: the step is a ramp over the tick before 1 s. It plays
# automation on the latency-compensated timeline: what it gives the plug-in for export sample
# t, the plug-in gets with its input at t + LATENCY.
#
# Zerin's control port takes MIDI, and Ardour splits no cycle at an automation point for a
# plug-in with a MIDI input: the plug-in gets the value the automation has at the start of a
# cycle, at the start of its run(), and its kernel takes it at the next frame boundary (every
# 512 samples). Which frame that is depends on the size and phase of Ardour's cycles, so the
# session carries a DSP script after Zerin (ardour_cycle_values.lua) with the same automation,
# which writes into the right channel what Zerin was given at the start of each cycle. Given
# those values on those samples, zerin-render must sound as the export does on the left
# channel, and not so with them a frame (512 samples) earlier or later: a change heard a
# frame early or late fails.
ZERIN_PROBE="Zerin test: cycle values" ZERIN_AUTOMATION="$MORPH 0 0 0.99974 0 1 100" \
    session swept "Dusk Crossfade" 2 100 5 0
sox "$WORK/swept.wav" "$WORK/swept-left.wav" remix 1 2>/dev/null
still=(--preset "Dusk Crossfade" --set dryWet=100 --set lfoDepth=0)
lead=$(lead_in "$WORK/swept-left.wav" 0.9 "${still[@]}") || exit 1

# The samples of the export where the value Ardour gave the plug-in changed, and the value.
sox "$WORK/swept.wav" -t f32 - remix 2 2>/dev/null | od -An -v -f -w4 |
    awk '$1 != held { printf "%d %.9g\n", NR - 1, $1 * 1024; held = $1 }' held=0 >"$WORK/given"
read -r given value <<<"$(tail -1 "$WORK/given")"
[[ $value == 100 ]] || fail "the plug-in was never given the step: $(head -5 "$WORK/given")"

# zerin-render's automation: those values, SHIFT samples after the samples of its input they
# came with.
automation() { # shift
    awk -v at=$((LATENCY + lead + $1)) 'BEGIN { printf "[" }
        { printf "%s{\"sample\": %d, \"id\": \"morph\", \"value\": %s}", (NR > 1 ? ", " : ""), $1 + at, $2 }
        END { print "]" }' "$WORK/given" >"$WORK/automation.json"
}
heard() { # shift
    automation "$1"
    difference "$WORK/swept-left.wav" "$lead" "${still[@]}" --automation "$WORK/automation.json"
}
diff=$(heard 0) || exit 1
same "$diff" || fail "Ardour gave the plug-in morph's step at export sample $given (the start of" \
    "a cycle, $((given - POINT)) samples after the automation point), but it is not heard in the" \
    "frame zerin-render hears a step on that sample in (largest difference $diff)"
for shift in -512 512; do
    diff=$(heard "$shift") || exit 1
    same "$diff" && fail "zerin-render sounds the same with the step $shift samples away: this" \
        "comparison cannot tell one frame from the next"
done
step=$((given + LATENCY + lead))
echo "morph's step reached the plug-in at the start of Ardour's cycle $((given - POINT)) samples" \
    "after the automation point, and is heard in the frame zerin-render hears it in, from" \
    "sample $(((step / 512 + 1) * 512)) of its input"
echo "PASS"
