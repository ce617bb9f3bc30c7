"""Window options on a real X server (Xvfb): the window's visibility is what xdotool sees."""

import os
import shutil
import subprocess
import unittest

from sonaro_harness import SonaroTestCase, wait_until

TITLE = "^Sonaro Sound Recorder$"


class WindowCommandsTest(SonaroTestCase):

    def setUp(self):
        super().setUp()
        if not all(shutil.which(tool) for tool in ("Xvfb", "xdotool", "xprop")):
            self.skipTest("Xvfb, xdotool and xprop are needed to see the window")
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                                      "-screen", "0", "1024x768x24"], pass_fds=(write_end,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        self.addCleanup(self.stopXvfb)
        with os.fdopen(read_end) as display:
            number = display.readline().strip()
        if not number:
            self.skipTest("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number
        self.env["QT_QPA_PLATFORM"] = "xcb"

    def stopXvfb(self):
        self.xvfb.terminate()
        try:
            self.xvfb.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.xvfb.kill()
            self.xvfb.wait(timeout=10)

    def windows(self):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE],
                               env=self.env, capture_output=True, timeout=10)
        return found.stdout.split() if found.returncode == 0 else []

    def visible(self):
        return bool(self.windows())

    def assertVisible(self, expected):
        self.assertTrue(wait_until(lambda: self.visible() == expected, 10),
                        "the window is %s" % ("hidden" if expected else "shown"))

    def minimised(self):
        """True when the window is there and asks to be iconic (Xvfb has no window manager to
        carry that out, so it stays mapped)."""
        for window in self.windows():
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


if __name__ == "__main__":
    unittest.main()
