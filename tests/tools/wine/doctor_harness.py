"""What the doctor's Wine tests share: running `qlxctl doctor` (JSON and
text) in the throwaway prefix, checking the report's frame and one check's
state and value, the prefix's settings and redirector parameters, and the
run's frame (clean state before and after, servers stopped, the password in
no output, the verdict).

Every script takes: QLXCTL_EXE FIXTURE_EXE WINE_RUN_SH OUTPUT_DIR
"""
import base64
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

QLXCTL, FIXTURE, RUN, OUT = sys.argv[1:5]
PREFIX = os.environ.get("WINEPREFIX")
if not PREFIX:
    sys.exit("WINEPREFIX must name the throwaway prefix")

SETTINGS = r"HKCU\Software\PELMORA\QLXDrive"
POLICIES = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System"
CONNECTIONS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
PARAMETERS = r"HKLM\SYSTEM\CurrentControlSet\Services\WebClient\Parameters"
USER = "mario.rossi"
DOMAIN = "qlxdrive.example"  # the test build's account domain
ACCOUNT = USER + "@" + DOMAIN
PASSWORD = "Zq7-Sgr3t0 ü!"  # distinctive: a blank and a non-ASCII letter
LETTER = "J:"  # none of the other tests' letters; never Z: (Wine's /)
URL_VARIABLE = "QLX_DOCTOR_SERVICE_URL"

failures = []
outputs = []  # everything the doctor printed, for the password check
counter = [0]


def fail(what):
    failures.append(what)
    print("FAIL: " + what, file=sys.stderr)


def expect(condition, what):
    if not condition:
        fail(what)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, stdin=None, env=None):
    full_env = dict(os.environ)
    full_env.update(env or {})
    return subprocess.run([RUN, *args], input=stdin, capture_output=True, env=full_env, timeout=300)


def reg(*args):
    return wine("reg", *args).returncode


def set_parameter(name, kind, data):
    expect(reg("add", PARAMETERS, "/v", name, "/t", kind, "/d", data, "/f") == 0, "reg add %s" % name)


def doctor(name, *args, env=None, letter=None):
    """Runs `qlxctl doctor --json ARGS` (and the text form, kept in OUT);
    returns (exit code, {id: check}, seconds the JSON run took)."""
    code, checks, seconds, _, _ = doctor_report(name, *args, env=env, letter=letter)
    return code, checks, seconds


def doctor_report(name, *args, env=None, letter=None):
    """doctor(), and the checks' ids in the report's order and the text's
    cause lines (without their "cause N: ") as well."""
    command = [QLXCTL, "doctor", *args]
    if letter:  # the letter exists only while the doctor runs
        command = [FIXTURE, "with-letter", LETTER, letter[0], letter[1], "--", windows_path(QLXCTL), "doctor", *args]
    started = time.monotonic()
    result = wine(*command, "--json", env=env)
    seconds = time.monotonic() - started
    text = wine(*command, env=env)
    counter[0] += 1
    with open(os.path.join(OUT, "%02d-%s.txt" % (counter[0], name)), "wb") as f:
        f.write(text.stdout + text.stderr)
    for r in (result, text):
        outputs.append((name, r.stdout + r.stderr))
    expect(result.returncode == text.returncode, "%s: --json exited %d, text %d" % (name, result.returncode, text.returncode))
    try:
        report = json.loads(result.stdout.decode("utf-8"))
    except ValueError as e:
        fail("%s: the JSON does not parse (%s): %r" % (name, e, result.stdout[:400]))
        return result.returncode, {}, seconds, [], []
    expect(set(report) == {"service_base_url", "account_domain", "checks", "problems", "warnings", "exit_code"},
           "%s: top-level keys %s" % (name, sorted(report)))
    checks = {}
    for c in report.get("checks", []):
        expect(set(c) == {"id", "state", "value", "fix"}, "%s: keys of a check %s" % (name, sorted(c)))
        expect(c["state"] in ("ok", "warning", "problem", "skipped"), "%s: state %r" % (name, c["state"]))
        expect((c["fix"] is None) == (c["state"] in ("ok", "skipped")), "%s: %s has fix %r" % (name, c["id"], c["fix"]))
        checks[c["id"]] = c
    problems = sum(c["state"] == "problem" for c in checks.values())
    expect(report.get("problems") == problems, "%s: problems %r, counted %d" % (name, report.get("problems"), problems))
    expect(report.get("exit_code") == result.returncode == (1 if problems else 0),
           "%s: exit code %d, JSON says %r, %d problems" % (name, result.returncode, report.get("exit_code"), problems))
    # Every line of the text form is one check, its fix, or the frame (the
    # heading, the count, the causes): a value that breaks its line would
    # read as a line of its own.
    lines = text.stdout.decode("utf-8").split("\r\n")
    ids = [l.split()[1] for l in lines if re.match(r"^(ok|warning|problem|skipped) ", l)]
    order = [c["id"] for c in report["checks"]]
    expect(ids == order, "%s: text lists %s" % (name, ids))
    stray = [l for l in lines[:-1] if "\n" in l or "\r" in l or not re.match(
        r"^(QLXDrive doctor: |(ok|warning|problem|skipped) +[a-zA-Z_.]+ |         fix: |[0-9]+ problems?, [0-9]+ "
        r"warnings?\.$|cause [0-9]+: )", l)]
    expect(not stray and lines[-1] == "", "%s: lines of the text form that are no check, fix or frame: %r" % (
        name, stray + lines[-1:]))
    causes = [l.split(": ", 1)[1] for l in lines if l.startswith("cause ")]
    return result.returncode, checks, seconds, order, causes


