"""Recordings cut off by SIGKILL or a power loss. The writers refresh their headers and sync
every second, so a copy of the file taken while recording decodes as it is; the start after a
kill repairs the file it was writing, says so and logs it. The recordings list opens a cut file
through the reader (the sonaro_probe tool stands in for it)."""

import os
import random
import shutil
import signal
import struct
import subprocess

from recording_harness import RecordingTestCase

SONARO_PROBE = os.environ.get("SONARO_PROBE", "")
FORMATS = ("wav", "aif", "flac", "opus")


def pcm_layout(path):
    """(bytes per frame, offset of the sound) of a WAV or AIFF file, from its chunks."""
    with open(path, "rb") as audio:
        head = audio.read(12)
        wav = head[:4] == b"RIFF"
        order = "<" if wav else ">"
        frame_bytes = None
        while True:
            chunk = audio.read(8)
            if len(chunk) < 8:
                raise AssertionError("no sound chunk in " + path)
            name, size = struct.unpack(order + "4sI", chunk)
            if name == b"data":
                return frame_bytes, audio.tell()
            if name == b"SSND":
                offset = struct.unpack(">I", audio.read(8)[:4])[0]
                return frame_bytes, audio.tell() + offset
            body = audio.read(size + (size & 1))
            if name == b"fmt ":
                frame_bytes = struct.unpack("<H", body[12:14])[0]
            elif name == b"COMM":
                channels, _, bits = struct.unpack(">HIH", body[:8])
                frame_bytes = channels * ((bits + 7) // 8)


def frames_on_disk(path):
    frame_bytes, offset = pcm_layout(path)
    return (os.path.getsize(path) - offset) // frame_bytes


def header_frames(path):
    """The length in frames that the header states, as sox reads it."""
    result = subprocess.run(["soxi", "-s", path], capture_output=True, text=True, timeout=60)
    return int(result.stdout.strip()) if result.returncode == 0 else -1


def decoded_frames(path, tool):
    """Frames decoded by sox or ffmpeg (16-bit stereo at 48 kHz for ffmpeg); -1 on an error."""
    if tool == "sox":
        args = ["sox", path, "-t", "raw", "-e", "signed", "-b", "16", "-c", "2", "-"]
    else:
        args = ["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "2", "-ar", "48000",
                "-"]
    result = subprocess.run(args, capture_output=True, timeout=120)
    if result.returncode != 0 or (tool == "ffmpeg" and result.stderr.strip()):
        return -1
    return len(result.stdout) // 4


def probe(path):
    result = subprocess.run([SONARO_PROBE, path], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise AssertionError("sonaro_probe failed: " + result.stderr)
    return {name: int(value) for name, value in
            (word.split("=") for word in result.stdout.split())}


class KilledRecordingTest(RecordingTestCase):
    def setUp(self):
        super().setUp()
        for tool in ("soxi", "ffmpeg", "flac"):
            if shutil.which(tool) is None:
                self.skipTest(tool + " is needed to check the recordings")
        self.play(self.tone_file("tone.wav", 120))

    def record_until_kill(self, word, seconds):
        """Starts the program recording in `word`'s format, kills it `seconds` after the file
        appeared and gives (its path, the killed program)."""
        before = os.listdir(self.out)
        first = self.start_first("-outdir", self.out, "-record", word)
        path = self.new_recording(before)
        self.pause(seconds)
        first.send_signal(signal.SIGKILL)
        self.wait_exit(first)
        return path, first

    def assertRepaired(self, path, word):
        if word in ("wav", "aif"):
            self.assertEqual(header_frames(path), frames_on_disk(path), path)
            self.assertEqual(decoded_frames(path, "sox"), frames_on_disk(path), path)
            self.assertGreater(decoded_frames(path, "ffmpeg"), 0, path)
        elif word == "flac":
            self.assertEqual(subprocess.run(["flac", "-t", "-s", path],
                                            capture_output=True).returncode, 0, path)
            self.assertEqual(header_frames(path), decoded_frames(path, "sox"), path)
            self.assertGreater(header_frames(path), 0, path)
        else:
            self.assertGreater(decoded_frames(path, "ffmpeg"), 0, path)

    def test_kills_at_twenty_random_instants_are_repaired_at_the_next_start(self):
        seed = int(os.environ.get("SONARO_KILL_SEED", random.randrange(1 << 30)))
        chance = random.Random(seed)
        killed = None
        for round_number in range(20):
            word = FORMATS[round_number % len(FORMATS)]
            path, start = self.record_until_kill(word, chance.uniform(0.8, 2.2))
            if killed is not None:
                self.check_repair(killed, start, seed)
            killed = (path, word)
        last = self.start_first()
        self.check_repair(killed, last, seed)

    def check_repair(self, killed, start, seed):
        path, word = killed
        message = "seed %d, %s" % (seed, path)
        if word != "opus":
            self.assertIn("Recording repaired after an interruption: " + path, self.log_lines(),
                          message)
            self.assertIn("Recordings Repaired", self.log_text(start), message)
            self.assertIn(path, self.log_text(start), message)
        self.assertRepaired(path, word)

    def test_copies_taken_while_recording_decode_without_a_repair(self):
        first = self.start_first()
        for word in FORMATS:
            before = os.listdir(self.out)
            self.command("-outdir", self.out, "-record", word)
            path = self.new_recording(before)
            self.pause(2.6)
            # What a power loss keeps: the bytes as they are, with no help from the program.
            copy = os.path.join(self.home, "copy-" + os.path.basename(path))
            shutil.copyfile(path, copy)
            if word in ("wav", "aif"):
                # Both record 44100 Hz by default; at most the last second is not counted yet.
                self.assertGreaterEqual(decoded_frames(copy, "sox"),
                                        frames_on_disk(copy) - 44100, copy)
            elif word == "flac":
                self.assertGreaterEqual(decoded_frames(copy, "sox"), 44100, copy)
            else:
                self.assertGreaterEqual(decoded_frames(copy, "ffmpeg"), 48000, copy)
            self.command("-done")
        self.assertIsNone(first.poll())

    def test_wav_cut_short_by_sigkill_opens_with_the_length_on_disk(self):
        if not SONARO_PROBE or not os.access(SONARO_PROBE, os.X_OK):
            self.skipTest("SONARO_PROBE does not name the built probe")
        path, _ = self.record_until_kill("wav", 1.5)
        seen = probe(path)
        self.assertEqual(seen["status"], 0)
        self.assertEqual(seen["frames"], frames_on_disk(path))
        self.assertGreater(seen["frames"], seen["rate"], "more than a second was kept")
