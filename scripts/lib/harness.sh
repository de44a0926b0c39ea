# Sourced by the scripts that drive the real programs: a work folder, removed at exit together
# with every background process recorded in `pids`; a virtual display; a private PulseAudio
# server whose pipe source a paced feeder fills.
work=$(mktemp -d)
pids=()
# No session bus: the programs and servers started here never reach the desktop's (or start
# one with the display, as libdbus would).
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-session-bus
mkdir -p "$work/home" "$work/config"
mkdir -m 700 "$work/run"

harness_cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap harness_cleanup EXIT

# Starts Xvfb on a free display and exports DISPLAY.
start_display() {
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || { echo "Xvfb did not start: $(cat "$work/xvfb.log")" >&2; return 1; }
    export DISPLAY=":$(head -n1 "$work/display")"
}

# Starts the sound server with a microphone "vzmic" ("Bench microphone", silent) and a pipe
# source "vzpipe" described as DESCRIPTION (default "Bench line in": a line input by its name)
# that FEEDER (the test signal writer) fills in real time; exports PULSE_SERVER.
start_pulse_source() {
    local feeder=$1 description=${2:-Bench line in}
    cat >"$work/script.pa" <<PA
load-module module-native-protocol-unix socket=$work/pulse.sock auth-anonymous=1
load-module module-null-source source_name=vzmic description='Bench microphone'
load-module module-pipe-source source_name=vzpipe file=$work/fifo format=s16le rate=44100 channels=2 source_properties='device.description="$description"'
load-module module-null-sink sink_name=vznull
PA
    HOME=$work/home XDG_RUNTIME_DIR=$work/run "$(dirname "${BASH_SOURCE[0]}")/pulseaudio" \
        -n -F "$work/script.pa" --daemonize=no \
        --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no --log-target=stderr \
        >"$work/pulse.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -p "$work/fifo" ] && [ -S "$work/pulse.sock" ] && break; sleep 0.05; done
    [ -p "$work/fifo" ] || { echo "pulseaudio did not start: $(cat "$work/pulse.log")" >&2; return 1; }
    "$feeder" "$work/fifo" &
    pids+=($!)
    export PULSE_SERVER=unix:$work/pulse.sock
}

# A source's level as "VOLUME MUTE" in the server's units: "65536 no" is full and live.
source_level() {
    echo "$(pactl get-source-volume "$1" | grep -o '[0-9]* /' | head -n1 | tr -d ' /')" \
        "$(pactl get-source-mute "$1" | sed 's/^Mute: //')"
}

# Starts the sound server with a microphone "vzmic" ("Bench microphone", silent) and a line
# input "vzcard" ("Bench line in") that works like a sound card's source: the server's clock
# times it and it wakes its recorders as rarely as they ask (the pipe source of
# start_pulse_source hands on each write of its feeder, every 10 ms), and it hands the frames
# over in shared memory as a desktop's server does. FEEDER's test signal
# plays through pacat into a sink that plays nowhere; vzcard is that sink's monitor. Exports
# PULSE_SERVER.
start_pulse_card() {
    local feeder=$1
    cat >"$work/script.pa" <<PA
load-module module-native-protocol-unix socket=$work/pulse.sock auth-anonymous=1
load-module module-null-source source_name=vzmic description='Bench microphone'
load-module module-null-sink sink_name=vzcardout sink_properties='device.description="Bench card"'
load-module module-remap-source source_name=vzcard master=vzcardout.monitor source_properties='device.description="Bench line in"'
PA
    HOME=$work/home XDG_RUNTIME_DIR=$work/run "$(dirname "${BASH_SOURCE[0]}")/pulseaudio" \
        -n -F "$work/script.pa" --daemonize=no \
        --exit-idle-time=-1 --use-pid-file=no --log-target=stderr \
        >"$work/pulse.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -S "$work/pulse.sock" ] && break; sleep 0.05; done
    [ -S "$work/pulse.sock" ] || { echo "pulseaudio did not start: $(cat "$work/pulse.log")" >&2; return 1; }
    export PULSE_SERVER=unix:$work/pulse.sock
    mkfifo "$work/cardfifo"
    pacat --playback --raw --format=s16le --rate=44100 --channels=2 --device=vzcardout \
        --client-name='Bench signal' --latency-msec=500 "$work/cardfifo" &
    pids+=($!)
    "$feeder" "$work/cardfifo" &
    pids+=($!)
    pactl set-default-source vzcard
}

# Writes a settings file of the program, calibrated on every range of device 0's first mixer
# and line: raw value 15000 and factor 10000 on each.
write_calibration() {
    {
        echo "[General]"
        printf 'Sound%%20device=0\nMixer=0\nLINE%%20IN=0\nZero%%20left=0\nZero%%20right=0\n'
        for range in 0.3V 3.0V 30%20V 3.0A; do echo "Raw%20Value%20%20$range=15000"; done
        for side in left right; do
            for range in 0.3V 3.0V 30%20V 3.0A; do echo "Raw%20Factor%20$range%20$side=10000"; done
        done
    } >"$1"
}
