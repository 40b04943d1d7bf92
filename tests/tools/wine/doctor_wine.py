#!/usr/bin/env python3
"""qlxctl doctor under Wine, against the throwaway prefix's real service
manager, registry, drive letters and WinHTTP, and real servers on 127.0.0.1:
rclone's WebDAV server (right and wrong password), a plain HTTP server, a
port nobody listens on and a server that accepts and never answers. The
online checks against Apache and the ways a service goes wrong are
doctor_online_wine.py's.

usage: doctor_wine.py QLXCTL_EXE FIXTURE_EXE WINE_RUN_SH OUTPUT_DIR

Every run's text output is kept in OUTPUT_DIR (NN-case.txt), so a failure
can be read as support staff would see it. Exits 1 when a check fails.
"""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from doctor_harness import (ACCOUNT, DOMAIN, FIXTURE, LETTER, PARAMETERS, PASSWORD, POLICIES, PREFIX, SETTINGS, USER,
                            check, doctor, expect, proxy_settings, reg, run, save, set_parameter, wine)
from doctor_servers import (start_plain_server, start_rclone, start_silent_server, start_special, stop_server,
                            throwaway_tls_context, unused_port)


def run_cases(work, undo):
    unc = os.path.join(PREFIX, "dosdevices", "unc")
    if not os.path.isdir(unc):
        undo.append(lambda: shutil.rmtree(unc, ignore_errors=True))
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
    set_parameter("BasicAuthLevel", "REG_DWORD", "0")
    set_parameter("FileSizeLimitInBytes", "REG_DWORD", "1000")
    set_parameter("FileAttributesLimitInBytes", "REG_DWORD", "5000000")
    set_parameter("SendReceiveTimeoutInSec", "REG_DWORD", "120")
    set_parameter("ServerNotFoundCacheLifeTimeInSec", "REG_SZ", "30")
    code, c, _ = doctor("parameters-set")
    check(c, "set", "webclient.BasicAuthLevel", "problem", "0: Basic authentication is off",
          'reg add "%s" /v BasicAuthLevel /t REG_DWORD /d 1 /f' % PARAMETERS)
    check(c, "set", "webclient.FileSizeLimitInBytes", "warning", "1,000 bytes: a larger file cannot be copied",
          "/v FileSizeLimitInBytes /t REG_DWORD /d 4294967295 /f")
    check(c, "set", "webclient.FileAttributesLimitInBytes", "ok", "5,000,000 bytes:")
    check(c, "set", "webclient.SendReceiveTimeoutInSec", "ok", "120 s")
    check(c, "set", "webclient.ServerNotFoundCacheLifeTimeInSec", "warning", "of type REG_SZ, not REG_DWORD")
    expect(code == 1, "parameters set: exit %d" % code)
    set_parameter("BasicAuthLevel", "REG_SZ", "2")
    set_parameter("ServerNotFoundCacheLifeTimeInSec", "REG_DWORD", "30")
    _, c, _ = doctor("parameters-types")
    check(c, "types", "webclient.BasicAuthLevel", "warning", "the value set is of type REG_SZ, not REG_DWORD")
    check(c, "types", "webclient.ServerNotFoundCacheLifeTimeInSec", "ok", "30 s")
    set_parameter("BasicAuthLevel", "REG_DWORD", "2")
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
    rclone, base = start_rclone(work, ACCOUNT, PASSWORD)
    undo.append(lambda: (rclone.terminate(), rclone.wait(10)))
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
    undo.append(lambda: stop_server(plain))
    _, c, _ = doctor("online-not-webdav", "--online",
                     env={"QLX_DOCTOR_SERVICE_URL": "http://127.0.0.1:%d/" % plain.server_address[1]})
    check(c, "plain", "online.propfind", "problem", ": 501, the server does not speak WebDAV", "WebDAV service's address")
    check(c, "plain", "online.root", "problem", ": 501, an error at the root")

    port = unused_port()
    _, c, _ = doctor("online-refused", "--online", env={"QLX_DOCTOR_SERVICE_URL": "http://127.0.0.1:%d/" % port})
    check(c, "refused", "online.root", "problem", "the connection to 127.0.0.1:%d was refused" % port)
    # Nothing more is sent once the connection failed; each later check says why.
    check(c, "refused", "online.propfind", "skipped", "the connection to 127.0.0.1:%d was refused" % port)

    tls = start_special("/", USER, throwaway_tls_context(work))
    undo.append(lambda: stop_server(tls))
    _, c, _ = doctor("online-tls-untrusted", "--online",
                     env={"QLX_DOCTOR_SERVICE_URL": "https://127.0.0.1:%d/" % tls.server_address[1]})
    check(c, "tls", "online.root", "problem", "the certificate's issuer is not trusted", "trusted by Windows")
    check(c, "tls", "online.propfind", "skipped", "not trusted")

    listener, held = start_silent_server()
    undo.append(listener.close)
    silent = {"QLX_DOCTOR_SERVICE_URL": "http://127.0.0.1:%d/" % listener.getsockname()[1],
              "QLX_DOCTOR_TIMEOUT_MS": "2000"}
    _, c, seconds = doctor("online-never-answers", "--online", env=silent)
    check(c, "silent", "online.root", "problem", "no answer within 2 s", "proxy and firewall")
    check(c, "silent", "online.propfind", "skipped", "time limit")
    # The bound holds: the whole run (Wine's start included) well inside 15 s.
    expect(2.0 <= seconds < 10.0, "the silent server's run took %.1f s" % seconds)
    expect(len(held) >= 1, "the silent server saw no connection")
    print("silent server: the doctor gave up after %.1f s (bound 2 s)" % seconds)


run(run_cases, [PASSWORD, PASSWORD.upper()])
