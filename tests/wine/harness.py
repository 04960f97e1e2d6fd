"""Runs Windows programs under Wine on a headless X server and drives their windows.

One Wine prefix per test run, under $VESPA_WINE_ROOT, booted once (wineboot -i) and reused by
every test script of the same run; one Xvfb per script on a free display; the UI driver
(vespa-uidriver.exe, see tests/wine/driver/uidriver_win32.cpp for its protocol) held open on
pipes so that a test can react to what the program shows. Nothing here waits without a
timeout, and the prefix's wineserver is ended when a session closes.

Environment (set by CMake for the tests): VESPA_WIN64_BIN (bin directory of the x86_64 build,
with vespa-uidriver.exe), VESPA_WIN32_BIN, VESPA_WINE_ROOT, VESPA_BIN (native bin:
vespa-mksfx, vespa-console), VESPA_SOURCE. VESPA_WINE_RUN names the run explicitly (the
default is the parent process, ctest, so that the scripts of one ctest run share a prefix).
VESPA_STUB_ARCH=i686 runs a script's stub tests on the i686 stub: they skip, with the reason,
unless a 32-bit Windows program of ours starts under this Wine (tried once per run).

A script with nothing it can run here exits 77 after one line "skipped: <reason>"; ctest lists
it as skipped and scripts/wine_coverage.py repeats the reason at the end of make check.
"""

