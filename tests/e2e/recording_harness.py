"""End-to-end recording: the real program recording what paplay plays into a private PulseAudio
server's null sink (its monitor is the default source), with sox to make and measure sound."""

import math
import os
import sqlite3
import subprocess
import time

from pulse_server import PulseServer
from sonaro_harness import SECTION_PREFIX, SonaroTestCase, wait_until


def sox_stat(path, start=None, length=None):
    """sox's statistics of the first channel of a file (or of a stretch of it, in seconds) as a
    dict of floats; stat reads interleaved channels as one."""
    args = ["sox", path, "-n", "remix", "1"]
    if start is not None:
        args += ["trim", str(start)] + ([str(length)] if length is not None else [])
    args.append("stat")
    result = subprocess.run(args, capture_output=True, text=True, timeout=60)
    stats = {}
    for line in result.stderr.splitlines():
        name, _, value = line.partition(":")
        try:
            stats[name.strip()] = float(value.split()[0])
        except (ValueError, IndexError):
            pass
    return stats


def duration(path):
    """The length in seconds that the file's header gives (sox reads MP3 to its end)."""
    result = subprocess.run(["soxi", "-D", path], capture_output=True, text=True, timeout=60)
    return float(result.stdout.strip()) if result.returncode == 0 else -1.0


def make_tone(path, seconds, hz=440, volume=0.5):
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", path, "synth", str(seconds), "sine",
                    str(hz), "vol", str(volume)], check=True, timeout=60)


def db(amplitude):
    return 20 * math.log10(max(amplitude, 1e-9))


class RecordingTestCase(SonaroTestCase):
    """One private sound server per test class; every test's program records from it."""

    @classmethod
    def setUpClass(cls):
        cls.pulse = PulseServer()
        cls.pulse_ok = cls.pulse.start()

    @classmethod
    def tearDownClass(cls):
        cls.pulse.stop()

    def setUp(self):
        super().setUp()
        if not self.pulse_ok:
            self.skipTest("no private PulseAudio server: " + self.pulse.error())
        self.env["PULSE_SERVER"] = self.pulse.address
        self.players = []
        self.out = os.path.join(self.home, "out")
        os.mkdir(self.out)
        # Tones would be recorded from the monitor; the tests that want them turn them on.
        self.set_setting("Settings", "RecordTone", "0")
        self.set_setting("Settings", "StoppedTone", "0")
        self.set_setting("Settings", "InstallWizRun", "1")

    def tearDown(self):
        for player in self.players:
            if player.poll() is None:
                player.kill()
                player.wait(timeout=10)
        super().tearDown()

    def set_setting(self, section, name, text):
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "sonaro")
        os.makedirs(folder, exist_ok=True)
        key = SECTION_PREFIX + section
        with sqlite3.connect(os.path.join(folder, "registry.db"), timeout=30) as db_:
            db_.execute("CREATE TABLE IF NOT EXISTS reg_keys(key TEXT PRIMARY KEY COLLATE NOCASE)")
            db_.execute("CREATE TABLE IF NOT EXISTS reg_values(key TEXT COLLATE NOCASE, name TEXT "
                        "COLLATE NOCASE, type INTEGER, data BLOB, PRIMARY KEY(key, name))")
            db_.execute("INSERT OR IGNORE INTO reg_keys(key) VALUES(?)", (key,))
            db_.execute("INSERT OR REPLACE INTO reg_values(key, name, type, data) "
                        "VALUES(?, ?, 1, ?)", (key, name, text.encode()))

    def play(self, path):
        """Plays a file into the null sink; the previous sound stops first."""
        self.silence()
        player = self.pulse.play(path)
        self.players.append(player)
        return player

    def silence(self):
        for player in self.players:
            if player.poll() is None:
                player.kill()
                player.wait(timeout=10)

    def tone_file(self, name, seconds, hz=440, volume=0.5):
        path = os.path.join(self.home, name)
        make_tone(path, seconds, hz, volume)
        return path

    def command(self, *args):
        result = self.run_sonaro(*args)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))

    def wait_exit(self, process, timeout=30):
        self.assertTrue(wait_until(lambda: process.poll() is not None, timeout),
                        "the program did not end")

    def log_lines(self):
        folder = self.data_file("Logs")
        text = ""
        for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
            with open(os.path.join(folder, name), errors="replace") as log:
                text += log.read()
        return text

    def assertTone(self, path, hz, start=None, length=None, level_db=-6.0):
        """The stretch holds a sine of `hz` (2 %) at `level_db` of full scale (1.5 dB)."""
        stats = sox_stat(path, start, length)
        self.assertIn("Rough   frequency", stats, path)
        self.assertAlmostEqual(stats["Rough   frequency"], hz, delta=hz * 0.02)
        self.assertAlmostEqual(db(stats["RMS     amplitude"] * math.sqrt(2)), level_db,
                               delta=1.5)

    @staticmethod
    def pause(seconds):
        time.sleep(seconds)
