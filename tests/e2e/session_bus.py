"""A private session bus for the tests of the program's D-Bus services (what dbus-run-session
gives a command), with gdbus to call, read properties and watch signals."""

import ast
import os
import shutil
import subprocess
import sys
import tempfile

from sonaro_harness import wait_until


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

    def has_owner(self, name):
        return self.gdbus("call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                          "/org/freedesktop/DBus", "--method",
                          "org.freedesktop.DBus.NameHasOwner", name).stdout.startswith("(true")

    def wait_for_name(self, name, timeout=30):
        return wait_until(lambda: self.has_owner(name), timeout)

    def monitor(self, name):
        """Starts watching everything `name` sends; read with Monitor.text()."""
        monitor = Monitor(self, name)
        self.monitors.append(monitor)
        return monitor

    def stop(self):
        for monitor in self.monitors:
            monitor.stop()
        if self.process is not None:
            self.process.terminate()
            self.process.wait(timeout=10)
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
    test.addCleanup(lambda: (double.terminate(), double.wait(timeout=10)))
    test.assertTrue(bus.wait_for_name(name), "the %s double did not start" % kind)


class Monitor:
    def __init__(self, bus, name):
        self.log = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen(["gdbus", "monitor", "--session", "--dest", name],
                                        env=bus.env(), stdout=self.log,
                                        stderr=subprocess.DEVNULL, text=True)

    def text(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read()

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.log.close()
