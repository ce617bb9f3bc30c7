"""The recorder's D-Bus services on a private session bus, with a private PulseAudio server to
record from and play to: the remote control (org.sonaro.Sonaro1), the MPRIS player, and the
system-wide hot keys where the program cannot grab keys itself (Wayland, here the offscreen
platform), bound through the desktop portal's GlobalShortcuts, which a portal double plays."""

import json
import os
import unittest

from recording_harness import RecordingTestCase, duration
from sonaro_harness import private_bus, start_double, wait_until

NAME = "org.sonaro.Sonaro"
PATH = "/org/sonaro/Sonaro"
REMOTE = "org.sonaro.Sonaro1"
MPRIS = "org.mpris.MediaPlayer2.sonaro"
MPRIS_PATH = "/org/mpris/MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"
PORTAL = "org.freedesktop.portal.Desktop"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
CTRL_ALT_R = (3 << 16) | ord("R")
RECORD_COMMAND = 0


class DBusTest(RecordingTestCase):

    def setUp(self):
        super().setUp()
        self.bus = private_bus(self)
        self.first = self.start_recording("-outdir", self.out)
        self.assertTrue(self.bus.wait_for_name(NAME), self.log_text(self.first))
        self.signals = self.bus.monitor(NAME)
        self.assertTrue(wait_until(lambda: "Monitoring" in self.signals(), 10))

    def remote(self, method, *args):
        return self.bus.call(NAME, PATH, REMOTE + "." + method, *args)

    def test_record_then_done_makes_a_recording_and_announces_it(self):
        self.remote("Record")
        self.assertEqual(self.bus.recorder("State"), "Recording")
        self.assertTrue(wait_until(lambda: self.bus.recorder("RecordedTime") >= 1500, 20))
        path = self.bus.recorder("CurrentFile")
        self.assertEqual(os.path.dirname(path), self.out)
        self.remote("Pause")
        self.assertEqual(self.bus.recorder("State"), "Paused")
        self.remote("Resume")
        self.remote("Done")
        self.assertEqual(self.bus.recorder("State"), "Idle")
        self.assertTrue(wait_until(lambda: "RecordingCompleted" in self.signals(), 10))
        self.assertIn("('%s',)" % path, self.signals())
        self.assertIn("'State': <'Paused'>", self.signals())
        self.assertGreater(duration(path), 1.4)
        self.assertTone(path, 440)

    def test_record_file_takes_absolute_paths_and_a_failed_start_is_an_error(self):
        with self.assertRaisesRegex(RuntimeError, "InvalidArgs"):
            self.remote("RecordFile", "relative.wav")
        with self.assertRaisesRegex(RuntimeError, "org.sonaro.Sonaro1.Error.Failed"):
            self.remote("RecordFile", os.path.join(self.home, "no", "such", "folder", "x.wav"))
        path = os.path.join(self.out, "take.wav")
        self.remote("RecordFile", path)
        self.assertEqual(self.bus.recorder("CurrentFile"), path)
        # A file that holds nothing yet would be removed at Done.
        self.assertTrue(wait_until(lambda: self.bus.recorder("RecordedTime") > 0, 20))
        self.remote("Done")
        self.assertTrue(os.path.isfile(path))

    def player(self, name):
        return self.bus.get(MPRIS, MPRIS_PATH, PLAYER, name)

    def test_mpris_plays_pauses_and_seeks_the_last_recording(self):
        self.remote("Record")
        self.assertTrue(wait_until(lambda: self.bus.recorder("RecordedTime") >= 4000, 20))
        self.remote("Done")
        path = self.bus.recorder("CurrentFile")
        self.assertEqual(self.player("PlaybackStatus"), "Stopped")
        self.bus.call(MPRIS, MPRIS_PATH, PLAYER + ".PlayPause")
        self.assertEqual(self.player("PlaybackStatus"), "Playing")
        self.assertIn("'xesam:url': <'file://%s'>" % path,
                      self.bus.call(MPRIS, MPRIS_PATH, "org.freedesktop.DBus.Properties.Get",
                                    PLAYER, "Metadata"))
        self.assertTrue(wait_until(lambda: self.player("Position") > 0, 10))
        self.bus.call(MPRIS, MPRIS_PATH, PLAYER + ".Seek", "2000000")
        self.assertGreaterEqual(self.player("Position"), 2000000)
        self.bus.call(MPRIS, MPRIS_PATH, PLAYER + ".PlayPause")
        self.assertEqual(self.player("PlaybackStatus"), "Paused")
        self.bus.call(MPRIS, MPRIS_PATH, PLAYER + ".Stop")
        self.assertTrue(wait_until(lambda: self.player("PlaybackStatus") == "Stopped", 10))
        self.assertIn("'PlaybackStatus': <'Paused'>", self.signals())

    def test_exit_ends_the_program(self):
        self.remote("Exit")
        self.wait_exit(self.first)
        self.assertEqual(self.first.returncode, 0)
        self.assertFalse(self.bus.has_owner(NAME))


class PortalHotKeysTest(RecordingTestCase):

    def setUp(self):
        super().setUp()
        self.bus = private_bus(self)
        self.bound = os.path.join(self.home, "bound.json")
        start_double(self, self.bus, "portal", self.bound, PORTAL)

    def test_bound_shortcut_activation_starts_a_recording(self):
        self.set_settings("Hotkey\\Details", MaxID="1")
        self.set_settings("Hotkey\\Details\\0", Key=str(CTRL_ALT_R), Command=str(RECORD_COMMAND))
        self.start_recording("-outdir", self.out)
        self.assertTrue(wait_until(lambda: os.path.exists(self.bound), 10))
        with open(self.bound) as bound:
            shortcuts = json.load(bound)["shortcuts"]
        self.assertEqual(shortcuts, [["hotkey0", {"description": "Ctrl+Alt+R",
                                                  "preferred_trigger": "CTRL+ALT+r"}]])

        self.bus.call(PORTAL, PORTAL_PATH, "org.sonaro.test.PortalDouble.Activate", "hotkey0")
        self.assertTrue(wait_until(lambda: self.bus.recorder("RecordedTime") > 0, 10))
        self.command("-done")
        # An id the program did not bind is not a key press; the Get after it is answered only
        # once the signal, sent before it, has been handled.
        self.bus.call(PORTAL, PORTAL_PATH, "org.sonaro.test.PortalDouble.Activate", "hotkey7")
        self.assertEqual(self.bus.recorder("State"), "Idle")
        self.assertEqual(len(os.listdir(self.out)), 1)


if __name__ == "__main__":
    unittest.main()
