"""End-to-end recording: the real program recording what paplay plays into a private PulseAudio
server's null sink (its monitor is the default source), with sox to make and measure sound."""

import math
import os
import subprocess
import time

from pulse_server import PulseServer
from sonaro_harness import SonaroTestCase, wait_until


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


def synth(path, *effects):
    """Makes a 44.1 kHz stereo file with sox's synth and `effects`."""
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", path, "synth", *map(str, effects)],
                   check=True, timeout=60)


def decodes(path):
    """sox picks the reader by the extension, so this fails when the content is another
    format."""
    return subprocess.run(["sox", path, "-n", "stat"], capture_output=True,
                          timeout=60).returncode == 0


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
        self.set_settings("Settings", RecordTone="0", StoppedTone="0", InstallWizRun="1")

    def tearDown(self):
        self.silence()
        super().tearDown()

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
        synth(path, seconds, "sine", hz, "vol", volume)
        return path

    def play_through(self, *effects):
        """Plays the sox synth `effects` to their end."""
        path = os.path.join(self.home, "played%d.wav" % len(self.players))
        synth(path, *effects)
        player = self.play(path)
        self.assertTrue(wait_until(lambda: player.poll() is not None, 40))

    def start_recording(self, *words, hz=440):
        """Plays 30 s of a tone, starts the program and gives it `words` (by default: record
        into self.out)."""
        self.play(self.tone_file("tone%d.wav" % hz, 30, hz))
        first = self.start_first()
        self.command(*(words or ("-outdir", self.out, "-record")))
        return first

    def new_recording(self, before):
        """Waits for the one file in self.out that is not in `before`; its path."""
        new = lambda: set(os.listdir(self.out)) - set(before)
        self.assertTrue(wait_until(new, 30), "no recording was started")
        (name,) = new()
        return os.path.join(self.out, name)

    def assertStoppedAndKeptRunning(self, first, path, timeout):
        """The program said which recording stopped, logged it and runs on."""
        self.assertTrue(wait_until(lambda: "Recording Stopped" in self.log_text(first), timeout),
                        self.log_text(first))
        self.assertIn(path, self.log_text(first))
        self.assertIn("Recording stopped for file: " + path, self.log_lines())
        self.assertIsNone(first.poll(), "the program keeps running")

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
