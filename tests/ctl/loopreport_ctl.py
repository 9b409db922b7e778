#!/usr/bin/python3
"""velmoractl loopcheck report against the simulated unit: a five-point
check as found and as left, then its record as PDF (read back with
pdftotext and compared with the results `history --json` gives), as HTML
(parsed: a description full of markup stays text) and as CSV (read by
Python's csv module, every number the one kept); in Japanese; refusals of
an unknown result, tag or extension; and a record made after a row was
edited with sqlite3, written with the fault at its top.

usage: loopreport_ctl.py SIM CTL       Exits 77 (skipped) without pdftotext.
"""
import csv
import html.parser
import json
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile

SIM, CTL = (os.path.abspath(p) for p in sys.argv[1:3])
failures = []
HOSTILE = "Feed <main> flow & \"north\" 'A' </td></table><script>x()</script>"


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def ctl(env, *args, lang="en", stdin=None):
    return subprocess.run([CTL, "--lang", lang, *args], env=env, capture_output=True, text=True, timeout=120,
                          input=stdin)


def pdf_text(path, *options):
    return subprocess.run(["pdftotext", *options, path, "-"], capture_output=True, text=True, check=True).stdout


class Text(html.parser.HTMLParser):
    """The page's text and every element's name, as a browser builds them."""

    def __init__(self):
        super().__init__()
        self.tags = []
        self.text = []

    def handle_starttag(self, tag, attrs):
        self.tags.append(tag)

    def handle_data(self, data):
        self.text.append(data)


