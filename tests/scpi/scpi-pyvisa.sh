#!/usr/bin/env bash
# The meter tool's remote-control server as a bench script meets it: PyVISA (its pure-Python
# back end) on loopback, the tool serving a private sound server's line input fed a 441 Hz sine
# on A and a DC level on B, calibrated on the 3 V range.
# Usage: scpi-pyvisa.sh VERUZIVA-METER PACEDFEED
set -euo pipefail
meter=$1 feed=$2
here=$(dirname "$0")

source "$here/../../scripts/lib/harness.sh"
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/serve.log" ] && head -n 50 "$work/serve.log" >&2
    exit 1
}

start_pulse_source "$feed" || fail "no sound server"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
unset ALSA_CONFIG_PATH
write_calibration "$work/calibration.conf"
sum=$(md5sum <"$work/calibration.conf")
device=$("$meter" --list | awk -F';' '$3 == "vzpipe" { print $1 }')
[ -n "$device" ] || fail "the line input is not listed: $("$meter" --list)"
setup=(--device "$device" --calibration "$work/calibration.conf" --range 2,2 --dc b)

# The tool's own lines for blocks of the same input: what the server's readings must equal.
"$meter" "${setup[@]}" --rms --blocks 12 >"$work/blocks.csv" 2>"$work/blocks.log" ||
    fail "--blocks: $(cat "$work/blocks.log")"

port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$meter" --serve "$port" "${setup[@]}" >"$work/serve.out" 2>"$work/serve.log" &
server=$!
pids+=($server)
for _ in $(seq 100); do grep -q "serving on" "$work/serve.log" && break; sleep 0.05; done
grep -q "^veruziva-meter: serving on 127.0.0.1 port $port$" "$work/serve.log" || fail "not serving"

/usr/bin/python3 "$here/scpi_pyvisa.py" "$port" "$work/blocks.csv" "$server" || fail "the client's checks"

kill -0 "$server" 2>/dev/null || fail "the server ended"
kill -INT "$server"
status=0
wait "$server" || status=$?
[ "$status" -eq 0 ] || fail "Ctrl+C: status $status"
[ ! -s "$work/serve.out" ] || fail "the server wrote to standard output: $(head -c 300 "$work/serve.out")"
[ "$(md5sum <"$work/calibration.conf")" = "$sum" ] || fail "the calibration file was written"
[ ! -e "$work/config/Zoruzoz" ] || fail "settings written: $(ls -R "$work/config/Zoruzoz")"
echo "scpi: PyVISA read volts, frequency, buffered readings with times, errors, level and stall;" \
    "junk and floods left the other clients alone"
