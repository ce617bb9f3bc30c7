"""Window options on a real X server (Xvfb): the window's visibility is what xdotool sees."""

import subprocess
import unittest

from sonaro_harness import SonaroTestCase, wait_until


class WindowCommandsTest(SonaroTestCase):

    def setUp(self):
        super().setUp()
        self.use_xvfb()

    def windows(self):
        return self.xvfb.windows()

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