import fcntl
import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SOURCE = os.environ.get("VESPA_SOURCE", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
WIN64_BIN = os.environ.get("VESPA_WIN64_BIN", os.path.join(SOURCE, "build", "win64", "bin"))
WIN32_BIN = os.environ.get("VESPA_WIN32_BIN", os.path.join(SOURCE, "build", "win32", "bin"))
NATIVE_BIN = os.environ.get("VESPA_BIN", os.path.join(SOURCE, "build", "native", "bin"))
WINE_ROOT = os.environ.get("VESPA_WINE_ROOT", os.path.join(SOURCE, "build", "wine"))

BOOT_TIMEOUT = 300
SCREEN_SIZE = "1024x768"
COMMAND_TIMEOUT = 60      # seconds a single driver command may take, its own wait included
WINDOW_TIMEOUT_MS = 30000  # how long a program may take to show a window

# Control ids the tests look for.
MESSAGE_BOX_TEXT = 0xFFFF  # the static control holding a message box's text
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
# Controls of the program's dialogs, whose labels also have id 0xFFFF: a window with one of
# these is not a message box. The main dialog's destination, the viewer's and the overwrite
# question's text, the password edit, the About box's title.
NOT_IN_MESSAGE_BOXES = (1007, 1004, 1005, 1140)


def _wine_loader():
    """The command that starts the Windows programs of the tests, and the variables it needs.
    The 64-bit loader itself where it is a program of its own: Debian's wine wrapper picks its
    32-bit loader whenever 32-bit Wine is installed, so that on a machine that cannot execute
    it no program would start, the x86_64 ones included. Wine starts a 32-bit program's own
    loader itself, as a 32-bit program's process needs."""
    for loader in (shutil.which("wine64"), "/usr/lib/wine/wine64"):
        if loader and os.access(loader, os.X_OK):
            # What the wrapper sets when it takes this loader: the path Wine derives the other
            # loader from.
            return [loader], {"WINELOADER": loader}
    return ["wine"], {}


WINE, _WINE_ENV = _wine_loader()


def _quiet_env(extra=None):
    env = dict(os.environ)
    env.update(_WINE_ENV)
    env.update({
        "WINEDEBUG": "-all",
        # No prompts to install the .NET or HTML engines while booting.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        # Unix file names in UTF-8, Windows texts in code page 1252.
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
    })
    env.pop("WINEARCH", None)
    if extra:
        env.update(extra)
    return env


def _process_start_time(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[19]
    except OSError:
        return None


def _run_id():
    explicit = os.environ.get("VESPA_WINE_RUN")
    if explicit:
        return explicit
    parent = os.getppid()
    return f"{parent}-{_process_start_time(parent)}"


def _run_alive(run_id):
    pid, _, start = run_id.partition("-")
    return pid.isdigit() and _process_start_time(int(pid)) == start


def have_wine():
    return shutil.which(WINE[0]) is not None and shutil.which("Xvfb") is not None


def _wine_installation():
    """What a booted prefix depends on: installing or removing 32-bit Wine adds or removes its
    loader beside the 64-bit one."""
    folder = os.path.dirname(os.path.realpath(shutil.which(WINE[0]) or WINE[0]))
    return "loaders=%s\n" % " ".join(sorted(n for n in ("wine", "wine64")
                                            if os.path.exists(os.path.join(folder, n))))


WINE32_ANSWER = "wine32-probe-"  # + the run's id
WINE32_PROBE = "vespa-uidriver.exe"  # of the i686 build: a console program that ends on "quit"
PROBE_TIMEOUT = 120


def _machine_cannot_run_32bit():
    """Why this machine runs no 32-bit program at all, or None: then no Wine is needed to know."""
    machine = subprocess.run([os.path.join(SOURCE, "scripts", "can_run_32bit.sh")],
                             capture_output=True, text=True, timeout=PROBE_TIMEOUT)
    if machine.returncode != 0:
        return machine.stdout.strip() or machine.stderr.strip()
    return None


def _probe_wine32(env):
    """None where a 32-bit Windows program of ours starts under this Wine, else why not."""
    program = os.path.join(WIN32_BIN, WINE32_PROBE)
    if not os.path.exists(program):
        raise AssertionError("the i686 build is missing: " + program)
    try:
        # Started as the tests start the i686 stub: from the 64-bit side, Wine finding the
        # program's own loader.
        result = subprocess.run(WINE + [program], env=env, input=b"quit\n", capture_output=True,
                                timeout=PROBE_TIMEOUT)
    except subprocess.TimeoutExpired:
        return f"the i686 {WINE32_PROBE} did not end within {PROBE_TIMEOUT} s under this Wine"
    if result.returncode == 0:
        return None
    said = (result.stderr + result.stdout).decode("latin-1").strip().splitlines()
    return (f"a 32-bit Windows program does not start under this Wine (the i686 {WINE32_PROBE}: "
            f"exit {result.returncode}" + (": " + said[0] if said else "") + ")")


def wine32_unavailable(session=None):
    """None where 32-bit Windows programs start under this Wine, else the reason. Tried once per
    run, by the first script that asks (in session, or in a session of its own); the answer is
    kept beside the run's prefix. The scripts of a run follow one another (RUN_SERIAL)."""
    answer = os.path.join(WINE_ROOT, WINE32_ANSWER + _run_id())
    if os.path.exists(answer):
        with open(answer) as f:
            return f.read() or None
    reason = _machine_cannot_run_32bit()
    if reason is None and session:
        reason = _probe_wine32(session.env)
    elif reason is None:
        with WineSession() as own:
            reason = _probe_wine32(own.env)
    os.makedirs(WINE_ROOT, exist_ok=True)
    with open(answer + ".new", "w") as f:
        f.write(reason or "")
    os.replace(answer + ".new", answer)
    return reason


def windows_path(path):
    """The Windows name of a Unix path: Wine maps the Unix root to drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# --- escapes of the driver protocol ------------------------------------------------------
def escape(text):
    """Text (str, shown in code page 1252, or bytes) as a driver argument."""
    data = text.encode("cp1252") if isinstance(text, str) else text
    out = []
    for b in data:
        if b == 0x5C:
            out.append("\\\\")
        elif b == 0x0A:
            out.append("\\n")
        elif b == 0x0D:
            out.append("\\r")
        elif b == 0x09:
            out.append("\\t")
        elif b < 0x20 or b > 0x7E:
            out.append("\\x%02X" % b)
        else:
            out.append(chr(b))
    return "".join(out)


def unescape(text):
    """A driver answer's text as bytes."""
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x" and i + 4 <= len(text):
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out.extend({"n": b"\n", "r": b"\r", "t": b"\t"}.get(n, n.encode("latin-1")))
            i += 2
            continue
        out.extend(c.encode("latin-1"))
        i += 1
    return bytes(out)


def decode(text):
    """A driver answer's text as the user reads it."""
    return unescape(text).decode("cp1252")


# --- the prefix --------------------------------------------------------------------------
def prepare_prefix(display_env):
    """The booted prefix of this run: created and booted on first use, reused afterwards."""
    os.makedirs(WINE_ROOT, exist_ok=True)
    run_id = _run_id()
    prefix = os.path.join(WINE_ROOT, "prefix-" + run_id)
    with open(os.path.join(WINE_ROOT, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        # A prefix booted before 32-bit Wine was installed (or removed) no longer starts
        # programs: the marker names the Wine it was booted with.
        marker = os.path.join(prefix, ".booted")
        wine_kind = _wine_installation() + "floppy=a\n"
        if os.path.exists(marker):
            with open(marker) as f:
                if wine_kind in f.read():
                    return prefix
        # Prefixes and probe answers of runs that are over are never used again.
        for name in os.listdir(WINE_ROOT):
            for kind in ("prefix-", WINE32_ANSWER):
                if (name.startswith(kind) and name != kind + run_id
                        and not _run_alive(name[len(kind):])):
                    path = os.path.join(WINE_ROOT, name)
                    if os.path.isdir(path):
                        shutil.rmtree(path, ignore_errors=True)
                    else:
                        os.unlink(path)
        shutil.rmtree(prefix, ignore_errors=True)
        env = _quiet_env(dict(display_env, WINEPREFIX=prefix))
        subprocess.run(WINE + ["wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=BOOT_TIMEOUT, check=True)
        # A virtual desktop: without a window manager on the X server, windows would have no
        # title bars; inside Wine's own desktop window they are drawn as on Windows.
        for key, value, data in ((r"HKCU\Software\Wine\Explorer", "Desktop", "Default"),
                                 (r"HKCU\Software\Wine\Explorer\Desktops", "Default", SCREEN_SIZE)):
            subprocess.run(WINE + ["reg", "add", key, "/v", value, "/d", data, "/f"], env=env,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=BOOT_TIMEOUT, check=True)
        # Drive A: is a floppy-type drive over a folder of the prefix: tests insert a disk by
        # filling the folder and writing the label file at its root (see FloppyDrive).
        os.makedirs(os.path.join(prefix, FLOPPY_FOLDER), exist_ok=True)
        drive_a = os.path.join(prefix, "dosdevices", "a:")
        if os.path.lexists(drive_a):
            os.unlink(drive_a)
        os.symlink(os.path.join("..", FLOPPY_FOLDER), drive_a)
        subprocess.run(WINE + ["reg", "add", r"HKLM\Software\Wine\Drives", "/v", "a:", "/d",
                        "floppy", "/f"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=BOOT_TIMEOUT, check=True)
        # The desktop mode and the drive types are read when the wineserver starts: end this one.
        subprocess.run(["wineserver", "-k"], env=env, timeout=BOOT_TIMEOUT, check=False)
        subprocess.run(["wineserver", "-w"], env=env, timeout=BOOT_TIMEOUT, check=False)
        with open(marker, "w") as f:
            f.write(time.strftime("%Y-%m-%d %H:%M:%S\n") + wine_kind)
        return prefix


FLOPPY_FOLDER = "floppy-a"
FLOPPY_LABEL_FILE = ".windows-label"


class FloppyDrive:
    """Drive A: of the prefix, a floppy-type drive over a folder. Inserting a disk replaces the
    folder's files (unlinked, never overwritten: a program started from the drive keeps its own
    file) and the volume label."""

    def __init__(self, prefix):
        self.root = os.path.join(prefix, FLOPPY_FOLDER)

    def eject(self):
        for name in os.listdir(self.root):
            path = os.path.join(self.root, name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.unlink(path)

    def insert(self, folder, label=None):
        """A disk holding the files of folder; its label is label, else the first line of the
        folder's LABEL.TXT, else none."""
        self.eject()
        for name in os.listdir(folder):
            source = os.path.join(folder, name)
            if os.path.isdir(source):
                shutil.copytree(source, os.path.join(self.root, name))
            else:
                shutil.copy(source, os.path.join(self.root, name))
        if label is None and os.path.exists(os.path.join(folder, "LABEL.TXT")):
            with open(os.path.join(folder, "LABEL.TXT"), encoding="cp1252") as f:
                label = f.readline().strip()
        if label is not None:
            self.insert_label(label)

    def insert_label(self, label):
        with open(os.path.join(self.root, FLOPPY_LABEL_FILE), "w", encoding="cp1252") as f:
            f.write(label + "\n")


class Xvfb:
    """A headless X server on a display it picks itself."""

    def __init__(self, size=SCREEN_SIZE + "x24"):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size, "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.time() + 30
        while not number.endswith(b"\n"):
            if time.time() > deadline:
                self.close()
                raise RuntimeError("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                self.close()
                raise RuntimeError("Xvfb ended before naming its display")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)


class DriverError(Exception):
    pass


class Window:
    """What the driver reports of one window: its caption and its controls."""

    def __init__(self, caption, controls, texts):
        self.caption = caption
        self.controls = controls  # id -> Control (labels share id 0xFFFF: the last one)
        self.texts = texts  # the text of every control, labels included

    def __repr__(self):
        return f"Window({self.caption!r}, {len(self.controls)} controls)"


class Control:
    def __init__(self, cid, cls, flags, text):
        self.id = cid
        self.cls = cls
        self.visible = flags[0] == "v"
        self.enabled = flags[1] == "e"
        self.checked = flags[2] == "c"
        self.text = text

    def __repr__(self):
        return f"Control({self.id}, {self.cls}, {self.text!r})"


class Driver:
    """vespa-uidriver.exe under Wine, held open on pipes: one command, one answer."""

    def __init__(self, session):
        self.session = session
        self.process = subprocess.Popen(
            WINE + [os.path.join(WIN64_BIN, "vespa-uidriver.exe")], env=session.env,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            start_new_session=True)
        self.launched = False
        self.lines = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for raw in self.process.stdout:
            self.lines.put(raw.decode("latin-1").rstrip("\r\n"))
        self.lines.put(None)

    def command(self, line, timeout=COMMAND_TIMEOUT):
        """Sends one command; returns its data lines or raises DriverError with the reason."""
        if self.process.poll() is not None:
            raise DriverError("the driver has ended")
        self.process.stdin.write((line + "\n").encode("latin-1"))
        self.process.stdin.flush()
        data = []
        deadline = time.time() + timeout
        while True:
            remaining = deadline - time.time()
            try:
                answer = self.lines.get(timeout=max(remaining, 0.01))
            except queue.Empty:
                raise DriverError(f"no answer to {line!r} within {timeout} s")
            if answer is None:
                raise DriverError(f"the driver ended during {line!r}")
            if answer == "ok":
                return data
            if answer.startswith("error"):
                raise DriverError(f"{line!r}: {answer[6:]}")
            data.append(answer)

    @staticmethod
    def _value(lines, key):
        for line in lines:
            if line.startswith(key + " "):
                return line[len(key) + 1:]
            if line == key:
                return ""
        raise DriverError(f"no {key} in the answer {lines!r}")

    # --- the program -------------------------------------------------------------------
    def launch(self, program, *args, cwd=None):
        """Starts a Windows program; absolute Unix paths among program and args are passed by
        their Windows names."""
        words = [windows_path(w) if w.startswith("/") else w for w in [program] + list(args)]
        line = " ".join('"' + w + '"' if (" " in w or not w) else w for w in words)
        if cwd:
            self.command("cd " + escape(windows_path(cwd) if cwd.startswith("/") else cwd))
        pid = int(self._value(self.command("launch " + escape(line)), "pid"))
        self.launched = True
        return pid

    def exit_code(self, timeout_ms=WINDOW_TIMEOUT_MS):
        lines = self.command(f"exit {timeout_ms}", timeout=timeout_ms / 1000 + 30)
        return int(self._value(lines, "exit"))

    def kill(self):
        self.command("kill")

    def run_level(self, program):
        """The rights the manifest of a program file asks for, as Windows reads it:
        (level, uiAccess), level one of unspecified, asInvoker, highestAvailable,
        requireAdministrator."""
        level, ui_access = self._value(
            self.command("runlevel " + escape(windows_path(program))), "runlevel").split()
        return level, ui_access == "1"

    # --- windows -------------------------------------------------------------------------
    def wait_window(self, *ids, without=(), timeout_ms=WINDOW_TIMEOUT_MS):
        """Waits for an active window having the given control ids and none of those in
        without; returns its caption."""
        words = [str(i) for i in ids] + ["!" + str(i) for i in without]
        lines = self.command("wait %d %s" % (timeout_ms, " ".join(words)),
                             timeout=timeout_ms / 1000 + 30)
        return decode(self._value(lines, "caption"))

    def find_window(self, *ids, without=(), timeout_ms=WINDOW_TIMEOUT_MS):
        """Like wait_window, but the window may be disabled (behind a box it opened)."""
        words = [str(i) for i in ids] + ["!" + str(i) for i in without]
        lines = self.command("waitany %d %s" % (timeout_ms, " ".join(words)),
                             timeout=timeout_ms / 1000 + 30)
        return decode(self._value(lines, "caption"))

    def wait_message_box(self, timeout_ms=WINDOW_TIMEOUT_MS):
        """Waits for a message box; returns (caption, text)."""
        caption = self.wait_window(MESSAGE_BOX_TEXT, without=NOT_IN_MESSAGE_BOXES,
                                   timeout_ms=timeout_ms)
        return caption, self.text(MESSAGE_BOX_TEXT)

    def windows(self):
        return self.command("windows")

    def dump(self):
        lines = self.command("dump")
        caption = decode(self._value(lines, "caption"))
        controls = {}
        texts = []
        for line in lines:
            if not line.startswith("control "):
                continue
            parts = line.split(" ", 4)
            cid = int(parts[1]) & 0xFFFF
            controls[cid] = Control(cid, parts[2], parts[3], decode(parts[4]) if len(parts) > 4 else "")
            texts.append(controls[cid].text)
        return Window(caption, controls, texts)

    def text(self, control_id):
        return decode(self._value(self.command(f"text {control_id}"), "text"))

    def set_text(self, control_id, text):
        self.command(f"set {control_id} {escape(text)}")

    def press(self, button):
        """Presses a button by id or by its text (mnemonic marks ignored)."""
        self.command(f"press {button if isinstance(button, int) else escape(button)}")

    def answer(self, button):
        """Presses a button of the current window and waits until that window has gone."""
        self.press(button)
        self.command("gone 20000", timeout=40)

    def check(self, control_id, on=True):
        self.command(f"check {control_id} {1 if on else 0}")

    def selection(self, control_id):
        """(start, end) of the selection in an edit control."""
        start, end = self._value(self.command(f"selection {control_id}"), "selection").split()
        return int(start), int(end)

    def items(self, control_id):
        """The texts of a list box's items."""
        return [decode(line.split(" ", 2)[2]) if line.count(" ") >= 2 else ""
                for line in self.command(f"items {control_id}") if line.startswith("item ")]

    def choose(self, control_id, index):
        """Selects and double-clicks an item of a list box."""
        self.command(f"choose {control_id} {index}")

    def alt(self, letter):
        """Types Alt+letter into the current window."""
        self.command(f"alt {letter}")

    def key(self, virtual_key):
        """Types one key (a Windows virtual-key code) into the current window."""
        self.command(f"key {virtual_key}")

    def insert_disk(self, folder=None, label=None):
        """Changes the disk in drive A: (see FloppyDrive.insert; no folder: an empty disk) and
        tells Wine, which reads a drive's label only when the drive is defined."""
        floppy = self.session.floppy
        if folder is None:
            floppy.eject()
            if label is not None:
                floppy.insert_label(label)
        else:
            floppy.insert(folder, label)
        self.command("newdisk a " + escape(floppy.root))

    def volume(self, root):
        """(drive type, label or None) of a drive, as the system reports them."""
        lines = self.command("volume " + escape(root))
        drive = int(self._value(lines, "drive"))
        label = next((decode(line[6:]) for line in lines if line.startswith("label ")), None)
        return drive, label

    def close_window(self):
        self.command("close")

    def rect(self):
        left, top, right, bottom = (int(v) for v in self._value(self.command("rect"), "rect").split())
        return left, top, right, bottom

    def close(self):
        if self.process.poll() is None:
            # A program still running is ended by the driver: one ended by killing the
            # wineserver leaves the next session's first program unable to open its dialog.
            try:
                if self.launched:
                    self.command("kill", timeout=20)
            except DriverError:
                pass
            try:
                self.process.stdin.write(b"quit\n")
                self.process.stdin.flush()
                self.process.stdin.close()
                self.process.wait(timeout=20)
            except (OSError, subprocess.TimeoutExpired):
                pass
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait(timeout=10)
        self.reader.join(timeout=10)
        for pipe in (self.process.stdin, self.process.stdout):
            try:
                pipe.close()
            except OSError:
                pass


class WineSession:
    """A display, the run's prefix and helpers; use as a context manager."""

    def __init__(self):
        self.xvfb = Xvfb()
        self.display = self.xvfb.display
        try:
            self.prefix = prepare_prefix({"DISPLAY": self.display})
        except BaseException:
            self.xvfb.close()
            raise
        self.env = _quiet_env({"WINEPREFIX": self.prefix, "DISPLAY": self.display})
        self.drivers = []
        self.floppy = FloppyDrive(self.prefix)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def driver(self):
        d = Driver(self)
        self.drivers.append(d)
        return d

    def run(self, program, *args, timeout=120, cwd=None):
        """Runs a console program under Wine; returns the CompletedProcess (bytes output)."""
        return subprocess.run(WINE + [program] + list(args), env=self.env, cwd=cwd,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)

    def screenshot(self, path, rect=None):
        """The whole screen, or the rectangle (left, top, right, bottom) of it, as a PNG."""
        command = ["import", "-display", self.display, "-window", "root"]
        if rect:
            left, top, right, bottom = rect
            command += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
        subprocess.run(command + [path], env=self.env, timeout=60, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def close(self):
        for d in self.drivers:
            d.close()
        self.drivers = []
        try:
            subprocess.run(["wineserver", "-k"], env=self.env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            pass
        self.xvfb.close()


def native_tool(name):
    return os.path.join(NATIVE_BIN, name)


def make_sfx(archive, out, stub=None):
    """A self-extracting archive of stub + archive, built by vespa-mksfx."""
    stub = stub or os.path.join(WIN64_BIN, "vespa-sfx.exe")
    builder = native_tool("vespa-mksfx")
    if os.path.exists(builder):
        # --no-verify: some tests wrap archives damaged on purpose, for the stub to find out.
        subprocess.run([builder, "-q", "--no-verify", "-o", out, "--stub", stub, archive],
                       check=True, timeout=60, stdout=subprocess.DEVNULL)
        return out
    # Without the builder: the stub with the archive appended, its offsets shifted by zip -A.
    with open(out, "wb") as f:
        for part in (stub, archive):
            with open(part, "rb") as p:
                shutil.copyfileobj(p, f)
    subprocess.run(["zip", "-q", "-A", out], check=True, timeout=60)
    return out


def unavailable():
    """Why the Wine tests cannot run here at all, or None."""
    if not have_wine():
        return "wine or Xvfb is not installed"
    if not os.path.exists(os.path.join(WIN64_BIN, "vespa-uidriver.exe")):
        return "the x86_64 build (vespa-uidriver.exe) is missing"
    return None


def stub_arch():
    return os.environ.get("VESPA_STUB_ARCH", "x86_64")


class WineTestCase(unittest.TestCase):
    """One Wine session for all tests of a class; skipped where Wine or the builds are missing."""

    session = None

    @classmethod
    def setUpClass(cls):
        reason = unavailable()
        if reason:
            raise unittest.SkipTest(reason)
        cls.session = WineSession()
        cls.work = tempfile.mkdtemp(prefix="wine-test-", dir=WINE_ROOT)

    @classmethod
    def tearDownClass(cls):
        cls.end_session()

    @classmethod
    def end_session(cls):
        if cls.session:
            cls.session.close()
            cls.session = None
        shutil.rmtree(cls.work, ignore_errors=True)


class StubTestCase(WineTestCase):
    """A Wine test of the stub (cls.stub), with a directory for its screenshots. The x86_64 stub
    unless VESPA_STUB_ARCH=i686 asks for the i686 one, which needs 32-bit Wine."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        arch = stub_arch()
        if arch == "i686":
            reason = wine32_unavailable(cls.session)
            if reason:
                cls.end_session()
                raise unittest.SkipTest(reason)
        cls.bits = 32 if arch == "i686" else 64
        cls.stub = os.path.join(WIN32_BIN if arch == "i686" else WIN64_BIN, "vespa-sfx.exe")
        if not os.path.exists(cls.stub):
            raise AssertionError(f"the {arch} stub is missing: " + cls.stub)
        cls.screenshots = os.path.join(WINE_ROOT, "screenshots")
        os.makedirs(cls.screenshots, exist_ok=True)

    # The main dialog's destination field and required-space figure: both present once it is up.
    MAIN_DESTINATION, MAIN_REQUIRED = 1007, 1010

    def open_dialog(self, program):
        """Starts program and waits for its main dialog; its caption lands in self.caption."""
        driver = self.session.driver()
        self.addCleanup(driver.close)
        driver.launch(program)
        self.caption = driver.wait_window(self.MAIN_DESTINATION, self.MAIN_REQUIRED)
        return driver

    def back_to_dialog(self, driver):
        """Waits until the main dialog is the window in front again; returns its controls."""
        self.assertEqual(driver.wait_window(self.MAIN_DESTINATION, self.MAIN_REQUIRED), self.caption)
        return driver.dump()


def box_caption(caption):
    """The caption a message box or question takes from a window: the stub reads a window's
    caption as its first 79 characters, so a long archive path is cut there (never inside a
    character)."""
    return caption[:79]


SKIP_EXIT_CODE = 77  # ctest's SKIP_RETURN_CODE for these scripts (tests/CMakeLists.txt)


def main():
    """Runs the script's tests, or says why none can run here and exits 77."""
    reason = unavailable()
    if not reason and stub_arch() == "i686":
        reason = wine32_unavailable()
    if reason:
        print("skipped: " + reason, flush=True)
        sys.exit(SKIP_EXIT_CODE)
    unittest.main(verbosity=2)


if __name__ == "__main__":
    sys.exit("harness.py is a module for the tests in this directory")