def check(checks, name, id, state, value_part=None, fix_part=None):
    c = checks.get(id)
    if c is None:
        fail("%s: no check %s" % (name, id))
        return
    expect(c["state"] == state, "%s: %s is %s (%s), expected %s" % (name, id, c["state"], c["value"], state))
    if value_part is not None:
        expect(value_part in c["value"], "%s: %s value %r lacks %r" % (name, id, c["value"], value_part))
    if fix_part is not None:
        expect(c["fix"] is not None and fix_part in c["fix"], "%s: %s fix %r lacks %r" % (name, id, c["fix"], fix_part))


# The online checks, in the order the redirector's own requests come.
ONLINE_IDS = ["online.root", "online.options", "online.path", "online.auth", "online.propfind", "online.folder"]


def online_in_order(name, order):
    listed = [id for id in order if id.startswith("online.")]
    expect(listed == ONLINE_IDS, "%s: the online checks are %s, expected %s" % (name, listed, ONLINE_IDS))


def online_all_ok(name, checks, order):
    """The online checks are all there, in order, and all ok."""
    online_in_order(name, order)
    for id in ONLINE_IDS:
        if id in checks:
            check(checks, name, id, "ok")


def proxy_settings(flags, proxy="", bypass=""):
    """The user's proxy settings as Internet Options stores them: a version,
    a counter, the flags (1 direct, 2 a fixed proxy, 8 automatic detection),
    then the proxy, its bypass list and the script, each after its length."""
    data = struct.pack("<III", 0x46, 1, flags)
    for text in (proxy, bypass, ""):
        data += struct.pack("<I", len(text)) + text.encode("ascii")
    data += bytes(32)
    return reg("add", CONNECTIONS, "/v", "DefaultConnectionSettings", "/t", "REG_BINARY", "/d", data.hex(), "/f")


def save(password):
    r = wine(QLXCTL, "save", "--drive", LETTER, "--user", USER, stdin=(password + "\n").encode("utf-8"))
    expect(r.returncode == 0, "save exited %d: %s" % (r.returncode, r.stderr))


def clean():
    reg("delete", SETTINGS, "/f")
    reg("delete", CONNECTIONS, "/v", "DefaultConnectionSettings", "/f")
    reg("delete", POLICIES, "/v", "EnableLinkedConnections", "/f")
    reg("delete", PARAMETERS, "/f")
    wine(FIXTURE, "service-delete", "WebClient")


def no_password_in_outputs(passwords):
    """No run printed any of PASSWORDS, a fragment of one, or the Basic
    credentials made from it."""
    for name, out in outputs:
        for password in passwords:
            pair = base64.b64encode(("%s:%s" % (ACCOUNT, password)).encode("utf-8"))
            for secret in (password.encode("utf-8"), b"Sgr3t0", pair):
                expect(secret not in out, "%s: the output holds %r" % (name, secret))
    expect(len(outputs) == 2 * counter[0], "outputs collected")


def run(cases, passwords):
    """Runs CASES(work folder, undo list) between two clean states, then
    the password check; every callable CASES puts in the undo list (servers'
    stops first of all) runs afterwards, in reverse order, whatever
    happened. Exits 1 when a check failed."""
    os.makedirs(OUT, exist_ok=True)
    for old in os.listdir(OUT):
        os.remove(os.path.join(OUT, old))
    work = tempfile.mkdtemp(prefix="qlx-doctor-")
    undo = []
    # A terminated run still stops its servers (Apache and rclone outlive
    # this process otherwise).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    try:
        clean()
        cases(work, undo)
    finally:
        for step in reversed(undo):
            try:
                step()
            except Exception as e:  # one failed stop must not leave the others running
                fail("clean-up: %r" % e)
        clean()
        shutil.rmtree(work, ignore_errors=True)
    no_password_in_outputs(passwords)
    print("%d doctor runs, transcripts in %s" % (counter[0], OUT))
    if failures:
        print("%d check(s) failed" % len(failures), file=sys.stderr)
        sys.exit(1)
    print("all doctor checks passed")
