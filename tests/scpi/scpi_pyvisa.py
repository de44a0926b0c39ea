"""The remote-control server's checks as a bench script makes them, through PyVISA.

Usage: scpi_pyvisa.py PORT BLOCKS.CSV SERVER_PID
BLOCKS.CSV: the tool's own --blocks --rms lines of the same input and setup.
"""
import random
import socket
import subprocess
import sys
import threading
import time

import pyvisa

PORT = int(sys.argv[1])
BLOCKS = sys.argv[2]
RESOURCE = f"TCPIP::127.0.0.1::{PORT}::SOCKET"
BLOCK_SECONDS = 4096 / 44100
NO_ERROR = '0,"No error"'

manager = pyvisa.ResourceManager("@py")


def client(timeout_ms=5000):
    instrument = manager.open_resource(RESOURCE, read_termination="\n", write_termination="\n")
    instrument.timeout = timeout_ms
    return instrument


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def tool_columns():
    """Each column of the tool's lines: its values, and the step of its last digit."""
    with open(BLOCKS) as lines:
        header = lines.readline().strip().split(";")
        rows = [line.rstrip("\n").split(";") for line in lines]
    columns = {}
    for index, name in enumerate(header):
        texts = [row[index].strip().rstrip("VA ").strip() for row in rows]
        decimals = len(texts[0].split(".")[1]) if "." in texts[0] else 0
        columns[name] = ([float(t) for t in texts], 10.0 ** -decimals)
    return columns


def as_tool_reads(value, column):
    """The value is one the tool's lines hold, to the last digit they show."""
    values, step = column
    return min(values) - step <= value <= max(values) + step


def numbers(text):
    return [float(item) for item in text.split(",")]


def pactl(*arguments):
    subprocess.run(["pactl", *arguments], check=True)


def wait_for(instrument, query, expected, seconds=5.0):
    deadline = time.monotonic() + seconds
    answer = None
    while time.monotonic() < deadline:
        answer = instrument.query(query)
        if answer == expected:
            return
        time.sleep(0.1)
    raise AssertionError(f"{query} answers {answer}, not {expected}")


def identity_and_units(meter):
    name = meter.query("*IDN?").split(",")
    check(name[:3] == ["Zoruzoz", "Veruziva", "vzpipe"] and len(name) == 4, f"*IDN? {name}")
    check(meter.query("UNIT?;RANG?") == "V,V;3V,3V", "units and ranges")


def readings_equal_the_tools(meter):
    columns = tool_columns()
    a, b = numbers(meter.query("MEAS:VOLT? (@1,2)"))
    check(as_tool_reads(a, columns["A"]) and as_tool_reads(b, columns["B"]),
          f"volts {a}, {b} against the tool's {columns['A']}, {columns['B']}")
    frequency = numbers(meter.query("MEAS:FREQ? (@1)"))[0]
    check(as_tool_reads(frequency, columns["fA"]), f"frequency {frequency}")
    rms = numbers(meter.query("MEAS:VOLT:AC? (@1)"))[0]
    check(as_tool_reads(rms, columns["rmsA"]), f"AC volts {rms}")
    check(meter.query("SYST:ERR?") == NO_ERROR, "an error after the readings")
    # The analyzer's: A's 441 Hz sine and its level in volts, B's DC holding no tone.
    meter.timeout = 10000
    tone = numbers(meter.query("MEAS:DIST? (@1)"))
    check(abs(tone[0] - 441) < 0.1 and tone[2] < 0.1, f"A's tone {tone}")
    check(abs(tone[1] - rms) < 0.01 * rms, f"the tone's level {tone[1]} against the RMS {rms}")
    check(meter.query("MEAS:DIST:THD? (@2)") == "+9.91E+37", "a tone on B's DC")
    check(meter.query("SYST:ERR?").startswith("-230,"), "no tone is not told")
    meter.timeout = 5000


def buffered_readings(meter):
    meter.write("CONF:VOLT (@1,2);:SAMP:COUN 100;:INIT")
    meter.timeout = 30000
    fields = meter.query("DATA:REM? 100,WAIT").split(",")
    meter.timeout = 5000
    check(len(fields) == 400, f"{len(fields)} fields for 100 readings")
    times = [float(t) for t in fields[0::4]]
    check(all(later > earlier for earlier, later in zip(times, times[1:])), "times not rising")
    span = times[-1] - times[0]
    check(0.5 * 99 * BLOCK_SECONDS < span < 1.5 * 99 * BLOCK_SECONDS, f"100 blocks in {span} s")
    check(abs(times[-1] - time.time()) < 5, "times are not the clock's")
    columns = tool_columns()
    check(all(as_tool_reads(float(v), columns["A"]) for v in fields[1::4]), "A's readings")
    check(all(as_tool_reads(float(v), columns["B"]) for v in fields[2::4]), "B's readings")
    check(set(fields[3::4]) == {"0"}, f"flags {set(fields[3::4])}")
    check(meter.query("DATA:POIN?") == "0", "readings left")


