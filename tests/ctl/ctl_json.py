#!/usr/bin/python3
"""Every velmoractl command that prints data, with --json, against the
simulated unit: each line on standard output is one JSON object that
Python's json module reads, with its key fields and their types; the
commands that go through a running Velmora (velmoractl serve) print the
same objects as when they open the port themselves; errors stay on
standard error with their exit statuses and leave standard output empty.

usage: ctl_json.py SIM CTL FTD2XX_SIM
"""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SIM, CTL, FTD2XX = (os.path.abspath(p) for p in sys.argv[1:4])
ISO_UTC = re.compile(r"^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{6}Z$")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def is_int(v):
    return isinstance(v, int) and not isinstance(v, bool)


def is_number(v):
    return isinstance(v, (int, float)) and not isinstance(v, bool)


class Run:
    def __init__(self, proc):
        self.code = proc.returncode
        self.out = proc.stdout
        self.err = proc.stderr
        self.objects = []
        self.bad = []
        for line in self.out.splitlines():
            try:
                value = json.loads(line)
            except ValueError:
                self.bad.append(line)
                continue
            if isinstance(value, dict):
                self.objects.append(value)
            else:
                self.bad.append(line)


def ctl(env, *args, timeout=60):
    proc = subprocess.run([CTL, "--lang", "en", *args], env=env, capture_output=True, text=True,
                          timeout=timeout)
    return Run(proc)


def json_run(env, *args, lines=None, what=None):
    """A --json run that succeeds with nothing but JSON objects on stdout."""
    what = what or " ".join(args)
    r = ctl(env, *args)
    check(r.code == 0, f"{what}: exit 0, not {r.code}: {r.err}")
    check(not r.bad and r.out.endswith("\n"), f"{what}: only JSON objects, one a line: {r.out!r}")
    if lines is not None:
        check(len(r.objects) == lines, f"{what}: {lines} line(s), not {len(r.objects)}: {r.out!r}")
    return r


def refused(env, args, code, message, what):
    """An error keeps its message on stderr and its exit status, and prints nothing on stdout."""
    r = ctl(env, *args)
    check(r.code == code, f"{what}: exit {code}, not {r.code}")
    check(r.out == "", f"{what}: nothing on stdout: {r.out!r}")
    check(message in r.err, f"{what}: {message!r} on stderr: {r.err!r}")


def check_status(objects, what):
    for o in objects:
        check(is_int(o.get("channel")) and 1 <= o["channel"] <= 4, f"{what}: channel 1-4: {o}")
        check(o.get("range") is None or isinstance(o["range"], str), f"{what}: range is a key: {o}")
        for key in ("range_code", "status_word", "ext_status_word", "adjust", "alarm"):
            check(is_int(o.get(key)), f"{what}: {key} is a number: {o}")
        check(isinstance(o.get("alarm_text"), str), f"{what}: alarm_text is text: {o}")


def check_adjustment(o, what):
    check(is_int(o.get("channel")) and isinstance(o.get("range"), str) and is_int(o.get("range_code")),
          f"{what}: channel and range: {o}")
    for key in ("maker_min", "maker_max", "user_min", "user_max", "select"):
        check(is_int(o.get(key)), f"{what}: {key} is a number: {o}")
    check(o.get("in_effect") in ("none", "maker", "user", "unknown"), f"{what}: in_effect: {o}")


def check_steps(objects, channels, what):
    """auto's steps: every channel named steps, each with a time, from 0 s on."""
    seen = set()
    for o in objects:
        check(isinstance(o.get("time"), str) and ISO_UTC.match(o["time"]), f"{what}: ISO 8601 UTC time: {o}")
        check(is_number(o.get("elapsed")) and o["elapsed"] >= 0, f"{what}: elapsed seconds: {o}")
        check(is_number(o.get("value")) and 0 <= o["value"] <= 5, f"{what}: value in 0-5 V: {o}")
        check(o.get("unit") == "V" and is_int(o.get("cycle")) and o.get("row") is None,
              f"{what}: unit, cycle, no row for a sawtooth: {o}")
        seen.add(o.get("channel"))
    check(seen == set(channels), f"{what}: steps of channels {channels}: {seen}")
    first = [o for o in objects if o.get("channel") == channels[0]]
    check(len(first) >= 2 and first[0]["elapsed"] == 0 and first[0]["value"] == 0 and first[1]["value"] == 1,
          f"{what}: 0 V at 0 s, then 1 V: {first}")


