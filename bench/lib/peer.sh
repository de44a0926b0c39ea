# Sourced by the benchmarks after scripts/lib/harness.sh: the peer our figures compare us with,
# Debian's xoscope, started on the harness's display and recording from its private sound
# server's default source through ALSA's PulseAudio plugin.

# Installs xoscope (and the ALSA plugin that takes ALSA's "default" to PulseAudio) with apt-get
# when missing; through sudo when not root.
install_xoscope() {
    local packages=() sudo=()
    command -v xoscope >/dev/null || packages+=(xoscope)
    dpkg-query -W -f='${Status}' libasound2-plugins 2>/dev/null | grep -q 'install ok installed' ||
        packages+=(libasound2-plugins)
    [ ${#packages[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "install_xoscope: installing ${packages[*]} needs root, and sudo is not there" >&2
            return 1
        fi
        sudo=(sudo)
    fi
    echo "install_xoscope: installing ${packages[*]} with apt-get"
    if ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q >/dev/null; then
        echo "install_xoscope: apt-get update failed (is the package mirror reachable?)" >&2
        return 1
    fi
    if ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${packages[@]}"; then
        echo "install_xoscope: apt-get could not install: ${packages[*]}" >&2
        return 1
    fi
    command -v xoscope >/dev/null || { echo "install_xoscope: xoscope is still not on PATH" >&2; return 1; }
}

# The sound server's stream that process PID records, as "SOURCE CORKED" (e.g. "vzcard no");
# nothing when it has none.
recording_stream() {
    local pid=$1 index corked name
    read -r index corked < <(LC_ALL=C pactl list source-outputs | awk -v pid="$pid" '
        /^Source Output #/ { source = ""; corked = "" }
        /^\tSource: / { source = $2 }
        /^\tCorked: / { corked = $2 }
        $1 == "application.process.id" && $3 == "\"" pid "\"" { print source, corked; exit }') || true
    [ -n "${index:-}" ] || return 0
    name=$(LC_ALL=C pactl list short sources | awk -v index_="$index" '$1 == index_ { print $2 }')
    echo "$name $corked"
}

# Starts xoscope on DISPLAY recording from the default source of the sound server at
# PULSE_SERVER through ALSA's PulseAudio plugin, with its own defaults otherwise: it comes up
# running (RUN, no trigger), so no key is pressed. Its ALSA configuration goes into the
# harness's HOME, which must lie in the work folder: the machine's own is never touched. Waits
# for its window to be shown and its stream to run; sets xoscope_pid, xoscope_window and
# xoscope_startup_ms (process start to window shown).
# The first GTK program on a fresh display probes its GL visuals (Mesa's software renderer, with
# LLVM: some 55 MB more resident memory and a slower start) and leaves them in the root window's
# GDK_VISUALS property; later starts on the same display skip that.
start_xoscope() {
    : "${work:?start_xoscope needs scripts/lib/harness.sh}"
    [ -n "${DISPLAY:-}" ] || { echo "start_xoscope: no DISPLAY (start_display first)" >&2; return 1; }
    [ -n "${PULSE_SERVER:-}" ] || { echo "start_xoscope: no PULSE_SERVER (start_pulse_card first)" >&2; return 1; }
    case "${HOME:-}" in
        "$work"/*) ;;
        *) echo "start_xoscope: HOME ($HOME) is not in the work folder $work" >&2; return 1 ;;
    esac
    command -v xoscope >/dev/null || { echo "start_xoscope: xoscope is not installed (install_xoscope)" >&2; return 1; }
    # The server named here too, so that a missing PULSE_SERVER in xoscope's environment could
    # never reach another server.
    cat >"$HOME/.asoundrc" <<ALSA
pcm.!default { type pulse server "$PULSE_SERVER" }
ctl.!default { type pulse server "$PULSE_SERVER" }
ALSA
    local begin shown stream
    begin=$(date +%s%3N)
    xoscope >>"$work/xoscope.log" 2>&1 &
    xoscope_pid=$!
    pids+=("$xoscope_pid")
    xoscope_window=""
    for _ in $(seq 2000); do
        xoscope_window=$(xdotool search --onlyvisible --pid "$xoscope_pid" 2>/dev/null | head -n1) || true
        [ -n "$xoscope_window" ] && break
        kill -0 "$xoscope_pid" 2>/dev/null || break
        sleep 0.005
    done
    shown=$(date +%s%3N)
    if [ -z "$xoscope_window" ]; then
        echo "start_xoscope: xoscope's window did not come up: $(cat "$work/xoscope.log")" >&2
        return 1
    fi
    # shellcheck disable=SC2034  # for the benchmark that sources this
    xoscope_startup_ms=$((shown - begin))
    for _ in $(seq 100); do
        stream=$(recording_stream "$xoscope_pid")
        [ "$stream" = "$(pactl get-default-source) no" ] && break
        sleep 0.1
    done
    if [ "$stream" != "$(pactl get-default-source) no" ]; then
        echo "start_xoscope: xoscope does not record from the default source" \
            "(its stream: ${stream:-none}): $(cat "$work/xoscope.log")" >&2
        return 1
    fi
    # Stopped (Space), its stream still runs: only the trace tells. Without a trigger (its
    # default) the sweeps of a running xoscope never match.
    local plot
    plot=$(xoscope_plot)
    for _ in $(seq 20); do
        sleep 0.25
        [ "$(xoscope_plot)" != "$plot" ] && return 0
    done
    echo "start_xoscope: xoscope's trace does not move" >&2
    return 1
}

# A checksum of the pictures in xoscope's plot area (where its default window has it).
xoscope_plot() {
    import -window "$xoscope_window" -crop 390x390+100+127 rgb:- 2>/dev/null | md5sum
}

# Ends the xoscope that start_xoscope started.
stop_xoscope() {
    kill "$xoscope_pid" 2>/dev/null || true
    wait "$xoscope_pid" 2>/dev/null || true
}
