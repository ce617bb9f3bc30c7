"""A WAV recording cut short by SIGKILL keeps the writers' open-state header; the reader must
open it with every whole frame that reached the disk. The program does not reach the reader yet,
so the file is opened by the sonaro_probe tool, as the recordings list opens it."""

import os
import signal
import struct
import subprocess

from recording_harness import RecordingTestCase
from sonaro_harness import wait_until

SONARO_PROBE = os.environ.get("SONARO_PROBE", "")


def data_chunk(path):
    """(block align, offset of the data, data size field) from a WAV file's chunks."""
    with open(path, "rb") as wav:
        riff, _, wave = struct.unpack("<4sI4s", wav.read(12))
        assert riff == b"RIFF" and wave == b"WAVE", path
        block_align = None
        while True:
            header = wav.read(8)
            if len(header) < 8:
                raise AssertionError("no data chunk in " + path)
            name, size = struct.unpack("<4sI", header)
            if name == b"data":
                return block_align, wav.tell(), size
            body = wav.read(size + (size & 1))
            if name == b"fmt ":
                block_align = struct.unpack("<H", body[12:14])[0]


def probe(path):
    result = subprocess.run([SONARO_PROBE, path], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise AssertionError("sonaro_probe failed: " + result.stderr)
    return {name: int(value) for name, value in
            (word.split("=") for word in result.stdout.split())}


class KilledRecordingTest(RecordingTestCase):
    def setUp(self):
        super().setUp()
        if not SONARO_PROBE or not os.access(SONARO_PROBE, os.X_OK):
            self.skipTest("SONARO_PROBE does not name the built probe")

    def test_wav_cut_short_by_sigkill_opens_with_the_length_on_disk(self):
        self.play(self.tone_file("tone.wav", 30))
        first = self.start_first()
        self.command("-outdir", self.out, "-record")
        path = os.path.join(self.out, "Untitled 001.wav")
        # Well over a second of sound on disk before the kill.
        self.assertTrue(wait_until(lambda: os.path.exists(path) and
                                   os.path.getsize(path) > 200000, 30),
                        "the recording did not grow")
        first.send_signal(signal.SIGKILL)
        self.wait_exit(first)
        self.assertEqual(first.returncode, -signal.SIGKILL)

        block_align, offset, size_field = data_chunk(path)
        self.assertGreater(block_align, 0)
        on_disk = (os.path.getsize(path) - offset) // block_align
        self.assertGreater(size_field, os.path.getsize(path),
                           "the header still holds the open-state data size")
        seen = probe(path)
        self.assertEqual(seen["status"], 0)
        self.assertEqual(seen["frames"], on_disk)
        self.assertGreater(seen["frames"], seen["rate"], "more than a second was kept")
