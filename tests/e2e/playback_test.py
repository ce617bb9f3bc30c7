"""The main window plays the last recording: what it plays into the private sound server's null
sink is recorded back from the sink's monitor with parecord and measured."""

import array
import os
import subprocess
import time
import unittest
import wave

from pulse_server import MONITOR
from recording_harness import RecordingTestCase, db, duration, sox_stat
from sonaro_harness import end, wait_until

# Below this a sample counts as silence; the tones here peak near half scale.
THRESHOLD = 2000
# Quiet longer than this ends a stretch of sound.
GAP_SECONDS = 0.05


def read_first_channel(path):
    with wave.open(path, "rb") as clip:
        rate, channels = clip.getframerate(), clip.getnchannels()
        samples = array.array("h", clip.readframes(clip.getnframes()))
    return samples[::channels], rate


def sound_spans(samples, rate):
    """(first, last) sample of each stretch of sound, stretches split by GAP_SECONDS of
    quiet."""
    spans, start, last = [], None, None
    gap = int(GAP_SECONDS * rate)
    for index, sample in enumerate(samples):
        if abs(sample) < THRESHOLD:
            continue
        if start is None:
            start = index
        elif index - last > gap:
            spans.append((start, last))
            start = index
        last = index
    if start is not None:
        spans.append((start, last))
    return spans


class PlaybackTest(RecordingTestCase):

    def setUp(self):
        super().setUp()
        self.use_xvfb()

    def record_monitor(self):
        path = os.path.join(self.home, "heard%d.wav" % len(self.players))
        recorder = subprocess.Popen(
            ["parecord", "--device=" + MONITOR, "--file-format=wav", "--rate=44100",
             "--channels=2", "--format=s16le", path], env=self.pulse.client_env(),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.players.append(recorder)
        time.sleep(0.5)
        return recorder, path

    def record_tone(self, seconds):
        """A recording of a 1 kHz tone about `seconds` long, done and closed; its path."""
        first = self.start_recording(hz=1000)
        path = self.new_recording([])
        time.sleep(seconds)
        self.command("-done")
        self.assertTrue(wait_until(lambda: "Recording complete for file: " + path
                                   in self.log_lines(), 10), self.log_lines())
        self.silence()
        return first, path

    def press(self, *keys):
        self.assertTrue(self.xvfb.press(*keys), "the main window is not there to type into")

    def test_play_pause_resume_and_stop_from_the_main_window(self):
        first, path = self.record_tone(3.0)
        length = duration(path)
        recorded_db = db(sox_stat(path)["RMS     amplitude"])

        recorder, heard_path = self.record_monitor()
        self.press("space")
        time.sleep(1.0)
        self.press("F6")
        time.sleep(1.0)
        self.press("space")
        time.sleep(length + 0.5)
        self.press("space")
        time.sleep(0.8)
        self.press("F7")
        time.sleep(0.8)
        end(recorder)
        self.assertIsNone(first.poll(), self.log_text(first))

        heard, rate = read_first_channel(heard_path)
        spans = sound_spans(heard, rate)
        self.assertEqual(len(spans), 3, spans)
        paused_part, resumed_part, stopped_part = spans
        played = (paused_part[1] - paused_part[0] + resumed_part[1] - resumed_part[0]) / rate
        self.assertAlmostEqual(played, length, delta=0.05)
        self.assertGreater((resumed_part[0] - paused_part[1]) / rate, 0.8, "the pause held")
        for first_sample, last_sample in spans:
            stats = sox_stat(heard_path, first_sample / rate, (last_sample - first_sample) / rate)
            self.assertAlmostEqual(stats["Rough   frequency"], 1000, delta=10)
            self.assertAlmostEqual(db(stats["RMS     amplitude"]), recorded_db, delta=0.5)
        self.assertLess((stopped_part[1] - stopped_part[0]) / rate, 1.0, "Stop ended it")

        # A stopped player leaves the input to the recorder again.
        self.command("-record")
        self.assertTrue(wait_until(lambda: len(os.listdir(self.out)) == 2, 10),
                        self.log_text(first))


if __name__ == "__main__":
    unittest.main()
