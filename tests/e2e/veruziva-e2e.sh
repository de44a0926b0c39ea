#!/usr/bin/env bash
# End to end: the real veruziva under Xvfb on a private PulseAudio server, as on a desktop
# (no ALSA configuration of ours): a line input fed a paced signal, and a microphone.
# Usage: veruziva-e2e.sh VERUZIVA PACEDFEED OUTPUT_FOLDER
set -euo pipefail
veruziva=$1 feed=$2 output=$3

source "$(dirname "$0")/../../scripts/lib/harness.sh"
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/veruziva.log" ] && grep -v "^ALSA lib" "$work/veruziva.log" | head -n 200 >&2
    exit 1
}

# A display that does not answer: a plain reason and status 1, not Qt's abort.
status=0
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97 "$veruziva" >"$work/nodisplay.log" 2>&1 ||
    status=$?
[ "$status" -eq 1 ] && grep -q '^veruziva: the display ":97" cannot be reached' "$work/nodisplay.log" ||
    fail "on a display that does not answer: status $status, $(cat "$work/nodisplay.log")"

# A display of our own.
start_display

# A sound server of our own, its pipe source fed in real time.
start_pulse_source "$feed" || fail "no sound server"

export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
unset ALSA_CONFIG_PATH
# The line input turned down and muted, the microphone muted at 40 %.
pactl set-source-volume vzpipe 19661 && pactl set-source-mute vzpipe 1 &&
    pactl set-source-volume vzmic 26214 && pactl set-source-mute vzmic 1 ||
    fail "pactl could not set the levels"

# Under AddressSanitizer: libxkbcommon-x11 (in Qt's X11 start-up) passes strndup a counted,
# unterminated name, which ASan's strndup interceptor reads past; that check alone is off.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}intercept_strndup=0"
mkdir -p "$work/records"
(cd "$work/records" && exec "$veruziva") >"$work/veruziva.log" 2>&1 &
program=$!
pids+=($program)
window=$(timeout 20 xdotool search --sync --name '^Veruziva & Multimeter$' | head -n1) ||
    fail "the window did not come up"
[ "$(xdotool getwindowname "$window")" = "Veruziva & Multimeter" ] || fail "wrong caption"

# Start-up chose the line input and turned it fully up; the microphone is as it was.
for _ in $(seq 20); do [ "$(source_level vzpipe)" = "65536 no" ] && break; sleep 0.1; done
[ "$(source_level vzpipe)" = "65536 no" ] || fail "line-in level: $(source_level vzpipe)"
[ "$(source_level vzmic)" = "26214 yes" ] || fail "the microphone was touched: $(source_level vzmic)"

# Start, and let it measure for a while.
xdotool mousemove --window "$window" 476 253 click 1
sleep 3
import -window root "$output/e2e-screenshot.png"
# The traces are live: yellow pixels inside the scope area.
yellow=$(convert "$output/e2e-screenshot.png" -fill black +opaque '#FFFF00' -fill white -opaque '#FFFF00' \
    -format '%[fx:mean*w*h]' info:)
[ "${yellow%.*}" -gt 100 ] || fail "no trace drawn (yellow pixels: $yellow)"

# The capture definition dialog: its defaults are sampled rows every 1/4 s into
# captured.csv; the capturing time becomes 2 s.
dialog() {
    xdotool mousemove --window "$window" 389 325 click 1
    definition=$(timeout 10 xdotool search --sync --name '^Data capture definition$' | head -n1) ||
        fail "the capture definition dialog did not come up"
    sleep 0.3
}
close_dialog() {
    xdotool mousemove --window "$definition" 400 100 click 1
    for _ in $(seq 50); do xdotool search --name '^Data capture definition$' >/dev/null || break; sleep 0.1; done
}
dialog
xdotool mousemove --window "$definition" 44 98 click --repeat 3 1 type --delay 50 "2"
close_dialog
xdotool mousemove --window "$window" 476 277 click 1
rows="$work/records/captured.csv"
for _ in $(seq 60); do [ "$(grep -c $'\r$' "$rows" 2>/dev/null)" -ge 9 ] && break; sleep 0.1; done
sleep 0.5
tr -d '\r' <"$rows" >"$work/rows"
[ "$(head -n1 "$work/rows")" = "time;A[ ];B[ ]" ] || fail "rows header: $(head -n1 "$work/rows")"
[ "$(cut -d';' -f1 "$work/rows" | tail -n +2 | paste -sd' ')" = "0.25 0.5 0.75 1 1.25 1.5 1.75 2" ] ||
    fail "row times: $(cat "$work/rows")"
