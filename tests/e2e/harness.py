"""The bench for end-to-end runs of QLXDrive.exe under Wine.

One `Bench` per test module: a private Xvfb, a Wine prefix with the
stand-ins of net.exe and explorer.exe installed, one wineserver kept alive
for the module, and a persistent probe (probe.exe) that reports windows,
processes, registry values and focus as JSON. Mouse and keyboard go through
xdotool, screenshots through ImageMagick's `import`.

Every wait is for a condition with a deadline (`wait_for`); the deadlines
scale with QLX_E2E_TIME_SCALE for slow machines. Standard library only.
"""

import ctypes
import dataclasses
import json
import os
import random
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

# The Wine that runs this preset's exes: the host's wine64 for the x86_64
# build, scripts/wine10 (Wine 10's WoW64 in its own root) for the i686 one.
WINE = os.environ.get("QLX_WINE") or "/usr/lib/wine/wine64"
WINESERVER = os.environ.get("QLX_WINESERVER") or "/usr/lib/wine/wineserver"
SETTINGS_KEY = r"Software\PELMORA\QLXDrive"
RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"
DESKTOP_KEY = r"Control Panel\Desktop"
PROGRAM_DIR = r"C:\Program Files\QLXDrive"  # a blank in the path, as installations have
DRIVE = "Q:"  # Z: is Wine's own mapping of /

TIME_SCALE = float(os.environ.get("QLX_E2E_TIME_SCALE", "1"))
# Wine's tray shows a balloon about two seconds after the program asks for
# it: a look for a balloon that must NOT come lasts longer than that.
QUIET_SECONDS = 3.5

# Window styles the checks read.
WS_CAPTION = 0x00C00000
WS_SYSMENU = 0x00080000
WS_THICKFRAME = 0x00040000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_BORDER = 0x00800000
WS_EX_CLIENTEDGE = 0x00000200
WS_EX_STATICEDGE = 0x00020000
BS_TYPEMASK = 0x000F
BS_DEFPUSHBUTTON = 0x0001
BS_CHECKBOX = 0x0002
BS_AUTOCHECKBOX = 0x0003
BS_LEFTTEXT = 0x0020
CBS_TYPEMASK = 0x0003
CBS_DROPDOWN = 0x0002
SS_TYPEMASK = 0x001F
SS_ICON = 0x0003
TTS_BALLOON = 0x0040


def env_path(name):
    value = os.environ.get(name)
    if not value:
        raise RuntimeError(f"{name} is not set (CTest sets it; see tests/e2e/CMakeLists.txt)")
    return value


def scaled(seconds):
    return seconds * TIME_SCALE


class Timeout(AssertionError):
    pass


def wait_for(what, predicate, timeout=20.0, interval=0.1):
    """Polls `predicate` until it gives a true value, which is returned."""
    deadline = time.monotonic() + scaled(timeout)
    last = None
    while True:
        last = predicate()
        if last:
            return last
        if time.monotonic() > deadline:
            raise Timeout(f"timed out after {scaled(timeout):.1f}s waiting for {what} (last seen: {last!r})")
        time.sleep(interval)


def holds_for(what, predicate, seconds, interval=0.1):
    """Asserts that `predicate` stays true for `seconds`: the way to show
    that something does NOT happen once the program is known to be idle."""
    deadline = time.monotonic() + scaled(seconds)
    while time.monotonic() < deadline:
        value = predicate()
        if not value:
            raise AssertionError(f"{what} stopped holding")
        time.sleep(interval)


def argument(text):
    """One word of a Windows command line as the program writes it: as it
    is when it holds no blank, tab or quote; otherwise quoted so that the
    usual parser (CommandLineToArgvW) gives it back, backslashes doubled
    only where a quote follows them."""
    if not any(c in text for c in ' \t"'):
        return text
    word = '"'
    backslashes = 0
    for c in text:
        if c == "\\":
            backslashes += 1
            continue
        word += "\\" * (backslashes * 2 + 1 if c == '"' else backslashes) + c
        backslashes = 0
    return word + "\\" * (backslashes * 2) + '"'


