"""Runs the real program in a temporary home for end-to-end tests.

Every instance a test starts is ended in tearDown (politely with -exit, then by force), and every
wait has a time-out, so a failing program never hangs the suite. The program's windows can go to a
private X server and its D-Bus services to a private session bus (what dbus-run-session gives a
command), read with gdbus.
"""

import ast
import os
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

SONARO_BIN = os.environ.get("SONARO_BIN", "")
SECTION_PREFIX = "Software\\Kestrix Audio\\Sonaro\\"


def wait_until(predicate, timeout, step=0.02):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def end(process):
    """Terminates `process` and reaps it, killed when it does not end within 10 s."""
    process.terminate()
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=10)


def write_setting(config_home, section, name, text):
    """Stores a text setting where the program run with XDG_CONFIG_HOME=`config_home` reads
    it."""
    folder = os.path.join(config_home, "sonaro")
    os.makedirs(folder, exist_ok=True)
    key = SECTION_PREFIX + section
    with sqlite3.connect(os.path.join(folder, "registry.db"), timeout=30) as db:
        db.execute("CREATE TABLE IF NOT EXISTS reg_keys(key TEXT PRIMARY KEY COLLATE NOCASE)")
        db.execute("CREATE TABLE IF NOT EXISTS reg_values(key TEXT COLLATE NOCASE, name TEXT "
                   "COLLATE NOCASE, type INTEGER, data BLOB, PRIMARY KEY(key, name))")
        db.execute("INSERT OR IGNORE INTO reg_keys(key) VALUES(?)", (key,))
        db.execute("INSERT OR REPLACE INTO reg_values(key, name, type, data) "
                   "VALUES(?, ?, 1, ?)", (key, name, text.encode()))


class XvfbDisplay:
    """A private X server (Xvfb, no window manager) for the program's windows, with xdotool to
    find them and type into them."""

    TITLE = "^Sonaro Sound Recorder$"

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0",
             "1024x768x24"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as display:
            number = display.readline().strip()
        self.display = ":" + number if number else ""

    @staticmethod
    def available():
        return all(shutil.which(tool) for tool in ("Xvfb", "xdotool", "xprop"))

    def use_in(self, env):
        env["DISPLAY"] = self.display
        env["QT_QPA_PLATFORM"] = "xcb"

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": self.display},
                              capture_output=True, timeout=10)

    def windows(self, title=TITLE):
        found = self.xdotool("search", "--onlyvisible", "--name", title)
        return found.stdout.split() if found.returncode == 0 else []

    def press(self, *keys, title=TITLE):
        """Focuses the window and types `keys` (xdotool key names) into it; False when there
        is no such window."""
        windows = self.windows(title)
        if not windows:
            return False
        focus = self.xdotool("windowfocus", "--sync", windows[0].decode())
        return focus.returncode == 0 and self.xdotool("key", *keys).returncode == 0

    def stop(self):
        end(self.process)


class SonaroTestCase(unittest.TestCase):
    """A temporary home with every XDG folder and TMPDIR inside it, offscreen by default."""

    def setUp(self):
        if not SONARO_BIN or not os.access(SONARO_BIN, os.X_OK):
            self.skipTest("SONARO_BIN does not name the built program")
        self.home = tempfile.mkdtemp(prefix="sonaro-e2e-")
        self.runtime = os.path.join(self.home, "run")
        os.mkdir(self.runtime, 0o700)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SESSION_MANAGER")}
        self.env.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_CONFIG_DIRS": os.path.join(self.home, "etc-xdg"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_DATA_DIRS": os.path.join(self.home, "usr-share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_STATE_HOME": os.path.join(self.home, ".local", "state"),
            "XDG_RUNTIME_DIR": self.runtime,
            "TMPDIR": os.path.join(self.home, "tmp"),
            "QT_QPA_PLATFORM": "offscreen",
            # No session bus unless a test starts its own: the program must not meet the
            # desktop's portal or another test's instance there.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(self.home, "no-bus"),
        })
        os.mkdir(self.env["TMPDIR"])
        self.socket_path = os.path.join(self.runtime, "sonaro", "instance")
        self.instances = []

    def tearDown(self):
        for process, log in self.instances:
            if process.poll() is None:
                try:
                    self.run_sonaro("-exit", timeout=10)
                except subprocess.TimeoutExpired:
                    pass
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(timeout=10)
            log.close()
        shutil.rmtree(self.home, ignore_errors=True)

    def spawn(self, *args):
        """Starts the program without waiting; its standard error goes to a log file."""
        log = tempfile.TemporaryFile(dir=self.home)
        process = subprocess.Popen([SONARO_BIN, *args], env=self.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=log)
        self.instances.append((process, log))
        return process

    def start_first(self, *args):
        """Starts the first instance and waits until it has applied its own options."""
        process = self.spawn(*args)
        self.assertTrue(wait_until(lambda: self.listening() or process.poll() is not None, 30),
                        "the first instance did not start listening")
        self.assertIsNone(process.poll(), "the first instance ended at once")
        # A second start waits for the start-up lock, which the instance holds until it has
        # applied its own options; an unknown word is skipped there, so this changes nothing.
        self.assertEqual(self.run_sonaro("sync").returncode, 0)
        return process

    def listening(self):
        """True when an instance accepts connections (a socket left by a crash does not)."""
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as probe:
            try:
                probe.connect(self.socket_path)
                return True
            except OSError:
                return False

    def run_sonaro(self, *args, timeout=30, cwd=None):
        return subprocess.run([SONARO_BIN, *args], env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout, cwd=cwd)

    def log_text(self, process):
        for candidate, log in self.instances:
            if candidate is process:
                log.seek(0)
                return log.read().decode(errors="replace")
        return ""

    def setting(self, section, name):
        path = os.path.join(self.env["XDG_CONFIG_HOME"], "sonaro", "registry.db")
        if not os.path.exists(path):
            return None
        with sqlite3.connect(path, timeout=30) as db:
            row = db.execute("SELECT data FROM reg_values WHERE key = ? AND name = ?",
                             (SECTION_PREFIX + section, name)).fetchone()
        if row is None:
            return None
        data = row[0]
        return data.decode() if isinstance(data, bytes) else data

    def set_settings(self, section, **values):
        for name, text in values.items():
            write_setting(self.env["XDG_CONFIG_HOME"], section, name, text)

    def use_xvfb(self):
        """Runs the program's windows on a private X server from here on; skips the test when
        there is none."""
        if not XvfbDisplay.available():
            self.skipTest("Xvfb, xdotool and xprop are needed to see the window")
        self.xvfb = XvfbDisplay()
        self.addCleanup(self.xvfb.stop)
        if not self.xvfb.display:
            self.skipTest("Xvfb did not start")
        self.xvfb.use_in(self.env)

    def data_file(self, name):
        return os.path.join(self.env["XDG_DATA_HOME"], "sonaro", name)

    def log_lines(self):
        """Every program log file, oldest first."""
        folder = self.data_file("Logs")
        text = ""
        for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
            with open(os.path.join(folder, name), errors="replace") as log:
                text += log.read()
        return text

    def command(self, *args):
        """A second start that must succeed."""
        result = self.run_sonaro(*args)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))

    def wait_exit(self, process, timeout=30):
        self.assertTrue(wait_until(lambda: process.poll() is not None, timeout),
                        "the program did not end")


