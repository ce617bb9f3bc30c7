"""Window options on a real X server (Xvfb): the window's visibility is what xdotool sees. The
notification-area icon is a StatusNotifierItem, registered with a StatusNotifierWatcher double
that plays the desktop's panel on a private session bus."""

import json
import os
import subprocess
import unittest

from sonaro_harness import SonaroTestCase, private_bus, start_double, wait_until

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"


class WindowCommandsTest(SonaroTestCase):

    def setUp(self):
        super().setUp()
        self.use_xvfb()

    def assertVisible(self, expected):
        self.assertTrue(wait_until(lambda: bool(self.xvfb.windows()) == expected, 10),
                        "the window is %s" % ("hidden" if expected else "shown"))

    def minimised(self):
        """True when the window is there and asks to be iconic (Xvfb has no window manager to
        carry that out, so it stays mapped)."""
        for window in self.xvfb.windows():
            hints = subprocess.run(["xprop", "-id", window, "WM_HINTS"], env=self.env,
                                   capture_output=True, timeout=10)
            if b"Initial state is Iconic" in hints.stdout:
                return True
        return False

    def assertMinimised(self, expected):
        self.assertTrue(wait_until(lambda: self.minimised() == expected, 10),
                        "the window is %sminimised" % ("not " if expected else ""))

    # Xvfb has no tray: "-hide" minimises, so the recorder never runs out of reach.
    def test_hide_show_and_a_plain_second_start(self):
        self.start_first()
        self.assertVisible(True)
        self.assertMinimised(False)
        self.assertEqual(self.run_sonaro("-HIDE").returncode, 0)
        self.assertMinimised(True)
        self.run_sonaro("-show")
        self.assertMinimised(False)
        self.run_sonaro("-hide")
        self.assertMinimised(True)
        self.run_sonaro()
        self.assertMinimised(False)
        self.assertVisible(True)

    def test_logon_start_minimises_without_a_tray_and_only_in_lower_case(self):
        self.start_first("-logon")
        self.assertMinimised(True)
        self.run_sonaro("-exit")
        self.assertTrue(wait_until(lambda: not self.listening(), 20))
        self.start_first("-LOGON")
        self.assertVisible(True)
        self.assertMinimised(False)


class TrayTest(SonaroTestCase):

    def setUp(self):
        super().setUp()
        self.use_xvfb()
        self.bus = private_bus(self)
        self.items = os.path.join(self.home, "items.json")
        start_double(self, self.bus, "watcher", self.items, WATCHER)

    def test_icon_registers_and_its_activation_restores_the_hidden_window(self):
        self.start_first()
        self.assertTrue(wait_until(lambda: os.path.exists(self.items), 10),
                        "no item was registered with the watcher")
        with open(self.items) as items:
            [[name, path]] = json.load(items)
        self.assertEqual(self.bus.get(name, path, ITEM, "Status"), "Active")
        tool_tip = self.bus.call(name, path, "org.freedesktop.DBus.Properties.Get", ITEM,
                                 "ToolTip")
        self.assertIn("Sonaro Sound Recorder", tool_tip)

        # With a tray, -hide hides the window instead of minimising it.
        self.command("-hide")
        self.assertTrue(wait_until(lambda: not self.xvfb.windows(), 10))
        self.bus.call(name, path, ITEM + ".Activate", "0", "0")
        self.assertTrue(wait_until(lambda: bool(self.xvfb.windows()), 10),
                        "activating the item did not bring the window back")


if __name__ == "__main__":
    unittest.main()