def errors(meter):
    meter.write("MEAS:VOLTS? (@1)")
    meter.write("SAMP:COUN 0")
    check(meter.query("SYST:ERR?") == '-113,"Undefined header"', "a bad header")
    check(meter.query("SYST:ERR?").startswith("-222,"), "a count out of range")
    check(meter.query("*ESR?") == "48", "the event register")
    check(meter.query("SYST:ERR?") == NO_ERROR, "errors left")


def several_clients():
    meters = [client() for _ in range(4)]
    meters[0].write("BAD")
    results = [None] * 4

    def measure(index):
        values = [numbers(meters[index].query("MEAS:VOLT? (@2);:FETC?").replace(";", ",")) for _ in range(5)]
        results[index] = (values, meters[index].query("SYST:ERR?"))

    threads = [threading.Thread(target=measure, args=(i,)) for i in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for index, (values, error) in enumerate(results):
        check(all(len(v) == 2 and v[0] == v[1] for v in values), f"client {index}: {values}")
        check(error == ('-113,"Undefined header"' if index == 0 else NO_ERROR),
              f"client {index}'s queue: {error}")
    for meter in meters:
        meter.close()


def junk_and_floods(meter):
    """While hostile clients come and go, a client polling sees nothing of them."""
    failures = []
    polled = [0]
    stop = threading.Event()

    def poll():
        watcher = client()
        while not stop.is_set():
            try:
                if len(numbers(watcher.query("FETC?"))) != 1:
                    failures.append("FETC? answered wrong")
                polled[0] += 1
            except Exception as error:  # noqa: BLE001 - any failure is the finding
                failures.append(repr(error))
        failures.extend([] if watcher.query("SYST:ERR?") == NO_ERROR else ["watcher's errors"])
        watcher.close()

    poller = threading.Thread(target=poll)
    poller.start()
    generator = random.Random(5025)
    junk = bytes(generator.randrange(256) for _ in range(200000))
    with socket.create_connection(("127.0.0.1", PORT)) as raw:
        raw.sendall(junk + b"\n")
    with socket.create_connection(("127.0.0.1", PORT)) as raw:
        raw.sendall(b"X" * (100 * 1024) + b"\nSYST:ERR?\n")
        raw.settimeout(5)
        answer = b""
        while not answer.endswith(b"\n"):
            answer += raw.recv(4096)
        check(answer == b'-363,"Input buffer overrun"\n', f"a long line: {answer}")
    burst = []
    for _ in range(100):
        try:
            burst.append(socket.create_connection(("127.0.0.1", PORT), timeout=5))
        except OSError:
            pass
    for connection in burst:
        connection.close()
    with socket.create_connection(("127.0.0.1", PORT)) as silent:
        time.sleep(0.3)
    stop.set()
    poller.join()
    check(not failures, f"the polling client: {failures[:3]}")
    check(polled[0] > 10, f"only {polled[0]} polls")
    check(meter.query("SYST:ERR?") == NO_ERROR, "another client's errors")
    numbers(meter.query("MEAS:VOLT? (@1)"))


def level_moved(meter):
    check(meter.query("SYST:LEV?") == "1,1", "the level before")
    pactl("set-source-volume", "vzpipe", "45875")
    wait_for(meter, "SYST:LEV?", "0,0")
    meter.write("CONF:VOLT (@1);:SAMP:COUN 2;:INIT")
    flags = meter.query("DATA:REM? 2,WAIT").split(",")[2::3]
    check(flags == ["1", "1"], f"readings at a moved level flagged {flags}")
    pactl("set-source-volume", "vzpipe", "65536")
    wait_for(meter, "SYST:LEV?", "1,1")


def stalled(meter):
    pactl("suspend-source", "vzpipe", "1")
    wait_for(meter, "SYST:STAL?", "1", seconds=8)
    answer = meter.query("MEAS:VOLT? (@1)")
    check(answer == "+9.91E+37", f"a reading of a stalled input: {answer}")
    check(meter.query("SYST:ERR?") == '-240,"Hardware error;the input delivers nothing"',
          "the stall told")
    pactl("suspend-source", "vzpipe", "0")
    wait_for(meter, "SYST:STAL?", "0")
    numbers(meter.query("MEAS:VOLT? (@1)"))
    check(meter.query("SYST:ERR?") == NO_ERROR, "errors after the stall")


def main():
    meter = client()
    for step in (identity_and_units, readings_equal_the_tools, buffered_readings, errors,
                 several_clients, junk_and_floods, level_moved, stalled):
        started = time.monotonic()
        step(*([meter] if step.__code__.co_argcount else []))
        print(f"{step.__name__}: ok ({time.monotonic() - started:.1f} s)")
    meter.close()


if __name__ == "__main__":
    main()