# Uncalibrated readings are raw: A (AC) the mean magnitude, 2/pi of the 8000 sine; B (DC) 1500.
awk -F';' 'NR > 1 && ($2 < 5050 || $2 > 5140 || $3 != 1500) { bad = 1 } END { exit bad }' "$work/rows" ||
    fail "row readings: $(cat "$work/rows")"

# Continual: 2 s of the input into captured.wav, after the size is confirmed.
dialog
xdotool mousemove --window "$definition" 24 32 click 1
close_dialog
xdotool mousemove --window "$window" 476 277 click 1
confirm=$(timeout 10 xdotool search --sync --name '^Confirm$' | head -n1) ||
    fail "no size confirmation"
sleep 0.3
xdotool windowfocus "$confirm" key Return
sleep 3
wav="$work/records/captured.wav"
[ "$(soxi -s "$wav")" = 88200 ] || fail "WAV frames: $(soxi "$wav" 2>&1)"
[ "$(stat -c %s "$wav")" = $((44 + 88200 * 4)) ] || fail "WAV size: $(stat -c %s "$wav")"
# Every frame of it is the fed signal, without a gap: A the feeder's 8000 sine of 100 frames
# a period at some phase, found from the first two frames; B the DC level 1500.
sox "$wav" -t dat - | awk '
    function fed(n) { v = 8000 * sin(2 * 3.14159265358979 * n / 100); return v < 0 ? -int(-v + 0.5) : int(v + 0.5) }
    function abs(x) { return x < 0 ? -x : x }
    BEGIN { n = 0 }
    /^;/ { next }
    { a[n] = int($2 * 32768 + ($2 < 0 ? -0.5 : 0.5)); b[n] = int($3 * 32768 + ($3 < 0 ? -0.5 : 0.5)); n++ }
    END {
        best = -1
        for (k = 0; k < 100; k++) if (abs(a[0] - fed(k)) + abs(a[1] - fed(k + 1)) <= 2) best = k
        if (best < 0) { print "no phase of the fed sine fits " a[0] ", " a[1]; exit 1 }
        for (i = 0; i < n; i++)
            if (abs(a[i] - fed(i + best)) > 1 || b[i] != 1500) { print "frame " i ": " a[i] ";" b[i] " is not fed"; exit 1 }
        if (n != 88200) { print n " frames"; exit 1 }
    }' >"$work/alignment" || fail "WAV contents: $(cat "$work/alignment")"

# The sound server suspends the source: within a few seconds the window shows that no data
# comes (no trace left in the scope area), and measures again once the source is resumed.
yellow_in_scope() {
    import -window "$window" "$work/scope.png"
    convert "$work/scope.png" -crop 265x266+8+34 +repage -fill black +opaque '#FFFF00' \
        -fill white -opaque '#FFFF00' -format '%[fx:mean*w*h]' info:
}
xdotool mousemove --window "$window" 476 253 click 1
sleep 1
pactl suspend-source vzpipe 1 || fail "pactl could not suspend the source"
sleep 3.5
import -window root "$output/e2e-no-data.png"
yellow=$(yellow_in_scope)
[ "${yellow%.*}" -eq 0 ] || fail "a stalled input still shows a trace (yellow pixels: $yellow)"
pactl suspend-source vzpipe 0 || fail "pactl could not resume the source"
sleep 2
yellow=$(yellow_in_scope)
[ "${yellow%.*}" -gt 100 ] || fail "no trace after the source came back (yellow pixels: $yellow)"

