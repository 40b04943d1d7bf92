#!/usr/bin/env python3
"""qlxctl doctor --online under Wine against servers on 127.0.0.1 that
nobody here wrote, and against the ways a WebDAV service goes wrong that
only the server's side can show:

- Apache httpd with mod_dav and Basic authentication, the folder two levels
  deep (/dav/utenti/USER), reached through Apache's own slash redirect: 207
  with the right password, 401 with a wrong one, a file larger than a
  lowered FileSizeLimitInBytes, a listing larger than a lowered
  FileAttributesLimitInBytes;
- Python servers: a root answering 405 to OPTIONS, a parent answering 401,
  Digest only, a login page (200 and a 302 to it), a redirect to another
  port (whose server records that no credentials came), and TLS with a
  certificate the prefix does not trust.

usage: doctor_online_wine.py QLXCTL_EXE FIXTURE_EXE WINE_RUN_SH OUTPUT_DIR

Every run's text output is kept in OUTPUT_DIR (NN-case.txt); the Apache
run's is the one the README shows. Exits 1 when a check fails.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from doctor_harness import (ACCOUNT, FIXTURE, ONLINE_IDS, PARAMETERS, PASSWORD, QLXCTL, URL_VARIABLE, USER, check,
                            doctor_report, expect, online_all_ok, online_in_order, proxy_settings, reg, run, save,
                            set_parameter, wine)
from doctor_servers import Apache, ask, start_recorder, start_special, stop_server, throwaway_tls_context

SPECIAL_BASE = "/dav/utenti/"
BIG_FILE = "preventivo-2026.pdf"


def online(name, base_url, first_cause=None):
    """doctor --online against BASE_URL; returns (checks, order, seconds).
    FIRST_CAUSE: a part of the text's first cause line, the one support
    staff read first."""
    _, checks, seconds, order, causes = doctor_report(name, "--online", env={URL_VARIABLE: base_url})
    if first_cause is not None:
        expect(causes and first_cause in causes[0], "%s: the first cause is not %r: %s" % (name, first_cause, causes))
    return checks, order, seconds


def value_of(checks, id):
    return checks.get(id, {}).get("value", "")


def fixture_answers(what, url, method, status, header=None, part="", **kwargs):
    """The fixture itself, asked from the host, answers STATUS (and HEADER
    holds PART): a failure below is then the doctor's, not the server's."""
    got, headers = ask(url, method, **kwargs)
    expect(got == status and (header is None or part in headers.get(header, "")),
           "fixture %s: %s %s answers %d %s, expected %d %s: %s" % (what, method, url, got, header, status, part,
                                                                   headers.get(header)))


def benchmark(base_url, first):
    """The README's figure: the whole `doctor --online --json` run against
    the healthy Apache, Wine's process start included. Printed, not
    asserted: the machine's load is not the doctor's."""
    runs = [first]
    for _ in range(4):
        started = time.monotonic()
        wine(QLXCTL, "doctor", "--online", "--json", env={URL_VARIABLE: base_url})
        runs.append(time.monotonic() - started)
    runs.sort()
    print("benchmark: doctor --online against Apache, %d runs: median %.2f s, slowest %.2f s" % (
        len(runs), runs[len(runs) // 2], runs[-1]))


def apache_cases(work, undo):
    apache = Apache(work, USER, ACCOUNT, PASSWORD)
    undo.append(apache.stop)
    apache.put_file(BIG_FILE, 4096)
    folder = apache.base_url + USER
    root = apache.base_url.split("/dav/")[0] + "/"
    fixture_answers("Apache", folder, "PROPFIND", 301, "location", folder + "/", account=ACCOUNT, password=PASSWORD,
                    depth="0")
    fixture_answers("Apache", folder + "/", "PROPFIND", 207, account=ACCOUNT, password=PASSWORD, depth="0")
    fixture_answers("Apache", folder + "/", "PROPFIND", 401, "www-authenticate", "Basic", depth="0")
    fixture_answers("Apache", folder + "/", "OPTIONS", 200, "dav", "2", account=ACCOUNT, password=PASSWORD)
    fixture_answers("Apache", root, "OPTIONS", 200)

    c, order, seconds = online("apache-207", apache.base_url)
    online_all_ok("apache 207", c, order)
    check(c, "apache 207", "online.propfind", "ok", "207")
    benchmark(apache.base_url, seconds)
    # Apache's stock DirectorySlash: the folder without its slash is sent to
    # the slash form, and the doctor came through it.
    log = apache.access_log()
    path = SPECIAL_BASE + USER
    expect(any(line.startswith("PROPFIND %s " % path) and status == 301 for line, status, _ in log),
           "apache 207: Apache never answered 301 to %s: %s" % (path, log))
    expect(any(line.startswith("PROPFIND %s/ " % path) and status == 207 for line, status, _ in log),
           "apache 207: Apache never answered 207 to %s/: %s" % (path, log))

    save(PASSWORD.upper())
    c, order, _ = online("apache-401", apache.base_url, "wrong user or password")
    online_in_order("apache 401", order)
    check(c, "apache 401", "online.propfind", "problem", "401")
    expect("Basic" in value_of(c, "online.auth"), "apache 401: online.auth %r names no Basic" % c.get("online.auth"))
    # The parents refuse the same wrong password: that is no walk to ask
    # the service's administrators about.
    expect(c.get("online.path", {}).get("state") != "problem",
           "apache 401: a wrong password is blamed on the parents: %s" % c.get("online.path"))
    save(PASSWORD)

    set_parameter("FileSizeLimitInBytes", "REG_DWORD", "1000")
    c, _, _ = online("apache-file-over-limit", apache.base_url)
    check(c, "file over limit", "online.propfind", "ok", "207")
    check(c, "file over limit", "online.folder", "warning", BIG_FILE)
    expect(reg("delete", PARAMETERS, "/v", "FileSizeLimitInBytes", "/f") == 0, "reg delete FileSizeLimitInBytes")
    # Apache's listing of the folder and its one file is well over 1 KB.
    set_parameter("FileAttributesLimitInBytes", "REG_DWORD", "600")
    c, _, _ = online("apache-listing-over-limit", apache.base_url, "FileAttributesLimitInBytes")
    check(c, "listing over limit", "online.folder", "problem", "FileAttributesLimitInBytes")
    expect(reg("delete", PARAMETERS, "/v", "FileAttributesLimitInBytes", "/f") == 0,
           "reg delete FileAttributesLimitInBytes")
    expect(apache.process.poll() is None, "Apache ended during the run: %s" % apache.error_log())
    print("Apache's folder: %s" % folder)


def special_cases(work, undo):
    special = start_special(SPECIAL_BASE, USER)
    undo.append(lambda: stop_server(special))
    base = "http://127.0.0.1:%d%s" % (special.server_address[1], SPECIAL_BASE)

    c, order, _ = online("special-healthy", base)
    online_all_ok("special healthy", c, order)  # the fixture itself is sound

    root = base.split("/dav/")[0] + "/"
    special.mode = "root-405"
    fixture_answers("root-405", root, "OPTIONS", 405)
    c, _, _ = online("root-405", base, "root")
    check(c, "root 405", "online.root", "problem", "405")

    special.mode = "parent-401"
    fixture_answers("parent-401", base, "PROPFIND", 401, "www-authenticate", "Basic", depth="0")
    c, _, _ = online("parent-401", base, "parent")
    check(c, "parent 401", "online.path", "problem", "utenti")
    check(c, "parent 401", "online.path", "problem", "401")
    check(c, "parent 401", "online.propfind", "ok", "207")  # invisible from the folder's own answer

    special.mode = "digest"
    fixture_answers("digest", base + USER, "PROPFIND", 401, "www-authenticate", "Digest", depth="0")
    c, _, _ = online("digest-only", base, "Basic")
    check(c, "digest", "online.auth", "problem", "Digest")

    for mode in ("login-200", "login-302"):
        special.mode = mode
        fixture_answers(mode, base + USER, "PROPFIND", int(mode[-3:]), "content-type", "text/html", depth="0")
        c, _, _ = online(mode, base, "forms authentication")
        check(c, mode, "online.auth", "problem", "forms authentication")
        check(c, mode, "online.auth", "problem", "224")

    recorder = start_recorder()
    undo.append(lambda: stop_server(recorder))
    special.mode = "redirect"
    special.redirect_to = "http://127.0.0.1:%d%s%s/" % (recorder.server_address[1], SPECIAL_BASE, USER)
    fixture_answers("redirect", base + USER, "PROPFIND", 301, "location", special.redirect_to, depth="0")
    # The recorder keeps what it is sent, so its silence below means something.
    fixture_answers("recorder", special.redirect_to, "PROPFIND", 207, account=ACCOUNT, password="x", depth="0")
    expect([r[2] is not None for r in recorder.requests] == [True], "fixture recorder: %s" % recorder.requests)
    recorder.requests.clear()
    c, _, _ = online("redirect-elsewhere", base, "redirect")
    check(c, "redirect", "online.propfind", "problem", special.redirect_to)
    carried = [r for r in recorder.requests if r[2] is not None]
    expect(not carried, "redirect: credentials reached the other port: %s" % carried)
    special.mode = "healthy"


def tls_case(work, undo):
    tls = start_special(SPECIAL_BASE, USER, throwaway_tls_context(work))
    undo.append(lambda: stop_server(tls))
    c, order, _ = online("tls-untrusted", "https://127.0.0.1:%d%s" % (tls.server_address[1], SPECIAL_BASE))
    # Nothing can be learnt past an untrusted certificate: the first online
    # check says why, none is ok, and no request ever reached the server.
    online_in_order("tls", order)
    states = [(id, c[id]["state"]) for id in ONLINE_IDS if id in c]
    first = next((id for id, state in states if state != "skipped"), None)
    expect(first is not None and c[first]["state"] == "problem" and "not trusted" in c[first]["value"],
           "tls: the first online check does not say the certificate is not trusted: %s" % c.get(first))
    expect(all(state != "ok" for _, state in states), "tls: an online check is ok: %s" % states)
    expect(tls.handshakes, "tls: the server saw no connection")
    expect(not tls.requests, "tls: requests reached the untrusted server: %s" % tls.requests)


def run_cases(work, undo):
    # A manual WebClient, no proxy and a stored account: the offline part as
    # on a healthy machine, so only the online checks vary.
    expect(wine(FIXTURE, "service-create", "WebClient", "demand").returncode == 0, "service-create")
    expect(proxy_settings(1) == 0, "reg add DefaultConnectionSettings")
    save(PASSWORD)
    apache_cases(work, undo)
    special_cases(work, undo)
    tls_case(work, undo)


run(run_cases, [PASSWORD, PASSWORD.upper()])
