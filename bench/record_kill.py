#!/usr/bin/python3
"""The run record against kills (scripts/bench.d/70-record.sh).

  record_kill.py SIM CTL WORKDIR N

Starts a simulated unit, then N times: velmoractl serve on it, recording
into WORKDIR/kill.sqlite3, a client changing both channels' levels every
10 ms over SCPI, and a SIGKILL of the server at a random moment. After each
kill the record must pass PRAGMA integrity_check, and, for a kill made while
events were flowing, its newest event must be less than a second older than
the kill, and nothing the server had done by its last answer may be more than
a second older than the newest event kept. Figures are printed as
"name: value" lines.
"""
import os
import random
import signal
import socket
import sqlite3
import subprocess
import sys
import threading
import time


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def connect(port, deadline):
    while time.monotonic() < deadline:
        try:
            return socket.create_connection(("127.0.0.1", port), timeout=5)
        except OSError:
            time.sleep(0.02)
    return None


def main():
    sim_path, ctl, work, count = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    record = os.path.join(work, "kill.sqlite3")
    env = dict(os.environ, VELMORA_RECORD=record, ASAN_OPTIONS="detect_leaks=0")
    sim = subprocess.Popen([sim_path, "--channels", "2"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    device = sim.stdout.readline().strip()
    rng = random.Random(21)
    lags, unkept, stalls, bad, flowing_kills, early_kills, events_before = [], [], [], 0, 0, 0, 0
    try:
        for i in range(count):
            port = free_port()
            server = subprocess.Popen([ctl, "--port", device, "serve", "--scpi", f"127.0.0.1:{port}"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # One kill in four comes early: during the start, the schema's
            # creation, the first commit.
            early = i % 4 == 3
            stop = threading.Event()
            flowing_since = [None]
            last_reply = [None]

            def client():
                s = connect(port, time.monotonic() + 10)
                if s is None:
                    return
                k = 0
                try:
                    while not stop.is_set():
                        v = (k % 50) / 10.0
                        s.sendall(f":SOUR1:VOLT {v};:SOUR2:VOLT {5 - v};*OPC?\n".encode())
                        s.recv(64)
                        last_reply[0] = time.time()
                        if flowing_since[0] is None:
                            flowing_since[0] = time.monotonic()
                        k += 1
                        time.sleep(0.01)
                except OSError:
                    pass
                finally:
                    s.close()

            t = threading.Thread(target=client)
            t.start()
            if early:
                time.sleep(rng.uniform(0.0, 0.4))
            else:
                deadline = time.monotonic() + 10
                while flowing_since[0] is None and time.monotonic() < deadline:
                    time.sleep(0.005)
                time.sleep(rng.uniform(0.3, 1.3))
            killed_at = time.time()
            was_flowing = flowing_since[0] is not None and time.monotonic() - flowing_since[0] > 0.3
            server.send_signal(signal.SIGKILL)
            server.wait()
            stop.set()
            t.join()

            if not os.path.exists(record):
                continue
            db = sqlite3.connect(record)
            ok = db.execute("PRAGMA integrity_check").fetchone()[0] == "ok"
            newest = db.execute("SELECT max(time_us), count(*) FROM event").fetchone()
            db.close()
            if not ok:
                bad += 1
            if was_flowing and not early and newest[0] is not None:
                flowing_kills += 1
                lags.append(killed_at - newest[0] / 1e6)
                # What the server had done by its last answer (*OPC? answers
                # once the values are on the line, so their events exist)
                # and the record did not keep: a server that stalled before
                # the kill made no events to lose.
                unkept.append(max(0.0, last_reply[0] - newest[0] / 1e6))
                stalls.append(killed_at - last_reply[0])
            elif early:
                early_kills += 1
            events_before = newest[1]
    finally:
        sim.stdin.write("quit\n")
        sim.stdin.flush()
        sim.wait(timeout=5)
    lags.sort()
    print(f"record_kills: {count}")
    print(f"record_kills_early: {early_kills}")
    print(f"record_kills_while_recording: {flowing_kills}")
    print(f"record_integrity_failures: {bad}")
    print(f"record_events_kept: {events_before}")
    if lags:
        print(f"record_kill_lag_median_s: {lags[len(lags) // 2]:.3f}")
        print(f"record_kill_lag_max_s: {lags[-1]:.3f}")
        print(f"record_kill_lag_over_1s: {sum(1 for x in lags if x > 1.0)}")
        unkept.sort()
        stalls.sort()
        print(f"record_kill_unkept_median_s: {unkept[len(unkept) // 2]:.3f}")
        print(f"record_kill_unkept_max_s: {unkept[-1]:.3f}")
        print(f"record_kill_last_answer_before_kill_max_s: {stalls[-1]:.3f}")
    return 0 if bad == 0 and all(x <= 1.0 for x in unkept) else 1


if __name__ == "__main__":
    sys.exit(main())
