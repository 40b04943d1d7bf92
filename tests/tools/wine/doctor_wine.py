#!/usr/bin/env python3
"""qlxctl doctor under wine64, against the throwaway prefix's real service
manager, registry, drive letters and WinHTTP, and real servers on 127.0.0.1:
rclone's WebDAV server (right and wrong password), a plain HTTP server, a
port nobody listens on and a server that accepts and never answers.

usage: doctor_wine.py QLXCTL_EXE FIXTURE_EXE WINE_RUN_SH OUTPUT_DIR

Every run's text output is kept in OUTPUT_DIR (NN-case.txt), so a failure
can be read as support staff would see it. Exits 1 when a check fails.
"""
import http.server
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
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
PASSWORD = "Zq7-Sgr3t0 ü!"  # distinctive: a blank and a non-ASCII letter
LETTER = "J:"  # none of the other tests' letters; never Z: (Wine's /)

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


def doctor(name, *args, env=None, letter=None):
    """Runs `qlxctl doctor --json ARGS` (and the text form, kept in OUT);
    returns (exit code, {id: check}, seconds the JSON run took)."""
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
        return result.returncode, {}, seconds
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
    # Every line of the text form is one check, its fix, or the frame.
    lines = text.stdout.decode("utf-8").split("\r\n")
    ids = [l.split()[1] for l in lines if re.match(r"^(ok|warning|problem|skipped) ", l)]
    expect(ids == [c["id"] for c in report["checks"]], "%s: text lists %s" % (name, ids))
    return result.returncode, checks, seconds


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


def proxy_settings(flags, proxy="", bypass=""):
    """The user's proxy settings as Internet Options stores them: a version,
    a counter, the flags (1 direct, 2 a fixed proxy, 8 automatic detection),
    then the proxy, its bypass list and the script, each after its length."""
    import struct
    data = struct.pack("<III", 0x46, 1, flags)
    for text in (proxy, bypass, ""):
        data += struct.pack("<I", len(text)) + text.encode("ascii")
    data += bytes(32)
    return reg("add", CONNECTIONS, "/v", "DefaultConnectionSettings", "/t", "REG_BINARY", "/d", data.hex(), "/f")


def save(password):
    r = wine(QLXCTL, "save", "--drive", LETTER, "--user", USER, stdin=(password + "\n").encode("utf-8"))
    expect(r.returncode == 0, "save exited %d: %s" % (r.returncode, r.stderr))


# ------------------------------------------------------------------ servers

class PlainHandler(http.server.BaseHTTPRequestHandler):
    """A web server that knows GET only: PROPFIND gets 501."""

    def send_error(self, *args, **kwargs):
        # Read the request's body first, as a real server does: closing with
        # unread data resets the connection before the answer is read.
        length = int(self.headers.get("Content-Length") or 0) if self.headers else 0
        if length:
            self.rfile.read(length)
        super().send_error(*args, **kwargs)

    def do_GET(self):
        self.send_response(200)
        self.end_headers()

    def log_message(self, *args):
        pass