# From the context menu, as for a lab report: a picture of the panel, then the trend window
# (its chart live, the gap of the suspended source in it), its chart saved as a PNG and its
# readings as CSV, each through the file dialog.
save_as() {  # CAPTION FILE
    local dialog
    dialog=$(timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" | head -n1) ||
        fail "no \"$1\" dialog"
    sleep 0.5
    xdotool windowfocus --sync "$dialog" type --delay 20 "$2"
    xdotool key Return
    for _ in $(seq 50); do [ -s "$2" ] && break; sleep 0.1; done
    [ -s "$2" ] || fail "nothing saved as $2"
}
xdotool windowfocus --sync "$window" key ctrl+p
save_as "Save picture" "$work/panel.png"
[ "$(identify -format %m:%wx%h "$work/panel.png")" = PNG:520x310 ] ||
    fail "the picture: $(identify "$work/panel.png")"
xdotool windowfocus --sync "$window" key ctrl+t
trend=$(timeout 10 xdotool search --sync --onlyvisible --name '^Trend$' | head -n1) ||
    fail "the trend window did not open"
sleep 1
import -window root "$output/e2e-trend.png"
import -window "$trend" "$work/trend-window.png"
yellow=$(convert "$work/trend-window.png" -fill black +opaque '#FFFF00' -fill white \
    -opaque '#FFFF00' -format '%[fx:mean*w*h]' info:)
[ "${yellow%.*}" -gt 3 ] || fail "the trend shows no reading of A (yellow pixels: $yellow)"
eval "$(xdotool getwindowgeometry --shell "$trend")"
# The two buttons at the bottom right: "Save PNG..." left of "Save CSV...".
xdotool mousemove --window "$trend" $((WIDTH - 137)) $((HEIGHT - 22)) click 1
save_as "Save PNG" "$work/trend.png"
identify -format %m "$work/trend.png" | grep -qx PNG || fail "the trend's PNG: $(identify "$work/trend.png")"
xdotool mousemove --window "$trend" $((WIDTH - 45)) $((HEIGHT - 22)) click 1
save_as "Save CSV" "$work/trend.csv"
# What it was measured with, in '#' lines, then the table.
grep -q '^# Source: vzpipe' "$work/trend.csv" || fail "trend CSV names no source: $(head -n3 "$work/trend.csv")"
# The table's first line read whole by one program: with pipefail, a grep whose reader (head)
# has gone dies of SIGPIPE once the file outgrows the pipe, and the check failed by the length.
awk '!/^#/ { print; exit }' "$work/trend.csv" | grep -q '^time;elapsed_s;A' ||
    fail "trend CSV: $(grep -v '^#' "$work/trend.csv" | head -n2)"
[ "$(grep -c '^20[0-9-]*T' "$work/trend.csv")" -gt 20 ] || fail "trend CSV rows: $(wc -l <"$work/trend.csv")"

# Close ends the program (the main window raised above the trend's).
xdotool windowraise "$window"
xdotool mousemove --window "$window" 476 301 click 1
for _ in $(seq 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program" 2>/dev/null && fail "Close did not end the program"
wait "$program" || fail "the program ended with status $?"
# Calibrated, the line input's level moved by another program: the readouts are marked (amber)
# with a bar over the scope, whose click sets the level back and takes the mark away.
mkdir -p "$XDG_CONFIG_HOME/Zoruzoz"
write_calibration "$XDG_CONFIG_HOME/Zoruzoz/Veruziva.conf" ||
    fail "cannot write the settings"
(cd "$work/records" && exec "$veruziva") >"$work/veruziva.log" 2>&1 &
program=$!
pids+=($program)
window=$(timeout 20 xdotool search --sync --name '^Veruziva & Multimeter$' | head -n1) ||
    fail "the calibrated window did not come up"
amber() {
    import -window "$window" "$work/mark.png"
    convert "$work/mark.png" -fill black +opaque '#FFB000' -fill white -opaque '#FFB000' \
        -format '%[fx:mean*w*h]' info:
}
xdotool mousemove --window "$window" 476 253 click 1
sleep 1.5
[ "$(amber | cut -d. -f1)" -eq 0 ] || fail "marked before anything moved the level"
pactl set-source-volume vzpipe 45875 || fail "pactl could not move the level"
sleep 1
import -window root "$output/e2e-level-moved.png"
[ "$(amber | cut -d. -f1)" -gt 50 ] || fail "a level moved from outside is not marked"
xdotool mousemove --window "$window" 140 60 click 1
sleep 1
[ "$(source_level vzpipe)" = "65536 no" ] || fail "the click did not set the level back: $(source_level vzpipe)"
[ "$(amber | cut -d. -f1)" -eq 0 ] || fail "the mark stayed after the level was set back"
kill "$program"
wait "$program" 2>/dev/null || true

echo "e2e: window, line-in, live traces, sampled rows, WAV recording, stalled input, picture," \
    "trend with PNG and CSV, Close, and a moved input level marked and set back checked;" \
    "screenshots $output/e2e-screenshot.png, $output/e2e-no-data.png, $output/e2e-trend.png," \
    "$output/e2e-level-moved.png"
