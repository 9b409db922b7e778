#!/usr/bin/python3
"""A test engineer's script, run as one: PyVISA with the pyvisa-py backend
drives the unit through a running Velmora (the window offscreen, or
velmoractl serve) over a TCP raw socket, and the simulated unit says what it
was told, a loop check among it.

usage: pyvisa_client.py serve|window SIM CTL VELMORA
"""
import os
import socket
import subprocess
import sys
import tempfile
import time

import pyvisa

MODE = sys.argv[1]
SIM, CTL, VELMORA = (os.path.abspath(p) for p in sys.argv[2:5])
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Sim:
    """velmora-sim with its console on a pipe."""

    def __init__(self, folder):
        self.proc = subprocess.Popen([SIM, "--channels", "2", "--link", os.path.join(folder, "unit")],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.device = self.proc.stdout.readline().strip()

    def outputs(self):
        """channel -> "range=R code=XXXX value=V on|off" as the console tells it."""
        self.proc.stdin.write("outputs\n")
        self.proc.stdin.flush()
        lines = {}
        while len(lines) < 2:
            line = self.proc.stdout.readline()
            if not line:
                break
            channel, _, rest = line.strip().partition(" ")
            if channel in ("1", "2"):
                lines[int(channel)] = rest
        return lines

    def stop(self):
        self.proc.stdin.write("quit\n")
        self.proc.stdin.flush()
        self.proc.wait(timeout=10)


def wait_for_port(port, server, seconds=30):
    """The server is up once its port answers; a server that ended is a failure."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if server.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def settle(sim, channel, wanted, seconds=5):
    """The unit's channel once it shows `wanted` (the line carries frames in its own time)."""
    deadline = time.monotonic() + seconds
    seen = ""
    while time.monotonic() < deadline:
        seen = sim.outputs().get(channel, "")
        if all(part in seen for part in wanted):
            return seen
        time.sleep(0.05)
    return seen


def main():
    folder = tempfile.mkdtemp(prefix="velmora-pyvisa-")
    env = dict(os.environ, HOME=folder, XDG_CONFIG_HOME=os.path.join(folder, "config"),
               XDG_RUNTIME_DIR="", QT_QPA_PLATFORM="offscreen")
    sim = Sim(folder)
    unit = os.path.join(folder, "unit")
    port = free_port()
    log = open(os.path.join(folder, "server.log"), "w")
    if MODE == "serve":
        command = [CTL, "--port", unit, "serve", "--scpi", f"127.0.0.1:{port}"]
    else:
        # A settings file, so that no question about the circuit count
        # waits for an operator who is not there.
        settings = os.path.join(folder, "bench.ini")
        subprocess.run([CTL, "settings", "new", settings, "--channels", "2"], check=True, env=env)
        command = [VELMORA, "--lang", "en", "--port", unit, "--connect", "--scpi", f"127.0.0.1:{port}", settings]
    try:
        server = subprocess.Popen(command, cwd=folder, env=env, stdout=log, stderr=log)
    except OSError as e:
        sim.stop()
        check(False, f"{MODE} starts: {e}")
        return
    try:
        if not wait_for_port(port, server):
            check(False, f"{MODE} listens on {port}")
            return
        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n",
                                write_termination="\n", timeout=10000)
        # The window connects after it is up: wait until it holds the unit.
        deadline = time.monotonic() + 20
        while inst.query("SYST:CONN?") != "1" and time.monotonic() < deadline:
            time.sleep(0.05)

        idn = inst.query("*IDN?").split(",")
        check(len(idn) == 4 and idn[:2] == ["Hovelt", "VKX"], f"*IDN? has four fields: {idn}")
        check(inst.query("SYST:CHAN?") == "2", "two channels")

        inst.write('SOUR1:RANG "4_20mA"')
        inst.write("SOUR1:CURR 12 mA")
        inst.write("OUTP1 ON")
        check(inst.query("*OPC?") == "1", "*OPC? once the values are out")
        check(abs(float(inst.query("SOUR1:CURR?")) - 0.012) < 1e-9, "the level reads back in amperes")
        check(inst.query("OUTP1?") == "1", "the output reads back on")
        seen = settle(sim, 1, ["range=5", "code=8000", " on"])
        check("range=5" in seen and "code=8000" in seen and seen.endswith(" on"), f"the unit drives 12 mA: {seen}")

        # A list on channel 2, run and stopped.
        inst.write('SOUR2:RANG "0_10V"')
        inst.write("SOUR2:LIST:VAL 1,2,3")
        inst.write("SOUR2:LIST:DWEL 0.1")
        inst.write("SOUR2:AUTO:MODE LIST")
        inst.write("OUTP2 ON;:INIT2")
        check(inst.query("SOUR2:AUTO:STAT?") == "RUN", "the list runs")
        seen = {settle(sim, 2, ["range=1", v])[:40] for v in ("value=1.000", "value=2.000", "value=3.000")}
        check(len(seen) == 3, f"the unit was given the list's values: {seen}")
        inst.write("ABOR2")
        check(inst.query("SOUR2:AUTO:STAT?") == "STOP", "the list stops")

        # Refusals reach the error queue, not the unit.
        inst.write("SOUR1:CURR 0.5")
        inst.write("SOUR1:FOO 1")
        errors = [inst.query("SYST:ERR?") for _ in range(3)]
        check(errors[0].startswith("-222,") and errors[1].startswith("-113,") and errors[2] == '0,"No error"',
              f"the errors in order: {errors}")
        check(float(inst.query("SOUR1:CURR?")) == 0.012, "a refused level changes nothing")

        # A loop check run by the script: channel 1 through 0, 50 and 100 %
        # of 4-20 mA into a pressure indicator of 0-10 bar, then back at
        # 12 mA as the script left it.
        tag = subprocess.run([CTL, "loopcheck", "tag", "add", "PT-1", "--channel", "1", "--range", "4_20mA",
                              "--lrv", "0", "--urv", "10", "--unit", "bar", "--settle", "0.2", "--points",
                              "0,50,100"], env=env, capture_output=True, text=True, timeout=30)
        check(tag.returncode == 0, f"loopcheck tag add: {tag.stderr}")
        inst.write('LCH:STAR "PT-1","Sato",FOUN,"PyVISA"')
        check(inst.query("SYST:ERR?") == '0,"No error"', "the loop check starts")
        points = []
        for reading in ("0.01", "5.02", "9.99"):
            deadline = time.monotonic() + 10
            state = inst.query("LCH:STAT?").split(",")
            while state[0] == "SETT" and time.monotonic() < deadline:
                time.sleep(0.05)
                state = inst.query("LCH:STAT?").split(",")
            check(state[0] == "READ", f"a reading is due: {state}")
            points.append(state[4])
            inst.write(f"LCH:READ {reading}")
        check(points == ["4", "12", "20"], f"the signals put out: {points}")
        check(inst.query("LCH:STAT?").startswith("DONE,3,3,"), "the check is done")
        result = inst.query("LCH:RES?").split(",")
        check(len(result) == 7 and result[1] == '"PT-1"' and result[3] == "PASS", f"the result: {result}")
        check(inst.query("LCH:POIN? 2").split(",")[-1] == "PASS", "point 2 passes")
        seen = settle(sim, 1, ["range=5", "code=8000", " on"])
        check("code=8000" in seen and seen.endswith(" on"), f"channel 1 back at 12 mA after the check: {seen}")

        # velmoractl reaches the unit through the program that holds the port.
        ctl = subprocess.run([CTL, "--port", unit, "scpi", "OUTP1?;:SOUR1:RANG?"], env=env, capture_output=True,
                             text=True, timeout=30)
        check(ctl.returncode == 0 and ctl.stdout.strip() == '1;"4_20mA"', f"velmoractl scpi: {ctl.stdout!r}")
        inst.close()
        rm.close()
    finally:
        server.terminate()
        try:
            server.wait(timeout=20)
        except subprocess.TimeoutExpired:
            server.kill()
            check(False, f"{MODE} ends on SIGTERM")
        # Whatever way it ended, no output is left driving.
        seen = sim.outputs()
        check(all(not line.endswith(" on") for line in seen.values()), f"every output off at the end: {seen}")
        sim.stop()
        log.close()
        if failures:
            with open(os.path.join(folder, "server.log")) as f:
                print(f"--- {MODE}'s output\n{f.read()}", flush=True)


main()
if failures:
    print(f"{len(failures)} check(s) failed", flush=True)
    sys.exit(1)
print("all checks passed")