def windows_path(unix_path):
    """Wine's Z: is the Unix root."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def install_system_exe(prefix, exe, name):
    """Puts `exe` in the prefix's system folder as `name`. A 32-bit
    program's system32 is SysWOW64 (the file system redirection of WoW64),
    so a prefix that has one gets a copy there too."""
    windows = os.path.join(prefix, "drive_c", "windows")
    for folder in ("system32", "syswow64"):
        if folder == "system32" or os.path.isdir(os.path.join(windows, folder)):
            shutil.copyfile(exe, os.path.join(windows, folder, name))


# ------------------------------------------------------------------ Xvfb


def die_with_parent():
    """In a child before exec: SIGTERM when the test process dies, so that
    a test killed on its time limit leaves no X server behind."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)



def read_line(fd, timeout):
    """The first line written to a pipe. Xvfb writes its display number and
    the line feed separately, and dies if the pipe is gone in between."""
    deadline = time.monotonic() + timeout
    data = b""
    while b"\n" not in data:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            break
        chunk = os.read(fd, 64)
        if not chunk:
            break
        data += chunk
    return data.decode(errors="replace").strip()


class Xvfb:
    """A private X server. Other Xvfb servers on the machine may live in
    another /tmp, where their lock files cannot be seen: the display number
    is picked at random from a range few use, and a server that loses its
    display to another one is replaced."""

    def __init__(self, size="1280x1024x24"):
        self.process = None
        failures = []
        for _ in range(20):
            number = random.randint(200, 4000)
            read_end, write_end = os.pipe()
            with tempfile.TemporaryFile() as log:
                process = subprocess.Popen(
                    ["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen", "0", size, "-nolisten", "tcp",
                     "-noreset"], pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                    preexec_fn=die_with_parent)
                os.close(write_end)
                told = read_line(read_end, 30)
                os.close(read_end)
                self.process = process
                self.display = f":{number}"
                if told == str(number) and self.answers() and self.italian_keyboard():
                    return
                self.stop()
                log.seek(0)
                failures.append(f":{number} said {told!r}: {log.read()[-300:]!r}")
        raise RuntimeError("no Xvfb display could be started: " + "; ".join(failures[-3:]))

    def italian_keyboard(self):
        """The program's users type on Italian keyboards: accented letters
        such as à, è, ò are then keys of their own, which xdotool types
        directly. A character missing from the keymap makes xdotool remap
        a spare key for a moment, and Wine may read the key after the
        mapping is gone (letters lost or in the wrong case)."""
        return subprocess.run(["setxkbmap", "-display", self.display, "it"], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0

    def answers(self):
        """The server is ours and takes requests."""
        if self.process.poll() is not None:
            return False
        probe = subprocess.run(["xdotool", "getdisplaygeometry"], env=dict(os.environ, DISPLAY=self.display),
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return probe.returncode == 0 and self.process.poll() is None

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


# ------------------------------------------------------------------ probe


class Probe:
    """probe.exe kept running: one command line in, one JSON line out."""

    def __init__(self, exe, env, log_path):
        self.log = open(log_path, "ab")
        self.process = subprocess.Popen([WINE, exe], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=self.log)
        self.buffer = b""

    def ask(self, *words, timeout=30.0):
        line = "\t".join(str(w) for w in words) + "\n"
        self.process.stdin.write(line.encode("utf-8"))
        self.process.stdin.flush()
        deadline = time.monotonic() + scaled(timeout)
        fd = self.process.stdout.fileno()
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Timeout(f"the probe did not answer {words!r}")
            ready, _, _ = select.select([fd], [], [], left)
            if ready:
                chunk = os.read(fd, 1 << 20)
                if not chunk:
                    raise RuntimeError(f"the probe ended while answering {words!r}")
                self.buffer += chunk
        answer, self.buffer = self.buffer.split(b"\n", 1)
        result = json.loads(answer.decode("ascii"))
        if isinstance(result, dict) and "error" in result:
            raise RuntimeError(f"probe {words!r}: {result['error']}")
        return result

    def close(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write(b"quit\n")
                self.process.stdin.flush()
                self.process.wait(10)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
        self.log.close()


# -------------------------------------------------------------- stand-ins


@dataclasses.dataclass(frozen=True)
class NetRun:
    ms: int  # Unix time of the line, written as net.exe ends
    code: str  # its exit code, or "hang" for a run that never ends
    command: str  # its command line as the system gave it

    @staticmethod
    def parse(line):
        ms, code, command = line.split(" ", 2)
        return NetRun(int(ms), code, command)


class Standins:
    """The folder that net.exe and explorer.exe report into and take their
    orders from (QLX_STANDIN_DIR)."""

    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.windows = windows_path(folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def reset(self):
        for name in ("net.log", "net-startup.log", "explorer.log", "net-exit.txt", "net-hang.txt",
                     "net-nodrive.txt", "net-ask.txt", "net-answers.log"):
            if os.path.exists(self.path(name)):
                os.remove(self.path(name))

    def net_exit(self, code):
        with open(self.path("net-exit.txt"), "w") as f:
            f.write(f"{code}\n")

    def net_ask(self):
        """From now on a /DELETE of a drive that exists asks on its console
        (as with files open on it) and reads the answer from its input."""
        open(self.path("net-ask.txt"), "w").close()

    def net_answers(self):
        """The answers net.exe read to its questions ("<eof>": end of input)."""
        return self._lines("net-answers.log")

    def _lines(self, name):
        try:
            with open(self.path(name), "rb") as f:
                data = f.read().decode("utf-8")
        except FileNotFoundError:
            return []
        # A line being written has no line feed yet.
        return [line for line in data.split("\n")[:-1] if line]

    def net_runs(self):
        return [NetRun.parse(line) for line in self._lines("net.log")]

    def net_startups(self):
        """(dwFlags, wShowWindow) of each net.exe run's STARTUPINFO."""
        return [(int(flags, 16), int(show)) for flags, show in (line.split() for line in
                                                                 self._lines("net-startup.log"))]

    def explorer_runs(self):
        runs = []
        for line in self._lines("explorer.log"):
            ms, command = line.split(" ", 1)
            runs.append((int(ms), command))
        return runs


# --------------------------------------------------------------- program


class Program:
    """One running copy: the wine64 process (whose exit status is the
    program's exit code) and its Windows process id."""

    def __init__(self, bench, popen, pid, exe_name, started):
        self.bench = bench
        self.popen = popen
        self.pid = pid
        self.exe_name = exe_name
        self.started = started  # time.monotonic() just before it was started

    def alive(self):
        return self.popen.poll() is None

    def wait_exit(self, timeout=20.0):
        try:
            return self.popen.wait(scaled(timeout))
        except subprocess.TimeoutExpired:
            raise Timeout(f"{self.exe_name} (pid {self.pid}) did not end within {scaled(timeout):.0f}s")

    def windows(self):
        return [w for w in self.bench.windows() if w["pid"] == self.pid]

    def window(self, cls):
        found = [w for w in self.windows() if w["class"] == cls]
        return found[0] if found else None

    def visible_windows(self):
        return [w for w in self.windows() if w["visible"]]

    def idle(self, timeout_ms=200):
        """True when the program's UI thread takes messages right now."""
        tray = self.window("QLXDriveTray")
        return bool(tray) and self.bench.probe.ask("ping", tray["hwnd"], timeout_ms)["ok"]

    def wait_idle(self, what="the program to take messages", timeout=30.0):
        wait_for(what, self.idle, timeout)

    def kill(self):
        if self.alive():
            self.popen.kill()
            self.popen.wait()


# ----------------------------------------------------------------- bench


class Bench:
    def __init__(self, name):
        self.name = name
        self.build = env_path("QLX_E2E_BUILD")
        self.prefix = env_path("QLX_E2E_PREFIX")
        self.program_exe = env_path("QLX_E2E_PROGRAM")
        self.qlxctl_exe = env_path("QLX_E2E_QLXCTL")
        self.probe_exe = env_path("QLX_E2E_PROBE")
        self.net_exe = env_path("QLX_E2E_NET")
        self.explorer_exe = env_path("QLX_E2E_EXPLORER")
        self.service_url = env_path("QLX_SERVICE_BASE_URL")
        self.account_domain = env_path("QLX_ACCOUNT_DOMAIN")
        self.shots = os.path.join(self.build, "tests", "e2e", "screenshots")
        os.makedirs(self.shots, exist_ok=True)
        for old in os.listdir(self.shots):  # pictures of an earlier run's failures
            if old.startswith(f"FAILED-test_{name}."):
                os.remove(os.path.join(self.shots, old))
        self.work = tempfile.mkdtemp(prefix=f"qlx-e2e-{name}-")
        self.standins = Standins(os.path.join(self.work, "standin"))
        self.programs = []
        self.xvfb = None
        self.probe = None
        self.server_up = False
        try:
            self._start()
        except BaseException:
            self.close()
            raise

    # -------------------------------------------------------- set-up

    def _env(self, extra=None):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": self.prefix,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=;net.exe=n;explorer.exe=n,b",
            "DISPLAY": self.xvfb.display,
            "QLX_STANDIN_DIR": self.standins.windows,
            "LC_ALL": "C.UTF-8",
        })
        env.update(extra or {})
        return env

    def _start(self):
        if not os.path.isfile(os.path.join(self.prefix, "system.reg")):
            raise RuntimeError(f"no Wine prefix at {self.prefix} (the e2e.prefix test makes it)")
        self.xvfb = Xvfb()
        self.server_up = True
        self._server("-k")  # what a module killed on its time limit left behind
        self._server("-w")
        self._server("-p", check=True)
        drive_c = os.path.join(self.prefix, "drive_c")
        install_system_exe(self.prefix, self.net_exe, "net.exe")
        shutil.copyfile(self.explorer_exe, os.path.join(drive_c, "windows", "explorer.exe"))
        self.program_folder = os.path.join(drive_c, "Program Files", "QLXDrive")
        os.makedirs(self.program_folder, exist_ok=True)
        shutil.copyfile(self.program_exe, os.path.join(self.program_folder, "QLXDrive.exe"))
        # Wine's service processes and desktop start with the first program
        # and inherit its output: let that be a program writing to a file,
        # not the probe, whose output is a pipe.
        self.wine(["cmd", "/c", "exit"], timeout=120)
        self.probe = Probe(self.probe_exe, self._env(), os.path.join(self.work, "probe.err"))
        self.reset()

    def _server(self, option, check=False):
        subprocess.run([WINESERVER, option], env=self._env(), check=check, timeout=120, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        for program in self.programs:
            program.kill()
        if self.probe:
            self.probe.close()
        if self.server_up:
            self._server("-k")
            self._server("-w")
        if self.xvfb:
            self.xvfb.stop()
        shutil.rmtree(self.work, ignore_errors=True)

    def reset(self):
        """Between tests: no copy of the program, nothing stored, no drive."""
        for program in self.programs:
            if program.alive():
                program.kill()
        self.programs = []
        wait_for("no QLXDrive process left", lambda: not self.program_pids(), 20)
        self.probe.ask("delete-key", SETTINGS_KEY)
        self.probe.ask("delete-value", RUN_KEY, "QLXDrive")
        self.standins.reset()
        while self.probe.ask("drives")["mask"] & self.drive_bit():
            self.probe.ask("undefine", DRIVE)
        wait_for("no balloon left on screen", lambda: not self.balloons(), 30)

    # ---------------------------------------------------------- Wine

    def wine(self, args, stdin_bytes=None, timeout=60.0, env=None):
        """Runs a Windows program to its end; its output goes through files
        (Wine's background processes may inherit it)."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            completed = subprocess.run([WINE] + list(args), input=stdin_bytes, stdout=out, stderr=err,
                                       env=env or self._env(), timeout=scaled(timeout),
                                       stdin=None if stdin_bytes is not None else subprocess.DEVNULL)
            out.seek(0)
            err.seek(0)
            return completed.returncode, out.read(), err.read()

    def program_path(self, name="QLXDrive.exe", folder=None):
        return (folder or PROGRAM_DIR) + "\\" + name

    def start_program(self, path=None, wait_tray=True):
        """Starts a copy and waits for its tray window to exist."""
        path = path or self.program_path()
        exe_name = path.rsplit("\\", 1)[-1]
        before = set(self.program_pids(exe_name))
        log = open(os.path.join(self.work, f"program-{len(self.programs)}.log"), "wb")
        started = time.monotonic()
        popen = subprocess.Popen([WINE, path], env=self._env(), stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        log.close()
        pid = wait_for(f"the process {exe_name}",
                       lambda: next(iter(set(self.program_pids(exe_name)) - before), None), 30)
        program = Program(self, popen, pid, exe_name, started)
        self.programs.append(program)
        if wait_tray:
            wait_for("the program's tray window", lambda: program.window("QLXDriveTray"), 30)
        return program

    def program_pids(self, exe_name="QLXDrive.exe"):
        return [p["pid"] for p in self.probe.ask("processes")["processes"] if p["exe"].lower() == exe_name.lower()]

    def processes(self):
        return self.probe.ask("processes")["processes"]

    def windows(self):
        return self.probe.ask("windows")["windows"]

    def balloons(self):
        """Visible balloons (tooltip windows of the balloon style)."""
        return [w for w in self.windows()
                if w["class"] == "tooltips_class32" and w["visible"] and w["style"] & TTS_BALLOON]

    def tooltips(self):
        return [w for w in self.windows()
                if w["class"] == "tooltips_class32" and w["visible"] and not w["style"] & TTS_BALLOON]

    def balloon(self, text):
        return next((w for w in self.balloons() if w.get("text") == text), None)

    def drive_bit(self, drive=DRIVE):
        return 1 << (ord(drive[0].upper()) - ord("A"))

    def drive_defined(self, drive=DRIVE):
        return bool(self.probe.ask("drives")["mask"] & self.drive_bit(drive))

    # ------------------------------------------------------- registry

    def registry(self):
        return self.probe.ask("registry")

    def stored(self):
        """The settings as qlxctl reads them back (protected values
        revealed): a dict such as {"PathDrive": "Q:", ...}."""
        code, out, err = self.wine([self.qlxctl_exe, "load", "--show-password"])
        if code != 0:
            raise AssertionError(f"qlxctl load failed ({code}): {err.decode('utf-8', 'replace')}")
        values = {}
        for line in out.decode("utf-8").replace("\r", "").split("\n"):
            if "=" in line:
                key, value = line.split("=", 1)
                values[key] = value
        return values

    def store(self, drive, user, password, autoconnect=False, autorun=False):
        """Stores settings with the product's own code (qlxctl save)."""
        args = [self.qlxctl_exe, "save", "--drive", drive, "--user", user,
                "--program", self.program_path()]
        if autoconnect:
            args.append("--autoconnect")
        if autorun:
            args.append("--autorun")
        code, _, err = self.wine(args, stdin_bytes=(password + "\n").encode("utf-8"))
        if code != 0:
            raise AssertionError(f"qlxctl save failed ({code}): {err.decode('utf-8', 'replace')}")

    def set_logpixels(self, dpi):
        """The prefix's DPI; takes effect for processes started after the
        next server restart."""
        if dpi is None:
            self.probe.ask("delete-value", DESKTOP_KEY, "LogPixels")
        else:
            self.probe.ask("set-dword", DESKTOP_KEY, "LogPixels", dpi)

    def restart_server(self):
        """A fresh wineserver: every Wine process (desktop included) starts
        again and reads the DPI anew; drive definitions are gone."""
        for program in self.programs:
            program.kill()
        self.programs = []
        self.probe.close()
        self._server("-k")
        self._server("-w")
        self._server("-p", check=True)
        self.wine(["cmd", "/c", "exit"], timeout=120)
        self.probe = Probe(self.probe_exe, self._env(), os.path.join(self.work, "probe.err"))

    # ------------------------------------------------- screen, input

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self._env(), check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def click(self, x, y, button=1):
        self.xdotool("mousemove", int(x), int(y))
        self.xdotool("click", button)

    def move(self, x, y):
        self.xdotool("mousemove", int(x), int(y))

    def keys(self, *names):
        """Keys go to the window under the pointer (there is no window
        manager to give an X window the focus)."""
        self.xdotool("key", "--delay", 60, *names)

    def keys_to(self, view, *names):
        """Keys for a dialog: the pointer is put over it first."""
        self.move(*view.free_spot())
        self.keys(*names)

    def type_text(self, text):
        self.xdotool("type", "--delay", 60, text)

    def screenshot(self, name, crop=None):
        """The whole screen, and a cropped copy when `crop` = (l, t, r, b)."""
        path = os.path.join(self.shots, name + ".png")
        subprocess.run(["import", "-window", "root", path], env=self._env(), check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if crop:
            l, t, r, b = (max(0, int(v)) for v in crop)
            subprocess.run(["convert", path, "-crop", f"{r - l}x{b - t}+{l}+{t}", "+repage",
                            os.path.join(self.shots, name + "-crop.png")], check=True,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def wait_drawn(self, rect, what, timeout=10.0):
        """Waits until a window's area is mostly painted: the bare X root
        is black, and a window is mapped and painted a little later than
        Windows reports it visible."""
        def drawn():
            pixels = self.pixels(rect)
            return sum(1 for p in pixels if p != (0, 0, 0)) > 0.8 * len(pixels)
        wait_for(f"{what} drawn on screen", drawn, timeout, 0.2)

    def pixels(self, rect):
        """RGB triples of a screen rectangle (l, t, r, b), straight from the
        X server."""
        l, t, r, b = rect
        out = subprocess.run(["import", "-window", "root", "-crop", f"{r - l}x{b - t}+{l}+{t}", "+repage",
                              "-depth", "8", "rgb:-"], env=self._env(), check=True, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        return [tuple(out[i:i + 3]) for i in range(0, len(out) - 2, 3)]

    # ------------------------------------------------- the tray

    # Wine's notification area on a display without a system tray of its
    # own: Wine 8's standalone tray ("Wine System Tray"), or Wine 10's
    # taskbar window, an untitled bar 160x20 (client area) at 96 DPI.
    TRAY_CLASSES = ("__winex11_standalone_tray", "Shell_TrayWnd")

    def tray_window(self):
        """The shown notification area, else a hidden one, else None."""
        found = [w for w in self.windows() if w["class"] in self.TRAY_CLASSES]
        found.sort(key=lambda w: (not w["visible"], self.TRAY_CLASSES.index(w["class"])))
        return found[0] if found else None

    def tray_cell(self, index):
        """Screen rectangle of the index-th icon of Wine's tray: square
        cells as high as its client area, left to right."""
        tray = wait_for("Wine's system tray window", lambda: (lambda w: w if w and w["visible"] else None)(
            self.tray_window()), 30)
        l, t, r, b = tray["client"]
        size = b - t
        return (l + index * size, t, l + (index + 1) * size, b)

    def icon_shown(self, index):
        """Whether the cell holds an icon: an empty cell is the tray's flat
        background, which also shows at the cell's corner, outside the
        16-pixel image."""
        tray = self.tray_window()
        if not tray or not tray["visible"]:
            return False
        pixels = self.pixels(self.tray_cell(index))
        return sum(1 for p in pixels if p != pixels[0]) >= 16

    def open_tray_menu(self, program, index=0):
        """Right-click on the program's icon; returns the menu window."""
        program.wait_idle("the program to answer before its menu opens")
        l, t, r, b = self.tray_cell(index)
        x, y = (l + r) // 2, (t + b) // 2
        self.click(x, y, button=3)
        menu = wait_for("the tray menu", lambda: next(
            (w for w in program.windows() if w["class"] == "#32768" and w["visible"]), None), 15)
        return menu, (x, y)

    # ------------------------------------------------- the dialog

    def dialog_window(self, program):
        return program.window("TfmDrive")

    def open_dialog(self, program, index=0):
        """"Parametri" from the tray menu; waits for the dialog on screen."""
        self.choose(program, "Parametri", index)
        window = wait_for("the dialog on screen", lambda: (lambda w: w if w and w["visible"] else None)(
            self.dialog_window(program)), 20)
        return DialogView(self, window["hwnd"])

    def wait_dialog_hidden(self, program, timeout=20.0):
        wait_for("the dialog to close", lambda: not (self.dialog_window(program) or {}).get("visible"), timeout)

    def click_control(self, view, name):
        if name == "DriveField" and "DriveField.edit" in view.names:
            name = "DriveField.edit"
        self.click(*view.screen_center(name))

    def close_button(self, window):
        """Centre of the caption's close button, from the frame's metrics."""
        l, t, r, b = window["rect"]
        frame = window["client"][0] - l
        caption = window["client"][1] - t - frame
        return r - frame - caption // 2 - 1, t + frame + caption // 2

    MENU_KEYS = {"Parametri": ["Down"], "Connetti": ["Down"] * 2, "Disconnetti": ["Down"] * 3,
                 "Esci": ["Down"] * 4}

    def choose(self, program, item, index=0):
        """Chooses a tray menu item with the keyboard, as a user would."""
        self.open_tray_menu(program, index)
        self.keys(*self.MENU_KEYS[item], "Return")
        wait_for("the tray menu to close", lambda: not program.alive() or not any(
            w["class"] == "#32768" and w["visible"] for w in program.windows()), 15)


# ---------------------------------------------------------------- dialog

# The dialog's controls, named as the C++ names its parts (DialogPart),
# found by kind and text (never by position: the positions are what the layout test checks).
BUTTON_NAMES = {"Connetti": "ConnectButton", "Applica": "ApplyButton", "Salva": "SaveButton",
                "Annulla": "CancelButton", "Esecuzione automatica": "AutoRunBox",
                "Connessione automatica": "AutoConnectBox"}
LABEL_NAMES = {"Utente:": "UserLabel", "Password:": "PasswordLabel", "Drive:": "DriveLabel"}


def shown(text):
    """A caption as it reads on screen: "&" marks the mnemonic letter and
    "&&" stands for one "&"."""
    return re.sub(r"&(.)", r"\1", text) if text is not None else None


def kind_of(control):
    cls = control["class"].lower()
    for kind in ("combo", "edit", "button", "static"):
        if kind in cls:
            return kind
    return cls


class DialogView:
    """One look at the parameters dialog (or any dialog-like window)."""

    def __init__(self, bench, hwnd):
        self.bench = bench
        self.hwnd = hwnd
        self.data = bench.probe.ask("dialog", hwnd)
        self.controls = self.data["controls"]
        self.by_hwnd = {c["hwnd"]: c for c in self.controls}
        self.names = {}
        combos = {c["hwnd"] for c in self.controls if kind_of(c) == "combo"}
        for c in self.controls:
            kind = kind_of(c)
            text = c.get("text")
            if kind == "combo":
                self._name("DriveField", c)
            elif kind == "edit" and c["parent"] in combos:
                self._name("DriveField.edit", c)
            elif kind == "edit":
                self._name("PasswordField" if c["password"] else "UserField", c)
            elif kind == "button" and text in BUTTON_NAMES:
                self._name(BUTTON_NAMES[text], c)
            elif kind == "static" and text in LABEL_NAMES:
                self._name(LABEL_NAMES[text], c)
        if "SaveButton" in self.names and self.names["SaveButton"]["parent"] != hwnd:
            self._name("ButtonPanel", self.by_hwnd.get(self.names["SaveButton"]["parent"]))

    def _name(self, name, control):
        if control is None:
            return
        if name in self.names and self.names[name]["hwnd"] != control["hwnd"]:
            raise AssertionError(f"two controls look like {name}: {self.names[name]} and {control}")
        self.names[name] = control

    def __getitem__(self, name):
        if name not in self.names:
            raise AssertionError(f"the dialog has no control like {name}; it has {self.describe()}")
        return self.names[name]

    def describe(self):
        return [(c["class"], c.get("text"), c["rect"]) for c in self.controls]

    def name_of(self, hwnd):
        for name, control in self.names.items():
            if control["hwnd"] == hwnd:
                return "DriveField" if name == "DriveField.edit" else name
        return f"<{hwnd}: {self.by_hwnd.get(hwnd, {}).get('class', 'not a child')}>"

    def focus(self):
        return self.name_of(self.data["focus"])

    def client_rect(self, name):
        """(left, top, width, height) relative to the dialog's client area."""
        return tuple(self[name]["rect"])

    def screen_center(self, name):
        left, top, width, height = self.client_rect(name)
        ox, oy = self.data["origin"]
        return ox + left + width // 2, oy + top + height // 2

    def free_spot(self):
        """A point of the client area over no control (left of the check
        boxes, below the drive label), in screen coordinates."""
        scale = self.data["dpi"] / 96
        ox, oy = self.data["origin"]
        return ox + int(20 * scale), oy + int(130 * scale)

    def text(self, name):
        return self[name].get("text")

    def checked(self, name):
        return self[name].get("checked") == 1


# ------------------------------------------------------------ test cases

SUCCESS = "Connessione effettuata con successo"
FAILURE = "Errore nella connessione"


class BenchCase(unittest.TestCase):
    """A test on the module's bench, which each test starts clean."""

    bench = None

    def setUp(self):
        if BenchCase.bench is None:
            self.fail("no bench: the module's setUpModule did not start one")
        self.bench.reset()

    def run(self, result=None):
        # The state a failure leaves stays until the next test's reset:
        # keep a picture of it and what the stand-ins saw.
        counted = (lambda r: len(r.failures) + len(r.errors)) if result is not None else None
        before = counted(result) if counted else 0
        outcome = super().run(result)
        if counted and counted(result) > before and BenchCase.bench is not None:
            name = "FAILED-" + self.id()
            try:
                self.bench.screenshot(name)
                with open(os.path.join(self.bench.shots, name + ".txt"), "w") as f:
                    f.write("net.log: %r\nexplorer.log: %r\n" % (self.bench.standins.net_runs(),
                                                                   self.bench.standins.explorer_runs()))
                    f.write("windows: %s\n" % json.dumps(self.bench.windows(), indent=1))
            except Exception as error:  # the report of a failure must not hide it
                print(f"(no failure picture: {error})")
        return outcome

    # Expected command lines.
    def delete_line(self, drive=DRIVE):
        return f"NET USE {argument(drive)} /DELETE"

    def connect_line(self, drive, user, password):
        b = self.bench
        return (f"NET USE {argument(drive)} {argument(b.service_url + user)} {argument(password)} "
                f"/user:{argument(user + '@' + b.account_domain)} ")

    def wait_net_runs(self, count, timeout=30.0):
        return wait_for(f"{count} run(s) of net.exe", lambda: (lambda runs: runs if len(runs) >= count else None)(
            self.bench.standins.net_runs()), timeout)

    def wait_balloon(self, text, timeout=30.0):
        return wait_for(f"the balloon {text!r}", lambda: self.bench.balloon(text), timeout)

    def assert_explorer_on(self, drive, runs):
        self.assertEqual(len(runs), 1, f"Explorer launches: {runs}")
        command = runs[0][1]
        match = re.fullmatch(r'"?([^"]*?)"?\s+(\S+)\s*', command)
        self.assertIsNotNone(match, f"Explorer's command line: {command!r}")
        self.assertEqual(match.group(1).lower(), r"c:\windows\explorer.exe", command)
        self.assertEqual(match.group(2), drive, command)

    def type_into(self, view, name, text):
        """Clicks a field, empties it and types `text` (any characters)."""
        b = self.bench
        b.click_control(view, name)
        wait_for(f"{name} focused", lambda: DialogView(b, view.hwnd).focus() == name)
        b.keys("End", "shift+Home", "BackSpace")
        if text:
            b.type_text(text)

    def assert_quiet(self, program, seconds=QUIET_SECONDS):
        """No command, no Explorer, no balloon and no visible window of the
        program, for a while after the program is idle."""
        program.wait_idle()
        b = self.bench
        net, explorer = b.standins.net_runs(), b.standins.explorer_runs()
        deadline = time.monotonic() + scaled(seconds)
        while time.monotonic() < deadline:
            happened = {"net.exe runs": b.standins.net_runs()[len(net):],
                        "Explorer launches": b.standins.explorer_runs()[len(explorer):],
                        "balloons": [w.get("text") for w in b.balloons()],
                        "visible windows": [(w["class"], w["title"]) for w in program.visible_windows()]}
            happened = {what: seen for what, seen in happened.items() if seen}
            self.assertEqual(happened, {}, "the program was to stay quiet")
            time.sleep(0.1)


def start_bench(name):
    BenchCase.bench = Bench(name)


def stop_bench():
    if BenchCase.bench is not None:
        BenchCase.bench.close()
        BenchCase.bench = None


# ------------------------------------------------------- prefix set-up

def make_prefix(prefix):
    """A fresh prefix for the e2e suite alone (its own registry, stand-ins
    and DPI), with window frames drawn by Wine, as there is no window
    manager to draw them."""
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    xvfb = Xvfb()
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               DISPLAY=xvfb.display)
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    try:
        subprocess.run([WINE, "wineboot", "--init"], check=True, timeout=600, **quiet)
        subprocess.run([WINE, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated", "/d", "N",
                        "/f"], check=True, timeout=120, **quiet)
    finally:
        subprocess.run([WINESERVER, "-k"], timeout=60, **quiet)
        subprocess.run([WINESERVER, "-w"], timeout=120, **quiet)
        xvfb.stop()


def remove_prefix(prefix):
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                 env=dict(os.environ, WINEPREFIX=prefix))
    if os.path.isdir(prefix):
        subprocess.run([WINESERVER, "-k"], timeout=60, **quiet)
        shutil.rmtree(prefix, ignore_errors=True)


if __name__ == "__main__":
    import sys

    commands = {"make-prefix": make_prefix, "remove-prefix": remove_prefix}
    if len(sys.argv) != 3 or sys.argv[1] not in commands:
        sys.exit("usage: harness.py make-prefix|remove-prefix DIR")
    commands[sys.argv[1]](sys.argv[2])