class SessionBus:
    def __init__(self):
        self.process = None
        self.address = ""
        self.monitors = []
        if not (shutil.which("dbus-daemon") and shutil.which("gdbus")):
            return
        self.process = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.process.stdout.readline().strip()

    def use_in(self, env):
        env["DBUS_SESSION_BUS_ADDRESS"] = self.address

    def env(self):
        return {**os.environ, "DBUS_SESSION_BUS_ADDRESS": self.address}

    def gdbus(self, *args):
        return subprocess.run(["gdbus", *args], env=self.env(), capture_output=True, text=True,
                              timeout=30)

    def call(self, dest, path, method, *args):
        """Calls `method` (interface.Name); the reply as gdbus prints it. Raises on an error
        reply, whose text is the exception's."""
        result = self.gdbus("call", "--session", "--dest", dest, "--object-path", path,
                            "--method", method, *args)
        if result.returncode != 0:
            raise RuntimeError(result.stderr.strip())
        return result.stdout.strip()

    def get(self, dest, path, interface, name):
        """The property's value as a Python value (gdbus prints "(<value>,)")."""
        text = self.call(dest, path, "org.freedesktop.DBus.Properties.Get", interface, name)
        text = text[text.index("<") + 1:text.rindex(">")]
        for prefix in ("int64 ", "uint64 ", "objectpath ", "@s ", "@x "):
            text = text.replace(prefix, "")
        return ast.literal_eval(text) if text[:1] in "'\"-0123456789[{(" else text

    def recorder(self, name):
        """A property of the program's remote control."""
        return self.get("org.sonaro.Sonaro", "/org/sonaro/Sonaro", "org.sonaro.Sonaro1", name)

    def has_owner(self, name):
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus.NameHasOwner", name).startswith("(true")

    def wait_for_name(self, name, timeout=30):
        return wait_until(lambda: self.has_owner(name), timeout)

    def monitor(self, name):
        """Starts watching everything `name` sends; gives a function that reads what was seen."""
        log = tempfile.TemporaryFile(mode="w+")
        self.monitors.append((subprocess.Popen(
            ["gdbus", "monitor", "--session", "--dest", name], env=self.env(), stdout=log,
            stderr=subprocess.DEVNULL), log))

        def seen():
            log.seek(0)
            return log.read()
        return seen

    def stop(self):
        for monitor, log in self.monitors:
            end(monitor)
            log.close()
        if self.process is not None:
            end(self.process)
            self.process.stdout.close()


def private_bus(test):
    """A session bus for `test`, stopped when it ends and used by the program it starts; skips
    the test where dbus-daemon or gdbus is missing."""
    bus = SessionBus()
    test.addCleanup(bus.stop)
    if not bus.address:
        test.skipTest("dbus-daemon and gdbus are needed")
    bus.use_in(test.env)
    return bus


def start_double(test, bus, kind, output, name):
    """Runs the `kind` double of desktop_doubles.py on `bus` until `test` ends, writing what it
    is told to `output`, and waits until it owns `name`."""
    double = subprocess.Popen(
        [sys.executable, os.path.join(os.path.dirname(__file__), "desktop_doubles.py"), kind,
         output], env=bus.env())
    test.addCleanup(end, double)
    test.assertTrue(bus.wait_for_name(name), "the %s double did not start" % kind)
