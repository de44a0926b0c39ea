#!/usr/bin/env bash
# The README's run command as a newcomer meets it: without a display it says that a graphical
# session is needed; on a desktop whose sound server offers no line input it starts the demo
# and says why; once the server has a line input it starts the real program; either way in
# the home folder, with a window. The programs are those of BUILD (scripts/run --build-dir), so
# that the wait times their start alone, not a build of their own.
# Usage: run-script.sh PACEDFEED BUILD
set -euo pipefail
feed=$1
build=$2
root=$(cd "$(dirname "$0")/../.." && pwd)

source "$root/scripts/lib/harness.sh"
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/run.log" ] && grep -v "^ALSA lib" "$work/run.log" | tail -n 20 >&2
    exit 1
}
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run

# No graphical session.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$root/scripts/run" >"$work/run.log" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "without a display: status $status"
grep -q "need a graphical session" "$work/run.log" || fail "without a display: no word of it"

# A display that does not answer: said before anything is installed or built.
status=0
env -u WAYLAND_DISPLAY DISPLAY=:97 "$root/scripts/run" >"$work/run.log" 2>&1 || status=$?
[ "$status" -eq 1 ] && [ "$(cat "$work/run.log")" = 'scripts/run: the display ":97" cannot be reached'\
' (nothing answers there); run this from a desktop session, or set DISPLAY (or WAYLAND_DISPLAY)'\
' to a display that runs.' ] || fail "on a display that does not answer: status $status"

start_display
[ -n "${DISPLAY:-}" ] || fail "the virtual display has no name"

# Starts scripts/run on the built programs and waits for its window, up to a minute; prints the
# program's process id.
run() {
    DISPLAY=$DISPLAY "$root/scripts/run" --build-dir "$build" >"$work/run.log" 2>&1 &
    local script=$!
    local _
    for _ in $(seq 120); do
        DISPLAY=$DISPLAY xdotool search --name '^Veruziva & Multimeter$' >/dev/null \
            2>>"$work/xdotool.log" && break
        kill -0 "$script" 2>/dev/null || fail "scripts/run ended without a window"
        sleep 0.5
    done
    DISPLAY=$DISPLAY xdotool search --name '^Veruziva & Multimeter$' >/dev/null 2>&1 ||
        fail "no window came up on $DISPLAY: $(tail -n 3 "$work/xdotool.log")"
    echo "$script"
}
close() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# No sound server and no sound card (a machine with cards cannot show it): the demo, and the
# meter tool's own reason, not what ALSA printed before it.
if ! grep -q '^ *[0-9]' /proc/asound/cards 2>/dev/null; then
    program=$(run)
    grep -q '^Starting veruziva-demo on its built-in signal generator: veruziva cannot start here'\
' (Input devices are not available)\.$' "$work/run.log" || fail "no server, no card: the reason"
    close "$program"
    # ALSA chosen by hand (the test tools install its server plugin): the plugin's device for
    # the absent server fails with messages and blank lines before the tool's reason.
    program=$(VERUZIVA_AUDIO=alsa run)
    grep -q '^Starting veruziva-demo .*(Mixer device NOT available\.\.\.\. Set up AUDIO properly!)\.$' \
        "$work/run.log" || fail "ALSA chosen, no server: the reason"
    close "$program"
fi

start_pulse_source "$feed" "Bench microphone input" || fail "no sound server"

# The sound server's inputs are microphones only: no line input, so the demo, and the reason.
program=$(run)
grep -q '^Starting veruziva-demo .*(LineIn device NOT available' "$work/run.log" ||
    fail "the demo was not started with its reason"
[ "$(readlink "/proc/$program/exe")" = "$build/src/app/veruziva-demo" ] ||
    fail "not the demo: $(readlink "/proc/$program/exe")"
[ "$(readlink "/proc/$program/cwd")" = "$HOME" ] || fail "not started in the home folder"
close "$program"

# A line input comes (a card plugged in): the real program, on it.
pactl load-module module-null-source source_name=vzline "description='Bench line in'" >/dev/null ||
    fail "pactl could not add a line input"
program=$(run)
grep -q '^Starting veruziva on "0: Bench line in"' "$work/run.log" ||
    fail "the real program was not started"
[ "$(readlink "/proc/$program/exe")" = "$build/src/app/veruziva" ] ||
    fail "not the real program: $(readlink "/proc/$program/exe")"
close "$program"
echo "run-script: no display, the demo on a sound server without line-in, the real program" \
    "once it has one; each with a window in the home folder"
