# Sourced by the scripts that drive the real programs: a work folder, removed at exit together
# with every background process recorded in `pids`; a virtual display; a private PulseAudio
# server whose pipe source a paced feeder fills.
work=$(mktemp -d)
pids=()
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
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || { echo "Xvfb did not start: $(cat "$work/xvfb.log")" >&2; return 1; }
    export DISPLAY=":$(head -n1 "$work/display")"
}

# Starts the sound server, its pipe source "vzpipe" fed in real time by FEEDER (the test
# signal writer), and exports PULSE_SERVER.
start_pulse_source() {
    local feeder=$1
    cat >"$work/script.pa" <<PA
load-module module-native-protocol-unix socket=$work/pulse.sock auth-anonymous=1
load-module module-pipe-source source_name=vzpipe file=$work/fifo format=s16le rate=44100 channels=2
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

# Makes the sound server's pipe source an ALSA input, "P0: Bench input", whose control device
# is the test control plugin PLUGIN with an HDA codec's layout (a line-in among its capture
# sources); its state and the log of its writes are kept in the work folder.
use_bench_input() {
    local plugin=$1
    cat >"$work/asound.conf" <<ALSA
ctl_type.vzctl { lib "$plugin" }
pcm.vzbench { type pulse device vzpipe hint { show on description "Bench input" } }
ctl.vzbench { type vzctl layout "hda" state "$work/mixer.state" log "$work/mixer.log" }
ALSA
    export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$work/asound.conf
}