def main(folder):
    db = os.path.join(folder, "loop.sqlite3")
    env = dict(os.environ, HOME=folder, XDG_RUNTIME_DIR="", VELMORA_LOOPCHECK_DB=db, TZ="JST-9",
               VELMORA_RECORD=os.path.join(folder, "record.sqlite3"))
    out = lambda name: os.path.join(folder, name)  # noqa: E731

    r = ctl(env, "loopcheck", "report", "FT-101", out("none.pdf"))
    check(r.returncode == 3 and "no loop-check database" in r.stderr, f"no database: {r.returncode} {r.stderr}")

    unit = out("unit")
    sim = subprocess.Popen([SIM, "--channels", "2", "--link", unit], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                           text=True)
    sim.stdout.readline()
    try:
        r = ctl(env, "loopcheck", "tag", "add", "FT-101", "--channel", "1", "--range", "4_20mA", "--lrv", "0",
                "--urv", "150", "--unit", "m³/h", "--settle", "0", "--adjust-limit", "0.25", "--description",
                HOSTILE, "--location", "Hall 2, bay \"7\"")
        check(r.returncode == 0, f"tag add: {r.stderr}")
        r = ctl(env, "--port", unit, "set", "1", "--range", "4_20mA", "--value", "4", "--off")
        check(r.returncode == 0, f"set: {r.stderr}")
        r = ctl(env, "--port", unit, "loopcheck", "run", "FT-101", "--technician", "Aoki", "--readings", "-",
                "--json", stdin="0.2\n37.9\n75\n113.9\n149.9\n")
        check(r.returncode == 4, f"as found fails: {r.returncode} {r.stderr}")
        r = ctl(env, "--port", unit, "loopcheck", "run", "FT-101", "--technician", "Aoki", "--as-left",
                "--readings", "-", "--remark", "zero and span trimmed, \"by the book\"",
                stdin="0.1\n37.5\n75\n112.4\n150\n")
        check(r.returncode == 0, f"as left passes: {r.returncode} {r.stderr}")
    finally:
        sim.terminate()
        sim.wait(timeout=10)

    history = [json.loads(line) for line in ctl(env, "loopcheck", "history", "FT-101", "--json").stdout.splitlines()]
    check([h["kind"] for h in history] == ["as_found", "as_left"], f"history: {history}")
    found, left = history

    # --- PDF: what the auditor reads is what was kept ---
    pdf = out("FT-101.pdf")
    r = ctl(env, "loopcheck", "report", "FT-101", pdf)
    check(r.returncode == 0 and r.stderr == "", f"report pdf: {r.returncode} {r.stderr}")
    text = pdf_text(pdf, "-layout")
    check("Loop check record" in text and "FT-101" in text, "title and tag")
    check("Aoki" in text, "technician")
    check("Hall 2, bay \"7\"" in text, "location")
    check("<main>" in text and "<script>x()</script>" in text, "the description as written")
    for h in history:
        check(h["hash"] in text, f"the hash of result {h['result']}")
        check(f"result {h['result']}" in text, f"result {h['result']} named")
        for p in h["points"]:
            cells = [str(p["point"]), f"{p['percent']:g}", f"{p['output']:.3f} mA", f"{p['expected']:.2f}",
                     f"{p['reading']:.2f}", f"{p['error_percent_of_span']:+.2f}".replace("-0.00", "+0.00"),
                     p["verdict"]]
            pattern = r"\s+".join(re.escape(c) for c in cells)
            check(re.search(r"(^|\s)" + pattern + r"(\s|$)", text, re.M),
                  f"result {h['result']} point {p['point']}: {cells}")
    check(re.search(r"As found: result \d+\s+FAIL", text) and re.search(r"As left: result \d+\s+PASS", text),
          "each test's verdict")
    check("UTC+09:00" in text, "local times with their offset")
    check("Verified when this record was made" in text and "unbroken chain" in text, "the chain verified")
    check("none (the first result kept)" in text, "words as words, not ligatures")
    check(text.index("As found") < text.index("As left"), "as found before as left")
    check(re.search(r"page 1 of \d", text), "page numbers")

    # By result: the as-found one alone, in Japanese.
    ja = out("found-ja.pdf")
    r = ctl(env, "loopcheck", "report", str(found["result"]), ja, lang="ja")
    check(r.returncode == 0, f"report ja: {r.stderr}")
    text = pdf_text(ja, "-layout")
    for words in ("ループチェック記録", "調整前", "不合格", "担当者", "署名", found["hash"]):
        check(words in text, f"Japanese record: {words}")
    check(left["hash"] not in text, "a result's record holds that result only")

    # --- HTML: markup in a text stays text ---
    page = out("FT-101.html")
    r = ctl(env, "loopcheck", "report", "FT-101", page)
    check(r.returncode == 0, f"report html: {r.stderr}")
    with open(page, encoding="utf-8") as f:
        source = f.read()
    parsed = Text()
    parsed.feed(source)
    parsed.close()
    check("script" not in parsed.tags and "main" not in parsed.tags, f"no element from the text: {set(parsed.tags)}")
    check(parsed.tags.count("table") == source.count("<table"), "tables as written")
    joined = "".join(parsed.text)
    check(HOSTILE in joined, "the description read back whole")
    check("zero and span trimmed, \"by the book\"" in joined, "the remark")
    check(all(h["hash"] in joined for h in history), "hashes in the HTML")

    # --- CSV: every number the one kept ---
    rows_path = out("FT-101.csv")
    r = ctl(env, "loopcheck", "report", "FT-101", rows_path)
    check(r.returncode == 0, f"report csv: {r.stderr}")
    with open(rows_path, encoding="utf-8", newline="") as f:
        raw = f.read()
    check(raw.count("\r\n") == 11 and "\n" not in raw.replace("\r\n", ""), "CR LF line ends")
    rows = list(csv.DictReader(raw.splitlines(keepends=True)))
    check(len(rows) == 10, f"ten points: {len(rows)}")
    for row, (h, p) in zip(rows, [(h, p) for h in history for p in h["points"]]):
        check(int(row["result"]) == h["result"] and row["kind"] == h["kind"] and row["verdict"] == h["verdict"],
              f"row of result {h['result']}: {row}")
        for key, want in (("percent", p["percent"]), ("output", p["output"]), ("expected", p["expected"]),
                          ("reading", p["reading"]), ("error_percent_of_span", p["error_percent_of_span"])):
            check(float(row[key]) == want, f"{key} of result {h['result']} point {p['point']}: {row[key]} != {want}")
        check(row["point_verdict"] == p["verdict"] and row["hash"] == h["hash"] and row["technician"] == "Aoki",
              f"verdict, hash, technician: {row}")
        check(row["description"] == HOSTILE and row["location"] == "Hall 2, bay \"7\"", "quoted fields")
        check(row["chain_verified"] == "true" and row["hash_matches"] == "true", "verified")
        check(row["start_utc"] == h["start"], "start time")

    # --- Refusals ---
    for args, rc, says in [(["999", out("x.pdf")], 2, "there is no result 999"),
                           (["TT-404", out("x.pdf")], 2, "there is no tag or result 'TT-404'"),
                           (["FT-101", out("x.docx")], 2, "the record is written as .pdf, .html or .csv"),
                           (["FT-101"], 2, "which file?"),
                           (["FT-101", out("x.pdf"), "--landscape"], 2, "unexpected argument '--landscape'"),
                           (["FT-101", os.path.join(folder, "no", "such", "x.pdf")], 3, "x.pdf: ")]:
        r = ctl(env, "loopcheck", "report", *args)
        check(r.returncode == rc and says in r.stderr, f"report {args}: {r.returncode} {r.stderr}")
    check(not os.path.exists(out("x.pdf")) and not os.path.exists(out("x.docx")), "nothing written when refused")

    # --- A row edited behind the program's back: written, with the fault on top ---
    con = sqlite3.connect(db)
    con.executescript("DROP TRIGGER point_no_update;"
                      f"UPDATE point SET reading = 112.5 WHERE result = {found['result']} AND \"index\" = 4;")
    con.close()
    tampered = out("tampered.pdf")
    with open(tampered, "w") as f:
        f.write("an older record")
    r = ctl(env, "loopcheck", "report", "FT-101", tampered)
    check(r.returncode == 4 and "does not verify" in r.stderr and f"result {found['result']}" in r.stderr,
          f"tampered: {r.returncode} {r.stderr}")
    first = pdf_text(tampered, "-f", "1", "-l", "1", "-layout")
    check("THE CHAIN OF RESULTS DOES NOT VERIFY" in first, f"the fault on page 1: {first[:600]}")
    check(first.index("DOES NOT VERIFY") < first.index("Input span"), "before the loop's fields")
    check("THE RESULT'S ROWS DO NOT MATCH ITS HASH" in pdf_text(tampered), "the changed result marked")
    r = ctl(env, "loopcheck", "report", "FT-101", out("tampered.csv"))
    with open(out("tampered.csv"), encoding="utf-8", newline="") as f:
        marks = {(row["result"], row["hash_matches"], row["chain_verified"]) for row in csv.DictReader(f)}
    check(r.returncode == 4 and marks == {(str(found["result"]), "false", "false"),
                                          (str(left["result"]), "true", "false")}, f"CSV marks: {marks}")


if shutil.which("pdftotext") is None:
    print("loopreport_ctl: pdftotext (poppler-utils) is missing; skipped")
    sys.exit(77)
with tempfile.TemporaryDirectory() as d:
    main(d)
print("loopreport_ctl:", "ok" if not failures else f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
