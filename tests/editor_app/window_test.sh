#!/bin/bash
# The editor on a real X server (Xvfb): its window maps and draws, Ctrl+S writes the state,
# and closing the window or a SIGTERM ends it with status 0 and the state written; the
# server shows the knobs' and the name field's cursors; a killed window or a vanished server
# ends it with status 1 and the state written.
EDITOR=$1 PROBE=$2 RENDER=${3:-}
. "$(dirname "$0")/common.sh"
# Under the sanitizers, leaks inside cairo are told apart only from whole stacks (cairo has
# no frame pointers), and tests/lsan.supp exempts what its X11 backend keeps per display.
[[ -n ${ASAN_OPTIONS:-} ]] && export ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0"
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xdotool >/dev/null || skip "xdotool is not installed"
command -v xwininfo >/dev/null || skip "xwininfo is not installed"

# A server of our own on a display number it picks itself (-displayfd), so that tests run
# side by side never meet; -noreset, so that it keeps its root properties between clients.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$WORK/display" \
    >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
PIDS+=($XVFB_PID)
wait_for 20 test -s "$WORK/display" || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
export DISPLAY=":$(head -n 1 "$WORK/display")"
wait_for 20 xwininfo -root || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"

start_editor() { # STATE [OPTIONS...]
    "$EDITOR" --state "$@" 2>"$WORK/editor.err" &
    EDITOR_PID=$!
    PIDS+=("$EDITOR_PID")
    wait_for 30 xdotool search --name '^Zerin$' || fail "no window named Zerin: $(cat "$WORK/editor.err")"
    WINDOW=$(xdotool search --name '^Zerin$' | head -n 1)
}

# Ends with the editor's exit status.
wait_editor() {
    local tries=300
    while kill -0 "$EDITOR_PID" 2>/dev/null && ((tries-- > 0)); do sleep 0.1; done
    kill -0 "$EDITOR_PID" 2>/dev/null && fail "the editor did not quit"
    wait "$EDITOR_PID"
}

state=$WORK/session.json
start_editor "$state"
# Said when the audio starts, which is after the window maps.
wait_for 10 grep -q "no JACK server; looping the demo signal" "$WORK/editor.err" ||
    fail "no word about running without JACK: $(cat "$WORK/editor.err")"
wait_for 10 sh -c "xwininfo -id $WINDOW | grep -q 'Map State: IsViewable'" || fail "the window is not mapped"
xwininfo -id "$WINDOW" | grep -q 'Width: 900' || fail "the window is not 900 points wide"
screen_has_drawing() { read -r _ _ c < <("$PROBE" screen) && ((c > 50)); }
wait_for 10 screen_has_drawing || fail "nothing drawn on the screen"
[[ ! -e "$state" ]] || fail "the state was written before anyone saved"

xdotool windowfocus --sync "$WINDOW" 2>/dev/null || xdotool windowfocus "$WINDOW"
xdotool key ctrl+s
wait_for 10 test -s "$state" || fail "Ctrl+S did not write $state: $(cat "$WORK/editor.err")"
grep -q '"curveSet"' "$state" || fail "the saved state has no curves: $(head -c 300 "$state")"
kill -0 "$EDITOR_PID" || fail "the editor quit on Ctrl+S"

# Closing as a window manager does: WM_DELETE_WINDOW.
rm "$state"
"$PROBE" close "$WINDOW"
wait_editor || fail "closing the window gave status $?: $(cat "$WORK/editor.err")"
[[ -s "$state" ]] || fail "closing the window did not write the state"

# The saved state comes back, and SIGTERM saves it again.
sed -i 's/"dryWet": *[0-9.]*/"dryWet": 37/' "$state"
start_editor "$state"
kill -TERM "$EDITOR_PID"
wait_editor || fail "SIGTERM gave status $?: $(cat "$WORK/editor.err")"
grep -Eq '"dryWet": *37' "$state" || fail "the restored dryWet was not saved back: $(cat "$state")"

# The preset browser under real wheel clicks (buttons 4 and 5) and a drag of its scroll bar:
# six user presets overflow the list, and the last two load only once scrolled into view.
# Places in window points at scale 1: the name button, a point on the list, the scroll bar,
# and where the last two rows stand when the list is scrolled to its end (the rows are 25
# points apart; unscrolled, those places show "User 2" and "User 1").
write_user_presets "User 1:200/50,4000/100" "User 2:200/60,4000/110" "User 3:200/70,4000/120" \
    "User 4:200/80,4000/130" "User 5:200/90,4000/140" "User 6:200/95,4000/150"
