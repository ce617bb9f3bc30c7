"""System-wide hot keys where the program cannot grab keys itself (Wayland, here the offscreen
platform): bound through the desktop portal's GlobalShortcuts, played by a portal double on a
private session bus."""

import json
import os
import unittest

from recording_harness import RecordingTestCase
from session_bus import private_bus, start_double
from sonaro_harness import wait_until

PORTAL = "org.freedesktop.portal.Desktop"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
CTRL_ALT_R = (3 << 16) | ord("R")
RECORD_COMMAND = 0


class PortalHotKeysTest(RecordingTestCase):

    def setUp(self):
        super().setUp()
        self.bus = private_bus(self)
        self.bound = os.path.join(self.home, "bound.json")
        start_double(self, self.bus, "portal", self.bound, PORTAL)

    def test_bound_shortcut_activation_starts_a_recording(self):
        self.set_setting("Hotkey\\Details", "MaxID", "1")
        self.set_setting("Hotkey\\Details\\0", "Key", str(CTRL_ALT_R))
        self.set_setting("Hotkey\\Details\\0", "Command", str(RECORD_COMMAND))
        self.play(self.tone_file("tone.wav", 30))
        self.start_first("-outdir", self.out)
        self.assertTrue(wait_until(lambda: os.path.exists(self.bound), 10))
        with open(self.bound) as bound:
            shortcuts = json.load(bound)["shortcuts"]
        self.assertEqual(shortcuts, [["hotkey0", {"description": "Ctrl+Alt+R",
                                                  "preferred_trigger": "CTRL+ALT+r"}]])

        self.bus.call(PORTAL, PORTAL_PATH, "org.sonaro.test.PortalDouble.Activate", "hotkey0")
        self.assertTrue(wait_until(lambda: self.recorder("RecordedTime") > 0, 10))
        self.command("-done")
        # An id the program did not bind is not a key press; the Get after it is answered only
        # once the signal, sent before it, has been handled.
        self.bus.call(PORTAL, PORTAL_PATH, "org.sonaro.test.PortalDouble.Activate", "hotkey7")
        self.assertEqual(self.recorder("State"), "Idle")
        self.assertEqual(len(os.listdir(self.out)), 1)

    def recorder(self, name):
        return self.bus.get("org.sonaro.Sonaro", "/org/sonaro/Sonaro", "org.sonaro.Sonaro1", name)


if __name__ == "__main__":
    unittest.main()