def main(folder):
    env = dict(os.environ, HOME=folder, XDG_RUNTIME_DIR="", VELMORA_FTD2XX=FTD2XX,
               VELMORA_RECORD=os.path.join(folder, "record.sqlite3"))
    unit = os.path.join(folder, "unit")
    sim = subprocess.Popen([SIM, "--channels", "2", "--link", unit, "--alarm", "1:0001",
                            "--maker", "1:5:0003:8005", "--user", "1:5:FFFE:7FFE", "--select", "1:5:2"],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    sim.stdout.readline()
    server = None
    try:
        # Without a unit.
        settings = os.path.join(folder, "bench.ini")
        check(ctl(env, "settings", "new", settings, "--channels", "2").code == 0, "settings new")
        r = json_run(env, "settings", "show", settings, "--json", lines=1)
        doc = r.objects[0] if r.objects else {}
        check(doc.get("channel_count") == 2 and doc.get("port_name") == "", f"settings show: {doc}")
        chans = doc.get("channels", [])
        check([c.get("channel") for c in chans] == [1, 2, 3, 4], "settings show: channels 1-4")
        check(all(c.get("range") == "0_5V" and c.get("use_conversion") is False for c in chans),
              "settings show: range keys and booleans")

        csv = os.path.join(folder, "table.csv")
        with open(csv, "w") as f:
            f.write("1.5,0.5\n2,1\n")
        r = json_run(env, "table", "check", csv, "--range", "1", "--json", lines=1)
        t = r.objects[0] if r.objects else {}
        check(t.get("ok") is True and t.get("error") is None and t.get("lower") == 0 and t.get("upper") == 10,
              f"table check: ok within 0-10 V: {t}")
        check([(w.get("row"), w.get("value"), w.get("seconds")) for w in t.get("rows", [])] == [(1, 1.5, 0.5), (2, 2, 1)],
              f"table check: rows as numbers: {t.get('rows')}")
        bad = os.path.join(folder, "bad.csv")
        with open(bad, "w") as f:
            f.write("1,0.5\nabc,1\n")
        r = ctl(env, "table", "check", bad, "--json")
        t = r.objects[0] if r.objects else {}
        check(r.code == 3 and not r.bad and len(r.objects) == 1, f"table check refused: exit 3, one line: {r.out!r}")
        check(t.get("ok") is False and t.get("error") == "not_number" and t.get("error_row") == 2
              and t["rows"][1].get("value") is None and t["rows"][1].get("value_text") == "abc",
              f"table check refused: which check, which row: {t}")
        check("the check stopped at row 2" in r.err, f"table check refused: the reason on stderr: {r.err!r}")

        image = os.path.join(folder, "unit.zpg")
        with open(image, "wb") as f:
            f.write(b"\x00\x02\x00\x01")
        r = json_run(env, "firmware", "info", image, "--json", lines=1)
        check(r.objects[:1] == [{"file": image, "version": "020001",
                                 "sha256": hashlib.sha256(b"\xff" * 0x20800).hexdigest()}],
              f"firmware info: {r.out!r}")
        r = json_run(env, "firmware", "bridge", "--json", lines=1)
        check(r.objects[:1] == [{"library": FTD2XX, "units": 1, "serial": "VK2A0001"}], f"firmware bridge: {r.out!r}")

        # The unit, its port opened by each command.
        r = json_run(env, "--port", unit, "version", "--json", lines=1)
        check(r.objects and isinstance(r.objects[0].get("version"), str) and r.objects[0]["version"],
              f"version: {r.out!r}")
        r = json_run(env, "--port", unit, "channels", "--json", lines=1)
        check(r.objects[:1] == [{"channels": 2}], f"channels: {r.out!r}")
        check(ctl(env, "--port", unit, "set", "1", "--range", "4_20mA", "--value", "12", "--on").code == 0, "set")
        r = json_run(env, "--port", unit, "status", "--json", lines=2)
        check_status(r.objects, "status")
        check([o.get("channel") for o in r.objects] == [1, 2], "status: one object per channel")
        if r.objects:
            one = r.objects[0]
            check(one.get("range") == "4_20mA" and one.get("range_code") == 5 and one.get("status_word") == 1
                  and one.get("alarm") == 1 and one.get("alarm_text") == "出力部高温" and one.get("adjust") == 2,
                  f"status: channel 1 on 4-20 mA, over temperature, user set: {one}")
        r = json_run(env, "--port", unit, "status", "2", "--json", lines=1)
        check_status(r.objects, "status 2")

        r = json_run(env, "--port", unit, "adjust", "show", "--json", lines=20)
        shown = r.objects
        for o in shown:
            check_adjustment(o, "adjust show")
        check({"channel": 1, "range": "4_20mA", "range_code": 5, "maker_min": 3, "maker_max": 5, "user_min": -2,
               "user_max": -2, "select": 2, "in_effect": "user"} in shown, f"adjust show: channel 1, 4-20 mA: {shown}")
        json_run(env, "--port", unit, "adjust", "show", "2", "--json", lines=10)
        r = json_run(env, "--port", unit, "report", "--json", lines=1)
        report = r.objects[0] if r.objects else {}
        check(report.get("channels") == 2 and isinstance(report.get("version"), str),
              f"report: version and circuits: {report}")
        check(report.get("adjustments") == shown, "report: the same rows as adjust show")

        r = json_run(env, "--port", unit, "monitor", "--seconds", "1", "--json")
        for o in r.objects:
            check(isinstance(o.get("time"), str) and ISO_UTC.match(o["time"]), f"monitor: ISO 8601 UTC time: {o}")
        check({"channel": 1, "alarm": 1, "alarm_text": "出力部高温", "mark": "U"}
              in [{k: v for k, v in o.items() if k != "time"} for o in r.objects],
              f"monitor: channel 1's alarm and mark: {r.out!r}")

        r = json_run(env, "--port", unit, "auto", "1,2", "--settings", settings, "--on", "--seconds", "2", "--json")
        check_steps(r.objects, [1, 2], "auto")

        # Errors: stderr and the exit status as without --json, nothing on stdout.
        refused(env, ["--port", unit, "status", "9", "--json"], 2, "the channel is 1 to 4, not '9'", "status 9")
        refused(env, ["table", "check", os.path.join(folder, "none.csv"), "--json"], 3, "none.csv", "table check")
        refused(env, ["firmware", "info", os.path.join(folder, "none.zpg"), "--json"], 3, "none.zpg", "firmware info")
        refused(env, ["--port", unit, "set", "1", "--range", "5", "--json"], 2, "unknown option '--json'",
                "set, which prints nothing")
        refused(env, ["--port", unit, "adjust", "init", "--yes", "--json"], 2, "unexpected argument '--json'",
                "adjust init, which only says it is done")

        # The same through velmoractl serve, which then holds the port. What
        # the direct commands print now is what the program will answer: it
        # connects with the same settings document.
        direct = {}
        for args in (["version"], ["channels"], ["status"], ["status", "2"], ["report"]):
            direct[" ".join(args)] = json_run(env, "--port", unit, *args, "--json").out
        log = open(os.path.join(folder, "serve.log"), "w")
        server = subprocess.Popen([CTL, "--lang", "en", "--port", unit, "serve", "--settings", settings], cwd=folder,
                                  env=env, stdout=subprocess.PIPE, stderr=log, text=True)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and server.poll() is None:
            if ctl(env, "--port", unit, "scpi", "SYST:CONN?").out.strip() == "1":
                break
            time.sleep(0.1)
        check(server.poll() is None, "serve runs")
        # The server knows the unit's alarm once its polling has come round
        # to each channel (a tick a channel).
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and '"alarm": 1' not in ctl(env, "--port", unit, "status", "1", "--json").out:
            time.sleep(0.05)
        for args, out in direct.items():
            r = json_run(env, "--port", unit, *args.split(), "--json", what=args + " through serve")
            check(r.out == out, f"{args}: the same JSON through serve: {r.out!r} != {out!r}")
        r = json_run(env, "--port", unit, "monitor", "--seconds", "1", "--json", what="monitor through serve")
        check(any(o.get("channel") == 1 and o.get("alarm") == 1 and ISO_UTC.match(o.get("time", ""))
                  for o in r.objects), f"monitor through serve: {r.out!r}")
        r = json_run(env, "--port", unit, "auto", "1", "--settings", settings, "--on", "--seconds", "2", "--json",
                     what="auto through serve")
        check_steps(r.objects, [1], "auto through serve")
        refused(env, ["--port", unit, "status", "3", "--json"], 1, "channel 3 did not answer", "status 3 through serve")
        refused(env, ["--port", unit, "adjust", "show", "--json"], 1, "is held by a running Velmora",
                "adjust show while serve holds the port")

        r = json_run(env, "--port", unit, "scpi", "--json", "*IDN?", "SOUR1:RANG 5", "OUTP1?;:SOUR1:RANG?", lines=2)
        check(r.objects[1:] == [{"command": "OUTP1?;:SOUR1:RANG?", "response": '0;"4_20mA"'}],
              f"scpi: one object per response: {r.out!r}")
        check(r.objects and r.objects[0].get("command") == "*IDN?"
              and r.objects[0].get("response", "").startswith("Hovelt,VKX,"), f"scpi: *IDN?: {r.out!r}")
        refused(env, ["--port", unit, "scpi", "--json", "SOUR1:FOO 1"], 1, "-113", "scpi with an error queued")

        # The program going ends the monitor as a lost unit does: its message,
        # which the plain monitor prints as its last line, is on stderr.
        monitor = subprocess.Popen([CTL, "--lang", "en", "--port", unit, "monitor", "--json"], env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = monitor.stdout.readline()
        server.terminate()
        server.wait(timeout=20)
        rest, err = monitor.communicate(timeout=20)
        lines = [first] + rest.splitlines()
        check(monitor.returncode == 1, f"monitor when serve goes: exit 1, not {monitor.returncode}")
        check(all(isinstance(json.loads(line), dict) for line in lines if line.strip()) and json.loads(first),
              f"monitor when serve goes: JSON lines only: {lines}")
        check("The connection was released." in err, f"monitor when serve goes: the message on stderr: {err!r}")

        # The run record of everything above, as JSON: every event has its
        # number, time, source and kind; each field has its type.
        r = json_run(env, "record", "show", "--json")
        kinds = {"connect", "disconnect", "lost", "settings", "alarm", "auto", "remote", "adjust", "firmware", "gap"}
        check(len(r.objects) > 0, "record show: the commands above were recorded")
        for o in r.objects:
            check(is_int(o.get("seq")) and ISO_UTC.match(o.get("time", "")) and isinstance(o.get("source"), str)
                  and o.get("kind") in kinds, f"record show: seq, time, source, kind: {o}")
            for key in ("channel", "code", "channels", "slot", "count"):
                check(key not in o or is_int(o[key]), f"record show: {key} is a whole number: {o}")
            for key in ("value", "eng"):
                check(key not in o or is_number(o[key]), f"record show: {key} is a number: {o}")
            for key in ("on", "raised"):
                check(key not in o or isinstance(o[key], bool), f"record show: {key} is true or false: {o}")
        sent = [o for o in r.objects if o["kind"] == "settings"]
        check(sent and all(o["source"] in ("ctl", "auto", "serve") or o["source"].startswith("remote ") for o in sent),
              f"record show: the settings sent, by ctl, auto, serve or a client: {sent[:3]}")
        refused(env, ["record", "show", "--json", "--kind", "coffee"], 2, "no event kind", "record show bad kind")
    finally:
        if server is not None:
            if server.poll() is None:
                server.terminate()
            try:
                # serve logs on standard error only: it has no lines for --json.
                out, _ = server.communicate(timeout=20)
                check(out == "", f"serve prints nothing on stdout: {out!r}")
            except subprocess.TimeoutExpired:
                server.kill()
                check(False, "serve ends on SIGTERM")
        sim.stdin.write("quit\n")
        sim.stdin.flush()
        sim.wait(timeout=10)


folder = tempfile.mkdtemp(prefix="velmora-json-")
try:
    main(folder)
finally:
    if failures:
        log = os.path.join(folder, "serve.log")
        if os.path.exists(log):
            with open(log) as f:
                print("--- serve's standard error\n" + f.read(), flush=True)
    shutil.rmtree(folder, ignore_errors=True)
if failures:
    print(f"{len(failures)} check(s) failed", flush=True)
    sys.exit(1)
print("all checks passed")
