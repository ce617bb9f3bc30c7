"""The installed program and its desktop files: installed into a temporary prefix, checked with
the tools a distribution checks them with, and started from there."""

import os
import shutil
import subprocess
import tempfile
import unittest

from sonaro_harness import SonaroTestCase

BUILD_DIR = os.environ.get("SONARO_BUILD_DIR", "")
APP_ID = "org.sonaro.Sonaro"


class InstallTest(SonaroTestCase):

    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="sonaro-install-")
        cls.installed = BUILD_DIR and subprocess.run(
            ["cmake", "--install", BUILD_DIR, "--prefix", cls.prefix],
            capture_output=True, timeout=300)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.prefix, ignore_errors=True)

    def setUp(self):
        super().setUp()
        if not self.installed:
            self.skipTest("SONARO_BUILD_DIR does not name the build")
        self.assertEqual(self.installed.returncode, 0, self.installed.stderr.decode())

    def path(self, *parts):
        return os.path.join(self.prefix, *parts)

    def check(self, tool, *args):
        if not shutil.which(tool):
            self.skipTest(tool + " is not installed")
        result = subprocess.run([tool, *args], capture_output=True, timeout=60)
        output = (result.stdout + result.stderr).decode(errors="replace")
        self.assertEqual(result.returncode, 0, output)
        return output

    def test_desktop_entry_metainfo_and_icons(self):
        desktop = self.path("share", "applications", APP_ID + ".desktop")
        self.assertEqual(self.check("desktop-file-validate", desktop).strip(), "")
        self.check("appstreamcli", "validate", "--no-net", "--pedantic",
                   self.path("share", "metainfo", APP_ID + ".metainfo.xml"))
        icons = self.path("share", "icons", "hicolor")
        self.assertTrue(os.path.isfile(os.path.join(icons, "scalable", "apps", APP_ID + ".svg")))
        for size in (16, 24, 32, 48, 64, 128, 256):
            with open(os.path.join(icons, "%dx%d" % (size, size), "apps", APP_ID + ".png"),
                      "rb") as png:
                header = png.read(24)
            self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
            self.assertEqual(int.from_bytes(header[16:20], "big"), size)

    def test_man_page_names_every_option(self):
        page = self.check("man", "--warnings", "-l", self.path("share", "man", "man1", "sonaro.1.gz"))
        self.assertNotIn("warning", page)
        for option in ("-record", "-resume", "-recordfile", "-pause", "-restart", "-done", "-ms",
                       "-exitifstop", "-exit", "-hide", "-show", "-outdir", "-logon",
                       "-setautorun", "-exe", "-cbr", "-vbr", "registry.db", "Logs"):
            self.assertIn(option, page)

    def test_help_page_holds_the_user_sections(self):
        with open(self.path("share", "sonaro", "help", "index.html"), encoding="utf-8") as page:
            html = page.read()
        for text in ("Options for the recorder", "-recordfile &lt;path&gt;",
                     "Finding and playing recordings"):
            self.assertTrue(text in html, text)
        self.assertFalse("scripts/test" in html, "the developer sections are left out")

    def test_installed_program_runs(self):
        program = self.path("bin", "sonaro")
        tool = subprocess.run([program, "-exe", "nosuchtool"], env=self.env,
                              capture_output=True, timeout=60)
        self.assertEqual(tool.returncode, 0, tool.stderr.decode(errors="replace"))
        recorder = subprocess.run([program, "-show", "-exit"], env=self.env,
                                  capture_output=True, timeout=60)
        self.assertEqual(recorder.returncode, 0, recorder.stderr.decode(errors="replace"))


if __name__ == "__main__":
    unittest.main()
