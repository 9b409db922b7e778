#!/usr/bin/python3
"""velmoractl loopcheck against the simulated unit: tags added, refused,
listed, exported and imported (a broken row named, nothing imported); a
five-point test as found from a readings file with --json read by Python's
json module, then as left; the unit's outputs, on both channels, as they
were after each test, after a readings file refused, a wrong range refused,
and an interactive test stopped by SIGINT; a non-number asked again; the
history; a result edited with sqlite3 named by verify.

usage: loopcheck_ctl.py SIM CTL
"""
import json
import os
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

SIM, CTL = (os.path.abspath(p) for p in sys.argv[1:3])
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def ctl(env, *args, stdin=None):
    return subprocess.run([CTL, "--lang", "en", *args], env=env, capture_output=True, text=True, timeout=60,
                          input=stdin)


def objects(out):
    return [json.loads(line) for line in out.splitlines()]


class Sim:
    def __init__(self, link):
        self.proc = subprocess.Popen([SIM, "--channels", "2", "--link", link], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        self.proc.stdout.readline()

    def outputs(self):
        self.proc.stdin.write("outputs\n")
        self.proc.stdin.flush()
        lines = []
        while len(lines) < 2:
            line = self.proc.stdout.readline()
            if not line:
                break
            if line.startswith("ok"):
                continue
            lines.append(line.strip())
        return lines

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


def main(folder):
    db = os.path.join(folder, "loop.sqlite3")
    env = dict(os.environ, HOME=folder, XDG_RUNTIME_DIR="", VELMORA_LOOPCHECK_DB=db,
               VELMORA_RECORD=os.path.join(folder, "record.sqlite3"))
    unit = os.path.join(folder, "unit")
    sim = Sim(unit)
    try:
        # Tags.
        r = ctl(env, "loopcheck", "tag", "add", "FT-101", "--channel", "1", "--range", "4_20mA", "--lrv", "0",
                "--urv", "150", "--unit", "m³/h", "--settle", "0.2", "--adjust-limit", "0.25",
                "--description", "Feed flow", "--location", "Hall 2")
        check(r.returncode == 0, f"tag add: {r.returncode} {r.stderr}")
        for args, says in [(["--lrv", "5", "--urv", "5"], "span is zero"),
                           (["--lrv", "0", "--urv", "1", "--tolerance", "0"], "tolerance"),
                           (["--lrv", "0", "--urv", "1", "--points", "0,150"], "150"),
                           (["--lrv", "0", "--urv", "1", "--range", "9_9mA"], "9_9mA")]:
            full = ["loopcheck", "tag", "add", "X-1", "--channel", "1", "--range", "4_20mA", "--unit", "%"] + args
            r = ctl(env, *full)
            check(r.returncode == 2 and says in r.stderr, f"tag add {args}: {r.returncode} {r.stderr}")
        r = ctl(env, "loopcheck", "tag", "add", "X\x1b1", "--channel", "1", "--range", "4_20mA", "--lrv", "0",
                "--urv", "1", "--unit", "%")
        check(r.returncode == 2 and "control" in r.stderr, f"control characters: {r.stderr}")
        r = ctl(env, "loopcheck", "tag", "add", "FT-101", "--channel", "1", "--range", "4_20mA", "--lrv", "0",
                "--urv", "1", "--unit", "%")
        check(r.returncode == 2 and "exists" in r.stderr, f"twice: {r.stderr}")

        csv = os.path.join(folder, "tags.csv")
        check(ctl(env, "loopcheck", "tag", "export", csv).returncode == 0, "export")
        with open(csv, encoding="utf-8") as f:
            exported = f.read()
        check("FT-101" in exported and "m³/h" in exported, f"export holds the tag: {exported}")
        broken = os.path.join(folder, "broken.csv")
        with open(broken, "w", encoding="utf-8") as f:
            f.write("name,channel,range,lrv,urv,unit\r\nPT-1,2,0_10V,0,10,bar\r\nPT-2,2,0_10V,3,3,bar\r\n")
        r = ctl(env, "loopcheck", "tag", "import", broken)
        check(r.returncode == 3 and "row 3" in r.stderr and "nothing was imported" in r.stderr,
              f"broken import: {r.returncode} {r.stderr}")
        r = ctl(env, "loopcheck", "tag", "list", "--json")
        tags = objects(r.stdout)
        check([t["tag"] for t in tags] == ["FT-101"], f"nothing of the broken file came in: {tags}")
        check(tags[0]["points"] == [0, 25, 50, 75, 100] and tags[0]["adjust_limit"] == 0.25 and
              tags[0]["tolerance"] == 0.5, f"tag list: {tags[0]}")
        # An exported list imported again, the wrong-range tag beside it.
        with open(csv, "a", encoding="utf-8") as f:
            f.write("TT-2,,,1,0_10V,0,100,°C,linear,\"0,100\",1,,0,1\r\n")
        r = ctl(env, "loopcheck", "tag", "import", csv)
        check(r.returncode == 0, f"import: {r.stderr}")
        check(len(objects(ctl(env, "loopcheck", "tag", "list", "--json").stdout)) == 2, "two tags after import")

        # The operator's outputs before the technician comes.
        for args in (["1", "--range", "4_20mA", "--value", "7.5", "--on"], ["2", "--range", "0_10V", "--value",
                                                                             "3", "--on"]):
            check(ctl(env, "--port", unit, "set", *args).returncode == 0, f"set {args}")
        before = sim.outputs()
        check(len(before) == 2 and "on" in before[0], f"outputs before: {before}")

        readings = os.path.join(folder, "found.txt")
        with open(readings, "w") as f:
            f.write("# as found\n0.2\n37.9\n\n75.3\n113.9\n149.9\n")
        r = ctl(env, "--port", unit, "loopcheck", "run", "FT-101", "--technician", "Aoki", "--readings", readings,
                "--json")
        check(r.returncode == 4, f"as found fails: {r.returncode} {r.stderr}")
        got = objects(r.stdout)
        check(len(got) == 6, f"five points and the result: {r.stdout}")
        keys = {"point", "percent", "output", "unit", "expected", "reading", "error_percent_of_span", "verdict"}
        for k, o in enumerate(got[:5]):
            check(keys <= set(o), f"point keys: {o}")
            check(o["point"] == k + 1 and o["unit"] == "mA" and o["output"] == 4 + 4 * k, f"point {k + 1}: {o}")
        check([o["verdict"] for o in got[:5]] == ["pass", "adjust", "pass", "fail", "pass"],
              f"verdicts: {[o['verdict'] for o in got[:5]]}")
        check(abs(got[3]["error_percent_of_span"] - 0.9333333) < 1e-6 and got[3]["expected"] == 112.5,
              f"point 4: {got[3]}")
        result = got[5]
        check(result.get("kind") == "as_found" and result.get("verdict") == "fail" and result.get("tag") == "FT-101"
              and len(result.get("hash", "")) == 64 and isinstance(result.get("result"), int), f"result: {result}")
        check(sim.outputs() == before, f"the outputs are back after the test: {sim.outputs()} / {before}")

        # A readings file with a word in it: refused with its line, nothing moves.
        with open(readings, "w") as f:
            f.write("0.1\n37.5\nseventy-five\n112.5\n150\n")
        r = ctl(env, "--port", unit, "loopcheck", "run", "FT-101", "--technician", "Aoki", "--as-left",
                "--readings", readings)
        check(r.returncode == 2 and "line 3" in r.stderr, f"bad reading: {r.returncode} {r.stderr}")
        # A tag on another range than the channel's: refused before anything moves.
        r = ctl(env, "--port", unit, "loopcheck", "run", "TT-2", "--technician", "Aoki", "--readings", "-",
                stdin="1\n2\n")
        check(r.returncode == 2 and "0_10V" in r.stderr and "4_20mA" in r.stderr, f"wrong range: {r.stderr}")
        check(sim.outputs() == before, "the outputs after the refusals")

        # As left from standard input, in text.
        r = ctl(env, "--port", unit, "loopcheck", "run", "FT-101", "--technician", "Aoki", "--as-left",
                "--readings", "-", "--remark", "zero trimmed", stdin="0.1\n37.5\n75\n112.4\n150\n")
        check(r.returncode == 0 and "as_left pass" in r.stdout, f"as left: {r.returncode} {r.stdout} {r.stderr}")
        check(r.stdout.count("point ") == 5, f"five point lines: {r.stdout}")

        # A correction of a result that is not there: refused before the
        # test, not after it.
        r = ctl(env, "--port", unit, "loopcheck", "run", "FT-101", "--technician", "Aoki", "--readings", "-",
                "--supersedes", "99", "--reason", "typo", stdin="0\n37.5\n75\n112.5\n150\n")
        check(r.returncode == 2 and "nothing was put out" in r.stderr and "point" not in r.stdout,
              f"supersedes 99: {r.returncode} {r.stdout} {r.stderr}")
        # The way down asked for twice is there once.
        for _ in range(2):
            check(ctl(env, "loopcheck", "tag", "set", "TT-2", "--down").returncode == 0, "tag set --down")
        tt2 = [t for t in objects(ctl(env, "loopcheck", "tag", "list", "--json").stdout) if t["tag"] == "TT-2"]
        check(tt2 and tt2[0]["points"] == [0, 100, 0], f"the way down once: {tt2}")

        # At the terminal: a word asked again, then SIGINT in the middle.
        p = subprocess.Popen([CTL, "--lang", "en", "--port", unit, "loopcheck", "run", "FT-101", "--technician",
                              "Aoki"], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
        time.sleep(1.5)
        p.stdin.write("zero\n")
        p.stdin.flush()
        time.sleep(0.5)
        p.stdin.write("0.05\n")
        p.stdin.flush()
        time.sleep(1.0)
        p.send_signal(signal.SIGINT)
        out, err = p.communicate(timeout=20)
        check(p.returncode == 5, f"SIGINT: exit {p.returncode}: {err}")
        check("'zero' is not a number; again." in err, f"asked again: {err}")
        check("point 1/5" in out and "aborted" in out, f"one point, then aborted: {out}")
        check(sim.outputs() == before, f"the outputs after SIGINT: {sim.outputs()}")

        r = ctl(env, "loopcheck", "history", "FT-101", "--json")
        history = objects(r.stdout)
        check([h["kind"] for h in history] == ["as_found", "as_left", "as_found"] and
              history[2]["ending"] == "aborted" and len(history[0]["points"]) == 5,
              f"history: {[(h['kind'], h['ending']) for h in history]}")
        check(history[0]["largest_error_percent_of_span"] > 0.93, f"largest error: {history[0]}")

        r = ctl(env, "loopcheck", "verify")
        check(r.returncode == 0 and "3 result(s)" in r.stdout, f"verify: {r.returncode} {r.stdout} {r.stderr}")
        # A reading edited behind the program's back.
        con = sqlite3.connect(db)
        con.executescript("DROP TRIGGER point_no_update;"
                          "UPDATE point SET reading = 112.5 WHERE result = 1 AND \"index\" = 4;")
        con.close()
        r = ctl(env, "loopcheck", "verify")
        check(r.returncode == 4 and "result 1 " in r.stderr, f"verify names result 1: {r.returncode} {r.stderr}")

        # While velmoractl serve holds the port, the test runs in it: the
        # same lines, the same result kept, the outputs back as they were.
        settings = os.path.join(folder, "bench.ini")
        check(ctl(env, "settings", "new", settings, "--channels", "2").returncode == 0, "settings new")
        server = subprocess.Popen([CTL, "--lang", "en", "--port", unit, "serve", "--settings", settings], cwd=folder,
                                  env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline and server.poll() is None:
                if ctl(env, "--port", unit, "scpi", "SYST:CONN?").stdout.strip() == "1":
                    break
                time.sleep(0.1)
            # serve set the unit up from its settings file: the tag's range
            # first, through serve.
            r = ctl(env, "--port", unit, "set", "1", "--range", "4_20mA", "--value", "9", "--off")
            check(r.returncode == 0, f"set through serve: {r.stderr}")
            before = sim.outputs()
            r = ctl(env, "--port", unit, "loopcheck", "run", "FT-101", "--technician", "Aoki", "--readings", "-",
                    "--json", stdin="0\n37.5\n75.6\n112.5\n150\n")
            check(r.returncode == 0, f"through serve: {r.returncode} {r.stdout} {r.stderr}")
            got = objects(r.stdout)
            check(len(got) == 6 and [o["verdict"] for o in got[:5]] == ["pass", "pass", "adjust", "pass", "pass"]
                  if len(got) == 6 else False, f"through serve, the points: {r.stdout}")
            check(len(got) == 6 and got[2]["output"] == 12 and got[2]["expected"] == 75 and
                  abs(got[2]["error_percent_of_span"] - 0.4) < 1e-9, f"through serve, point 3: {got[2:3]}")
            # 0.4 % is beyond the 0.25 % adjust limit, within the tolerance.
            check(len(got) == 6 and got[5].get("verdict") == "adjust" and len(got[5].get("hash", "")) == 64,
                  f"through serve, the result: {got[5:]}")
            check(sim.outputs() == before, f"the outputs after the test through serve: {sim.outputs()} / {before}")
            history = objects(ctl(env, "loopcheck", "history", "FT-101", "--json").stdout)
            check(len(history) == 4 and history[3]["technician"] == "Aoki", f"kept by serve: {len(history)}")
            r = ctl(env, "--port", unit, "loopcheck", "run", "TT-2", "--technician", "Aoki", "--readings", "-",
                    stdin="0\n100\n0\n")
            check(r.returncode == 2 and "0_10V" in r.stderr, f"through serve, the wrong range: {r.stderr}")
        finally:
            server.terminate()
            server.wait(timeout=10)
    finally:
        sim.stop()


with tempfile.TemporaryDirectory() as d:
    main(d)
print("loopcheck_ctl:", "ok" if not failures else f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