name_button=(825 22) in_list=(760 200) scroll_bar=879 fifth_row=317 sixth_row=342
browse=$WORK/browse.json
start_editor "$browse"
wait_for 10 screen_has_drawing || fail "nothing drawn on the screen"
xdotool windowfocus --sync "$WINDOW" 2>/dev/null || xdotool windowfocus "$WINDOW"
# Opens the browser and waits until it shows: the scrim darkens the whole window.
open_browser() {
    "$PROBE" screen "$WORK/closed.png" >/dev/null
    xdotool mousemove --window "$WINDOW" "${name_button[@]}" click 1
    wait_for 10 browser_darkens || fail "the preset browser did not open"
}
browser_darkens() {
    "$PROBE" screen "$WORK/open.png" >/dev/null &&
        awk -v d="$("$PROBE" differ "$WORK/closed.png" "$WORK/open.png")" 'BEGIN { exit !(d > 30) }'
}
# The preset the editor holds, as Ctrl+S saves it.
saved_preset_is() { # NAME
    rm -f "$browse"
    xdotool key ctrl+s
    wait_for 10 test -s "$browse" || fail "Ctrl+S did not write $browse"
    grep -q "\"presetName\": *\"$1\"" "$browse"
}
open_browser
xdotool mousemove --window "$WINDOW" "${in_list[@]}" click --repeat 17 5
xdotool mousemove --window "$WINDOW" 760 "$sixth_row" click 1
saved_preset_is "User 6" ||
    fail "17 wheel clicks and a click on the last row loaded $(grep -o '"presetName": *"[^"]*"' "$browse")"
open_browser
xdotool mousemove --window "$WINDOW" "$scroll_bar" 150 mousedown 1 \
    mousemove --window "$WINDOW" "$scroll_bar" 250 mousemove --window "$WINDOW" "$scroll_bar" 420 \
    mouseup 1
xdotool mousemove --window "$WINDOW" 760 "$fifth_row" click 1
saved_preset_is "User 5" ||
    fail "dragging the scroll bar down and a click on the fifth user preset loaded $(grep -o '"presetName": *"[^"]*"' "$browse")"

# Keys typed at once after the click that opens the save dialog (in the same batch of events
# as the click) land in its name field, and Return saves; the presets stored before stay.
store=$ZERIN_CONFIG_DIR/preferences.json
xdotool mousemove --window "$WINDOW" 869 22 mousedown 1 mouseup 1 type --delay 0 "Typed At Once"
xdotool key Return
wait_for 10 grep -q '"Typed At Once"' "$store" ||
    fail "a name typed at once after opening the save dialog was not saved: $(grep -o '"name":"[^"]*"' "$store")"
grep -q '"User 6"' "$store" || fail "saving from the editor lost the presets stored before"
# A preset zerin-render stores while the editor runs is in the browser when it opens; its
# filter takes the keys at once, and Return loads the first match.
if [[ -n $RENDER ]]; then
    "$RENDER" --curve 100:200,2000:700 --save-preset "Rendered Elsewhere" 2>"$WORK/render.err" ||
        fail "zerin-render --save-preset failed: $(cat "$WORK/render.err")"
    xdotool mousemove --window "$WINDOW" "${name_button[@]}" mousedown 1 mouseup 1 \
        type --delay 0 "ELSEWHERE"
    xdotool key Return
    saved_preset_is "Rendered Elsewhere" ||
        fail "filtering for a preset zerin-render stored loaded $(grep -o '"presetName": *"[^"]*"' "$browse")"
fi
kill -TERM "$EDITOR_PID"
wait_editor || fail "SIGTERM gave status $?: $(cat "$WORK/editor.err")"

# The desktop's Xft.dpi sets the scale; --scale overrides it.
window_width() { # EXPECTED-WIDTH editor-options...
    local width=$1
    shift
    "$EDITOR" "$@" 2>"$WORK/editor.err" &
    EDITOR_PID=$!
    PIDS+=("$EDITOR_PID")
    wait_for 30 xdotool search --name '^Zerin$' || fail "no window with $*"
    WINDOW=$(xdotool search --name '^Zerin$' | head -n 1)
    wait_for 10 sh -c "xwininfo -id $WINDOW | grep -q 'Width: $width\$'" ||
        fail "the window with $* is not $width wide: $(xwininfo -id "$WINDOW" | grep Width)"
    kill -INT "$EDITOR_PID"
    wait_editor || fail "SIGINT gave status $?"
}
if command -v xprop >/dev/null; then
    xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	144"
    window_width 1350
fi
window_width 1800 --scale 2

# The cursor the server shows over a knob (up and down arrows) and over the preset name
# field of the save dialog (a text cursor), at places in window points at scale 1; the window
# sits at the root's origin (no window manager).
if command -v xwininfo >/dev/null; then
    "$EDITOR" --scale 1 2>"$WORK/editor.err" &
    EDITOR_PID=$!
    PIDS+=("$EDITOR_PID")
    wait_for 30 xdotool search --name '^Zerin$' || fail "no window: $(cat "$WORK/editor.err")"
    WINDOW=$(xdotool search --name '^Zerin$' | head -n 1)
    wait_for 10 screen_has_drawing || fail "nothing drawn on the screen"
    cursor=$("$PROBE" cursor 95 525 up-down)
    [[ $cursor == up-down ]] || fail "over the INPUT knob the cursor is $cursor, not up-down"
    xdotool mousemove 869 22 click 1 # the save button opens the dialog
    cursor=$("$PROBE" cursor 450 293 text)
    [[ $cursor == text ]] || fail "over the preset name field the cursor is $cursor, not text"
    kill -TERM "$EDITOR_PID"
    wait_editor || fail "SIGTERM gave status $?: $(cat "$WORK/editor.err")"
fi

# The window resizes: no maximum in its size hints, the editor fills what it is given (the
# canvas reaches the new right edge), and the next editor opens at the size it was left at.
start_editor "$WORK/resized.json" --scale 1
wait_for 10 screen_has_drawing || fail "nothing drawn on the screen"
if command -v xprop >/dev/null; then
    hints=$(xprop -id "$WINDOW" WM_NORMAL_HINTS)
    grep -q "minimum size: 900 by 520" <<<"$hints" || fail "no minimum size of 900 by 520: $hints"
    grep -q "maximum size" <<<"$hints" && fail "the window still has a maximum size: $hints"
fi
"$PROBE" screen "$WORK/small.png" >/dev/null
xdotool windowsize --sync "$WINDOW" 1200 760 2>/dev/null || xdotool windowsize "$WINDOW" 1200 760
grown() {
    "$PROBE" screen "$WORK/grown.png" >/dev/null &&
        awk -v d="$("$PROBE" differ "$WORK/small.png" "$WORK/grown.png" 950 650 240 100)" \
            'BEGIN { exit !(d > 30) }'
}
wait_for 10 grown || fail "the editor did not fill the grown window"
kill -TERM "$EDITOR_PID"
wait_editor || fail "SIGTERM gave status $?: $(cat "$WORK/editor.err")"
grep -Eq '"editorSize": *\{ *"width": *1200(\.0)?, *"height": *760(\.0)?' \
    "$ZERIN_CONFIG_DIR/preferences.json" ||
    fail "the size was not kept: $(cat "$ZERIN_CONFIG_DIR/preferences.json")"
start_editor "$WORK/resized.json" --scale 1
wait_for 10 sh -c "xwininfo -id $WINDOW | grep -q 'Width: 1200\$'" ||
    fail "the editor did not open at the size it was left at: $(xwininfo -id "$WINDOW" | grep -E 'Width|Height')"
kill -TERM "$EDITOR_PID"
wait_editor || fail "SIGTERM gave status $?: $(cat "$WORK/editor.err")"

# The X connection broken under the editor: its window killed (xkill kills the client that
# made it), then the server itself gone. The session is saved all the same, and the status
# and a message say that the editor did not end by the user's choice.
lost_connection() { # what broke
    wait_editor
    local status=$?
    ((status == 1)) || fail "$1: status $status, not 1: $(cat "$WORK/editor.err")"
    grep -q "connection to the X display was lost" "$WORK/editor.err" ||
        fail "$1: no word about the lost connection: $(cat "$WORK/editor.err")"
    grep -Eq '"dryWet": *41' "$state" || fail "$1: the session was not saved: $(cat "$state")"
}
if command -v xkill >/dev/null; then
    sed -i 's/"dryWet": *[0-9.]*/"dryWet": 41/' "$state"
    start_editor "$state"
    # Killed once it runs: a window killed while it opens is a failed start, not a session.
    wait_for 10 screen_has_drawing || fail "nothing drawn on the screen"
    rm "$state"
    xkill -id "$WINDOW" >/dev/null
    lost_connection "xkill"
fi
sed -i 's/"dryWet": *[0-9.]*/"dryWet": 41/' "$state"
start_editor "$state"
wait_for 10 screen_has_drawing || fail "nothing drawn on the screen"
rm "$state"
kill "$XVFB_PID"
lost_connection "the server gone"
echo "window tests passed"
