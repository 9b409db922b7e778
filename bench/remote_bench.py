#!/usr/bin/python3
"""The client side of the remote-control benchmarks (scripts/bench.d/60-remote.sh).

  remote_bench.py queries HOST:PORT NAME N        N x SOUR1:CURR?, latency median and p99
  remote_bench.py latency HOST:PORT NAME LOG N    level command to the unit's log, idle line
  remote_bench.py flood HOST:PORT NAME LOG RATE SECONDS
                                                   RATE level changes a second; the line's
                                                   use and the last value's arrival from LOG
  remote_bench.py idle HOST:PORT SECONDS          two clients connected, doing nothing

Figures are printed as "name: value" lines, like the other benchmarks.
"""
import datetime
import socket
import statistics
import sys
import time

BYTE_SECONDS = 10 / 19200  # one byte on the line


def connect(address):
    host, port = address.rsplit(":", 1)
    deadline = time.monotonic() + 30
    while True:
        try:
            s = socket.create_connection((host, int(port)), timeout=30)
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            return s
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.1)


class Client:
    def __init__(self, address):
        self.sock = connect(address)
        self.buffer = b""

    def write(self, text):
        self.sock.sendall(text.encode() + b"\n")

    def query(self, text):
        self.write(text)
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise RuntimeError("the server went")
            self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line.decode()


def wait_connected(client):
    deadline = time.monotonic() + 30
    while client.query("SYST:CONN?") != "1":
        if time.monotonic() > deadline:
            raise RuntimeError("the unit never connected")
        time.sleep(0.1)


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def log_frames(path):
    """(wall time, channel, dac code) of every settings frame the unit received."""
    frames = []
    with open(path, errors="replace") as f:
        for line in f:
            if " < <STX>W" not in line:
                continue
            stamp = datetime.datetime.strptime(line[:26], "%Y-%m-%d %H:%M:%S.%f").timestamp()
            frame = line.split("<STX>", 1)[1]
            frames.append((stamp, int(frame[1]), int(frame[4:8], 16)))
    return frames


def code_of(milliamperes):
    return int((milliamperes - 4.0) * 4095.9375 + 0.5)


def queries(address, name, count):
    client = Client(address)
    wait_connected(client)
    client.write('SOUR1:RANG "4_20mA"')
    for _ in range(200):  # warm up
        client.query("SOUR1:CURR?")
    times = []
    for _ in range(count):
        t0 = time.perf_counter()
        client.query("SOUR1:CURR?")
        times.append((time.perf_counter() - t0) * 1000)
    print(f"{name}_query_count: {count}")
    print(f"{name}_query_median_ms: {statistics.median(times):.3f}")
    print(f"{name}_query_p99_ms: {percentile(times, 99):.3f}")


def latency(address, name, log, count):
    client = Client(address)
    wait_connected(client)
    client.write('SOUR1:RANG "4_20mA"')
    client.query("*OPC?")
    sent = []
    for i in range(count):
        ma = 5.0 + (i % 10)
        time.sleep(0.2)  # an idle line before each command
        t = time.time()
        client.write(f"SOUR1:CURR {ma}MA")
        sent.append((t, code_of(ma)))
    client.query("*OPC?")
    time.sleep(0.5)
    frames = log_frames(log)
    delays = []
    for t, code in sent:
        arrived = [s for s, ch, c in frames if ch == 1 and c == code and s >= t - 0.001]
        if arrived:
            delays.append((arrived[0] - t) * 1000)
    print(f"{name}_level_to_unit_samples: {len(delays)}")
    if delays:
        print(f"{name}_level_to_unit_median_ms: {statistics.median(delays):.3f}")
        print(f"{name}_level_to_unit_max_ms: {max(delays):.3f}")


def flood(address, name, log, rate, seconds):
    client = Client(address)
    wait_connected(client)
    client.write('SOUR1:RANG "4_20mA"')
    client.write("OUTP1 ON")
    client.query("*OPC?")
    start = time.time()
    period = 1.0 / rate
    n = 0
    last_ma = None
    next_time = time.perf_counter()
    while time.time() - start < seconds:
        last_ma = 4.0 + (n % 1600) / 100.0
        client.write(f"SOUR1:CURR {last_ma:.2f}MA")
        n += 1
        next_time += period
        delay = next_time - time.perf_counter()
        if delay > 0:
            time.sleep(delay)
    last_sent = time.time()
    time.sleep(1.0)
    errors = client.query("SYST:ERR:COUN?")
    frames = log_frames(log)
    in_run = [f for f in frames if start <= f[0] <= last_sent]
    busy = len(in_run) * 46 * BYTE_SECONDS / max(last_sent - start, 1e-9)
    target = code_of(last_ma)
    arrived = [s for s, ch, c in frames if ch == 1 and c == target and s >= last_sent - 0.2]
    print(f"{name}_flood_commands: {n}")
    print(f"{name}_flood_rate_per_s: {n / (last_sent - start):.0f}")
    print(f"{name}_flood_frames_on_line: {len(in_run)}")
    print(f"{name}_flood_line_busy_percent: {100 * busy:.1f}")
    if arrived:
        print(f"{name}_flood_last_value_after_ms: {max(0.0, (arrived[0] - last_sent) * 1000):.1f}")
    else:
        print(f"{name}_flood_last_value_after_ms: never")
    print(f"{name}_flood_errors_queued: {errors}")


def idle(address, seconds):
    clients = [Client(address), Client(address)]
    wait_connected(clients[0])
    time.sleep(seconds)
    for c in clients:
        c.sock.close()


def main():
    mode = sys.argv[1]
    if mode == "queries":
        queries(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    elif mode == "latency":
        latency(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]))
    elif mode == "flood":
        flood(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]), float(sys.argv[6]))
    elif mode == "idle":
        idle(sys.argv[2], float(sys.argv[3]))
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)


main()