def start_plain_server():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), PlainHandler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def start_tls_server(folder):
    """An HTTPS server whose certificate (self-signed, made here) the prefix
    does not trust; it answers OPTIONS as a WebDAV server would."""
    import ssl
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"],
                   check=True, capture_output=True, timeout=60)

    class Handler(PlainHandler):
        def do_OPTIONS(self):
            self.send_response(200)
            self.send_header("DAV", "1, 2")
            self.send_header("Content-Length", "0")
            self.end_headers()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def start_silent_server():
    """Accepts connections, reads, and never answers."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    held = []

    def accept():
        while True:
            try:
                connection, _ = listener.accept()
            except OSError:
                return
            held.append(connection)

    threading.Thread(target=accept, daemon=True).start()
    return listener, held


def unused_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def start_rclone(folder):
    log = open(os.path.join(folder, "rclone.log"), "wb")
    process = subprocess.Popen(
        ["rclone", "serve", "webdav", "--config", "/dev/null", "--addr", "127.0.0.1:0",
         "--user", USER + "@" + DOMAIN, "--pass", PASSWORD, os.path.join(folder, "dav")],
        stdout=log, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        with open(os.path.join(folder, "rclone.log"), "rb") as f:
            found = re.search(rb"http://127\.0\.0\.1:[0-9]+/", f.read())
        if found:
            return process, found.group(0).decode()
        if process.poll() is not None:
            break
        time.sleep(0.1)
    process.kill()
    sys.exit("rclone did not start: " + open(os.path.join(folder, "rclone.log")).read())


# -------------------------------------------------------------------- tests

def clean():
    reg("delete", SETTINGS, "/f")
    reg("delete", CONNECTIONS, "/v", "DefaultConnectionSettings", "/f")
    reg("delete", POLICIES, "/v", "EnableLinkedConnections", "/f")
    reg("delete", PARAMETERS, "/f")
    wine(FIXTURE, "service-delete", "WebClient")


def main():
    os.makedirs(OUT, exist_ok=True)
    for old in os.listdir(OUT):
        os.remove(os.path.join(OUT, old))
    work = tempfile.mkdtemp(prefix="qlx-doctor-")
    unc = os.path.join(PREFIX, "dosdevices", "unc")
    unc_existed = os.path.isdir(unc)
    servers = []
    try:
        clean()
        run_cases(work, unc, servers)
    finally:
        for stop in servers:
            stop()
        clean()
        shutil.rmtree(work, ignore_errors=True)
        if not unc_existed:
            shutil.rmtree(unc, ignore_errors=True)


def run_cases(work, unc, servers):
    # --- nothing stored, no WebClient: Wine's own state -----------------------
    code, c, _ = doctor("nothing-stored")
    check(c, "nothing stored", "settings.key", "problem", SETTINGS, "Parametri")
    check(c, "nothing stored", "drive.letter", "skipped")
    check(c, "nothing stored", "system.net_exe", "ok", r"C:\windows\system32\net.exe")
    check(c, "nothing stored", "webclient.service", "problem", "not installed", "Install-WindowsFeature WebDAV-Redirector")
    check(c, "nothing stored", "webclient.BasicAuthLevel", "ok", "1 (default)")
    check(c, "nothing stored", "webclient.FileSizeLimitInBytes", "ok", "50,000,000 bytes (default)")
    check(c, "nothing stored", "webclient.FileAttributesLimitInBytes", "ok", "1,000,000 bytes (default)")
    expect("webclient.SendReceiveTimeoutInSec" not in c, "an unset timer is listed")
    expect(code == 1, "nothing stored: exit %d" % code)
    expect(reg("query", SETTINGS) != 0, "the doctor created the settings key")

    # --- the user's proxy: automatic detection (a fresh profile's), a proxy
    # that does not bypass the service, none ----------------------------------
    check(c, "nothing stored", "network.proxy", "warning", "user: automatic detection", "Automatically detect")

    # --- the session: Wine 8 runs programs elevated, Wine 10's WoW64 does not;
    # elevated, the drives are another set unless they are linked -------------
    elevation = c.get("session.elevation", {}).get("value", "")
    if elevation.startswith("elevated"):
        check(c, "nothing stored", "session.elevation", "warning", "EnableLinkedConnections is off",
              "/v EnableLinkedConnections /t REG_DWORD /d 1 /f")
        expect(reg("add", POLICIES, "/v", "EnableLinkedConnections", "/t", "REG_DWORD", "/d", "1", "/f") == 0,
               "reg add EnableLinkedConnections")
        _, c, _ = doctor("elevated-linked")
        check(c, "linked", "session.elevation", "ok", "elevated, EnableLinkedConnections is on")
    else:
        check(c, "nothing stored", "session.elevation", "ok", "not elevated")

    # (the proxy again)
    expect(proxy_settings(3, "proxy.example:8080", "<local>") == 0, "reg add DefaultConnectionSettings")
    _, c, _ = doctor("proxy-fixed")
    check(c, "proxy", "network.proxy", "warning",
          "user: proxy proxy.example:8080, dav.%s not in its bypass list" % DOMAIN, "proxy's exceptions")
    expect(proxy_settings(1) == 0, "reg add DefaultConnectionSettings")

    # --- the service entry: disabled, manual, automatic -----------------------
    save(PASSWORD)
    expect(wine(FIXTURE, "service-create", "WebClient", "disabled").returncode == 0, "service-create")
    _, c, _ = doctor("service-disabled")
    check(c, "disabled", "webclient.service", "problem", "disabled, stopped", "`sc config WebClient start= demand`")
    expect(wine(FIXTURE, "service-config", "WebClient", "demand").returncode == 0, "service-config demand")
    code, c, _ = doctor("service-manual")
    check(c, "manual", "webclient.service", "ok", "manual, stopped")
    check(c, "manual", "network.proxy", "ok", "user: direct; WinHTTP: direct")
    for id_, state in c.items():
        expect(state["state"] == "ok", "all well but %s: %s" % (id_, state["value"]))
    expect(code == 0, "all well: exit %d" % code)
    check(c, "manual", "settings.USER", "ok", '"%s"' % USER)
    check(c, "manual", "settings.PASSWORD", "ok", "set")
    check(c, "manual", "drive.letter", "ok", LETTER + " is free")
    expect(wine(FIXTURE, "service-config", "WebClient", "auto").returncode == 0, "service-config auto")
    _, c, _ = doctor("service-automatic")
    check(c, "automatic", "webclient.service", "warning", "automatic, stopped", "`sc start WebClient`")
    wine(FIXTURE, "service-config", "WebClient", "demand")

    # --- the redirector's parameters, each set, of the wrong type, unset ----------
    def add(name, kind, data):
        expect(reg("add", PARAMETERS, "/v", name, "/t", kind, "/d", data, "/f") == 0, "reg add %s" % name)

    add("BasicAuthLevel", "REG_DWORD", "0")
    add("FileSizeLimitInBytes", "REG_DWORD", "1000")
    add("FileAttributesLimitInBytes", "REG_DWORD", "5000000")
    add("SendReceiveTimeoutInSec", "REG_DWORD", "120")
    add("ServerNotFoundCacheLifeTimeInSec", "REG_SZ", "30")
    code, c, _ = doctor("parameters-set")
    check(c, "set", "webclient.BasicAuthLevel", "problem", "0: Basic authentication is off",
          'reg add "%s" /v BasicAuthLevel /t REG_DWORD /d 1 /f' % PARAMETERS)
    check(c, "set", "webclient.FileSizeLimitInBytes", "warning", "1,000 bytes: a larger file cannot be copied",
          "/v FileSizeLimitInBytes /t REG_DWORD /d 4294967295 /f")
    check(c, "set", "webclient.FileAttributesLimitInBytes", "ok", "5,000,000 bytes:")
    check(c, "set", "webclient.SendReceiveTimeoutInSec", "ok", "120 s")
    check(c, "set", "webclient.ServerNotFoundCacheLifeTimeInSec", "warning", "of type REG_SZ, not REG_DWORD")
    expect(code == 1, "parameters set: exit %d" % code)
    add("BasicAuthLevel", "REG_SZ", "2")
    add("ServerNotFoundCacheLifeTimeInSec", "REG_DWORD", "30")
    _, c, _ = doctor("parameters-types")
    check(c, "types", "webclient.BasicAuthLevel", "warning", "the value set is of type REG_SZ, not REG_DWORD")
    check(c, "types", "webclient.ServerNotFoundCacheLifeTimeInSec", "ok", "30 s")
    add("BasicAuthLevel", "REG_DWORD", "2")
    _, c, _ = doctor("parameters-level-2")
    check(c, "level 2", "webclient.BasicAuthLevel", "ok", "2: Basic authentication over http and https")
    for name in ("BasicAuthLevel", "FileSizeLimitInBytes", "FileAttributesLimitInBytes", "SendReceiveTimeoutInSec",
                 "ServerNotFoundCacheLifeTimeInSec"):
        expect(reg("delete", PARAMETERS, "/v", name, "/f") == 0, "reg delete %s" % name)
    code, c, _ = doctor("parameters-unset")
    check(c, "unset", "webclient.BasicAuthLevel", "ok", "1 (default)")
    check(c, "unset", "webclient.FileSizeLimitInBytes", "ok", "(default)")
    expect("webclient.SendReceiveTimeoutInSec" not in c and "webclient.ServerNotFoundCacheLifeTimeInSec" not in c,
           "unset timers are listed")
    expect(code == 0, "parameters unset: exit %d" % code)

    # --- the letter: defined by the test, mapped elsewhere, mapped to the service --
    # Wine reports a letter whose mount point is unc/HOST/SHARE (and exists) as
    # the network connection \\HOST\SHARE.
    os.makedirs(os.path.join(unc, "fileserver", "public"), exist_ok=True)
    os.makedirs(os.path.join(unc, "dav.%s@SSL" % DOMAIN, USER), exist_ok=True)
    code, c, _ = doctor("letter-defined", letter=("dos", r"C:\windows"))
    check(c, "defined", "drive.letter", "problem", LETTER + " is a local drive", "Pick a free letter")
    expect(code == 1, "letter defined: exit %d" % code)
    code, c, _ = doctor("letter-elsewhere", letter=("unc", r"fileserver\public"))
    check(c, "elsewhere", "drive.letter", "warning", LETTER + r" is mapped to \\fileserver\public",
          "`net use %s /delete`" % LETTER)
    code, c, _ = doctor("letter-service", letter=("unc", r"dav.%s@SSL\%s" % (DOMAIN, USER)))
    check(c, "service", "drive.letter", "ok", r"is mapped to \\dav.%s@SSL\%s, the service folder" % (DOMAIN, USER))
    _, c, _ = doctor("letter-free-again")
    check(c, "free again", "drive.letter", "ok", LETTER + " is free")

    # --- settings: a value of the wrong type, a damaged one --------------------
    expect(reg("add", SETTINGS, "/v", "USER", "/t", "REG_DWORD", "/d", "5", "/f") == 0, "reg add USER")
    code, c, _ = doctor("settings-user-dword", "--online")
    check(c, "USER dword", "settings.USER", "problem", "unreadable: Invalid data type for 'USER'",
          'reg delete "%s" /v USER /f' % SETTINGS)
    check(c, "USER dword", "online.propfind", "skipped")
    expect(reg("add", SETTINGS, "/v", "PATHDRIVE", "/t", "REG_SZ", "/d", "/w==", "/f") == 0, "reg add PATHDRIVE")
    _, c, _ = doctor("settings-drive-damaged")
    check(c, "damaged", "settings.PATHDRIVE", "problem",
          "unreadable: No mapping for the Unicode character exists in the target multi-byte code page")
    save(PASSWORD)

    # --- online, against real servers on this machine ---------------------------
    os.makedirs(os.path.join(work, "dav", USER))
    # Before the server starts: it keeps its listings for minutes.
    with open(os.path.join(work, "dav", USER, "big file.bin"), "wb") as f:
        f.write(bytes(2000))
    with open(os.path.join(work, "dav", USER, "small.txt"), "wb") as f:
        f.write(b"small")
    rclone, base = start_rclone(work)
    servers.append(lambda: (rclone.terminate(), rclone.wait(10)))
    url = {"QLX_DOCTOR_SERVICE_URL": base}
    code, c, seconds = doctor("online-207", "--online", env=url)
    # The README's figure: the whole online part against a healthy local server.
    print("online run against rclone: %.2f s, Wine's start included" % seconds)
    check(c, "207", "online.propfind", "ok",
          "PROPFIND %s%s as %s@%s: 207, the folder answers and the password is accepted" % (base, USER, USER, DOMAIN))
    expect(code == 0, "online 207: exit %d" % code)
    for id_ in ("online.root", "online.options", "online.path", "online.auth", "online.folder"):
        check(c, "207", id_, "ok")
    check(c, "207", "online.options", "ok", 'DAV "1, 2"')
    # The listing against lowered limits: a file over the size limit named,
    # then a listing longer than its limit, read no further.
    expect(reg("add", PARAMETERS, "/v", "FileSizeLimitInBytes", "/t", "REG_DWORD", "/d", "1000", "/f") == 0,
           "reg add FileSizeLimitInBytes")
    _, c, _ = doctor("online-file-over-limit", "--online", env=url)
    check(c, "over limit", "online.folder", "warning", "2 entries", "FileSizeLimitInBytes")
    check(c, "over limit", "online.folder", "warning", "so they cannot be copied: big file.bin (2,000 bytes)")
    expect(reg("add", PARAMETERS, "/v", "FileAttributesLimitInBytes", "/t", "REG_DWORD", "/d", "300", "/f") == 0,
           "reg add FileAttributesLimitInBytes")
    _, c, _ = doctor("online-listing-over-limit", "--online", env=url)
    check(c, "listing", "online.folder", "problem", "the listing is larger than FileAttributesLimitInBytes 300 bytes")
    expect(reg("delete", PARAMETERS, "/f") == 0, "reg delete the parameters")

    save(PASSWORD.upper())
    code, c, _ = doctor("online-401", "--online", env=url)
    check(c, "401", "online.propfind", "problem", ": 401, wrong user or password", "right user and password")
    check(c, "401", "online.auth", "ok", "401 offering Basic")
    expect(code == 1, "online 401: exit %d" % code)
    save(PASSWORD)

    plain = start_plain_server()
    servers.append(plain.shutdown)
    _, c, _ = doctor("online-not-webdav", "--online",
                     env={"QLX_DOCTOR_SERVICE_URL": "http://127.0.0.1:%d/" % plain.server_address[1]})
    check(c, "plain", "online.propfind", "problem", ": 501, the server does not speak WebDAV", "WebDAV service's address")
    check(c, "plain", "online.root", "problem", ": 501, an error at the root")

    port = unused_port()
    _, c, _ = doctor("online-refused", "--online", env={"QLX_DOCTOR_SERVICE_URL": "http://127.0.0.1:%d/" % port})
    check(c, "refused", "online.root", "problem", "the connection to 127.0.0.1:%d was refused" % port)
    # Nothing more is sent once the connection failed; each later check says why.
    check(c, "refused", "online.propfind", "skipped", "the connection to 127.0.0.1:%d was refused" % port)

    tls = start_tls_server(work)
    servers.append(tls.shutdown)
    _, c, _ = doctor("online-tls-untrusted", "--online",
                     env={"QLX_DOCTOR_SERVICE_URL": "https://127.0.0.1:%d/" % tls.server_address[1]})
    check(c, "tls", "online.root", "problem", "the certificate's issuer is not trusted", "trusted by Windows")
    check(c, "tls", "online.propfind", "skipped", "not trusted")

    listener, held = start_silent_server()
    servers.append(listener.close)
    silent = {"QLX_DOCTOR_SERVICE_URL": "http://127.0.0.1:%d/" % listener.getsockname()[1],
              "QLX_DOCTOR_TIMEOUT_MS": "2000"}
    _, c, seconds = doctor("online-never-answers", "--online", env=silent)
    check(c, "silent", "online.root", "problem", "no answer within 2 s", "proxy and firewall")
    check(c, "silent", "online.propfind", "skipped", "time limit")
    # The bound holds: the whole run (Wine's start included) well inside 15 s.
    expect(2.0 <= seconds < 10.0, "the silent server's run took %.1f s" % seconds)
    expect(len(held) >= 1, "the silent server saw no connection")
    print("silent server: the doctor gave up after %.1f s (bound 2 s)" % seconds)

    # --- the password is in no output -----------------------------------------------
    import base64
    pair = base64.b64encode(("%s@%s:%s" % (USER, DOMAIN, PASSWORD)).encode("utf-8"))
    for name, out in outputs:
        for secret in (PASSWORD.encode("utf-8"), PASSWORD.upper().encode("utf-8"), b"Sgr3t0", pair):
            expect(secret not in out, "%s: the output holds %r" % (name, secret))
    expect(len(outputs) == 2 * counter[0], "outputs collected")


main()
print("%d doctor runs, transcripts in %s" % (counter[0], OUT))
if failures:
    print("%d check(s) failed" % len(failures), file=sys.stderr)
    sys.exit(1)
print("all doctor checks passed")
