#!/usr/bin/env bash
# The demo program under valgrind's memcheck on a virtual display, driven for about a minute
# through start, stop, both kinds of recording and device changes; then closed. Fails on any
# invalid access or use of uninitialised memory, and on any definite leak.
# Usage: demo-memcheck.sh VERUZIVA_DEMO SUPPRESSIONS OUTPUT_FOLDER [SECONDS]
set -euo pipefail
demo=$(realpath "$1") suppressions=$(realpath "$2") output=$(realpath "$3") seconds=${4:-60}

source "$(dirname "$0")/../../scripts/lib/harness.sh"
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/demo.log" ] && head -n 20 "$work/demo.log" >&2
    import -window root "$output/memcheck-failure.png" 2>/dev/null &&
        echo "(screen: $output/memcheck-failure.png)" >&2
    [ -f "$work/memcheck.log" ] && cp "$work/memcheck.log" "$output/memcheck.log" &&
        echo "(memcheck log: $output/memcheck.log)" >&2
    exit 1
}

start_display
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
# No session bus to find: Qt's accessibility bridge then gives up at once, the same way on
# every run, instead of racing a connection attempt against the end of the program.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-session-bus

(cd "$work" && exec valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite --errors-for-leak-kinds=definite --child-silent-after-fork=yes \
    --num-callers=40 --suppressions="$suppressions" --log-file="$work/memcheck.log" "$demo") \
    >"$work/demo.log" 2>&1 &
program=$!
pids+=($program)
window=$(timeout 120 xdotool search --sync --name '^Veruziva & Multimeter$' | head -n1) ||
    fail "the demo's window did not come up under valgrind"
sleep 2

click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep "${3:-1}"; }
# Answers the size question of a continual recording.
confirm() {
    local box
    box=$(timeout 30 xdotool search --sync --onlyvisible --name '^Confirm$' | head -n1) ||
        fail "no size question"
    for _ in 1 2 3 4 5; do
        sleep 1
        xdotool windowfocus "$box" 2>/dev/null || continue
        sleep 0.3
        xdotool key Return
        sleep 1
        xdotool search --onlyvisible --name '^Confirm$' >/dev/null || return 0
    done
    fail "the size question was not answered"
}
define() {  # $1: the record type's radio button row, 32 continual or 50 sampled
    click 389 325 2
    local dialog
    dialog=$(timeout 30 xdotool search --sync --onlyvisible --name '^Data capture definition$' | head -n1) ||
        fail "no capture definition dialog"
    xdotool mousemove --window "$dialog" 24 "$1" click 1
    sleep 0.5
    xdotool mousemove --window "$dialog" 400 100 click 1
    sleep 1
}

started=$(date +%s)
round=0
while [ $(($(date +%s) - started)) -lt "$seconds" ]; do
    round=$((round + 1))
    click 476 253 4                   # Start: measure for a while
    click 476 253 1                   # Stop
    # A recording of the dialog's 1 s, which starts the capture, ends by itself and stops it.
    if [ $((round % 2)) -eq 1 ]; then
        define 32                     # continual, captured.wav
        click 476 277 0               # Start saving
        confirm
    else
        define 50                     # sampled every 1/4 s, captured.csv
        click 476 277 0
    fi
    sleep 4
    click 104 325 1                   # the device box: its list opens
    if [ $((round % 2)) -eq 1 ]; then
        click 104 345 2               # the idle card, below the generator
    else
        click 104 305 2               # back to the generator, above the idle card
    fi
done

click 476 301 0                       # Close
for _ in $(seq 600); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program" 2>/dev/null && fail "Close did not end the demo"
status=0
wait "$program" || status=$?
grep -q "ERROR SUMMARY" "$work/memcheck.log" || fail "no memcheck summary"
[ "$status" -eq 0 ] || fail "memcheck found errors or the demo ended with status $status: $(grep -E 'ERROR SUMMARY|definitely lost' "$work/memcheck.log")"

# What was recorded is complete: a WAV file sox reads, and rows of readings.
[ -s "$work/captured.wav" ] || fail "no WAV recording"
soxi "$work/captured.wav" >/dev/null 2>&1 || fail "sox cannot read the WAV recording"
frames=$(soxi -s "$work/captured.wav")
[ "$((44 + frames * 4))" -eq "$(stat -c %s "$work/captured.wav")" ] || fail "WAV header and size differ"
if [ "$round" -ge 2 ]; then
    [ "$(head -c 14 "$work/captured.csv")" = "time;A[ ];B[ ]" ] || fail "no rows recorded"
fi
cp "$work/memcheck.log" "$output/memcheck.log"
echo "memcheck: $round rounds in $(($(date +%s) - started)) s: no errors, no definite leaks;" \
    "last WAV recording $frames frames; log $output/memcheck.log"
