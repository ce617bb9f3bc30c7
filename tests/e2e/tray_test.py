"""The notification-area icon as a StatusNotifierItem: the program on a private X server and
session bus where a StatusNotifierWatcher double plays the desktop's panel."""

import json
import os
import unittest

from session_bus import private_bus, start_double
from sonaro_harness import SonaroTestCase, wait_until

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"


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
