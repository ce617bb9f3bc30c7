"""Real recordings driven by the command line of second starts, recorded from a private PulseAudio
server's null sink that paplay feeds."""

import os
import subprocess
import unittest

from recording_harness import RecordingTestCase, decodes, duration, sox_stat
from sonaro_harness import wait_until


class TimedRecordingTest(RecordingTestCase):
    def record_for_three_seconds(self, name, *format_words):
        path = os.path.join(self.out, name)
        first = self.start_recording("-recordfile", path, *format_words, "-ms", "3000")
        self.wait_exit(first)
        self.assertEqual(first.returncode, 0)
        return path

    def test_three_seconds_in_every_format_hold_the_tone_and_are_logged(self):
        for name, words in (("x.wav", ()), ("x.aif", ()), ("x.flac", ()), ("x.mp3", ()),
                            ("x.opus", ("-b", "32", "-m", "1"))):
            with self.subTest(name):
                path = self.record_for_three_seconds(name, *words)
                self.assertIn("Recording to file: %s (Recording time: 3600 mins. 0 seconds)"
                              % path, self.log_lines())
                self.assertIn("Recording complete for file: " + path, self.log_lines())
                self.assertEqual(self.setting("Settings", "LastRecordingFilePath"), path)
                if name.endswith((".wav", ".aif", ".flac")):
                    self.assertAlmostEqual(duration(path), 3.0, delta=0.2)
                    self.assertTone(path, 440)
                    continue
                decoded = os.path.join(self.home, name + ".wav")
                subprocess.run(["ffmpeg", "-v", "error", "-i", path, decoded], check=True,
                               timeout=60)
                # The encoder's delay and padding add up to a few hundredths of a second.
                self.assertAlmostEqual(duration(decoded), 3.0, delta=0.2)
                self.assertTone(decoded, 440, start=0.1, length=2.8)
        flac = os.path.join(self.out, "x.flac")
        self.assertEqual(subprocess.run(["flac", "-t", "-s", flac]).returncode, 0)
        self.assertEqual((self.setting("OpusEncode", "BitRate"),
                          self.setting("OpusEncode", "Channels")), ("32", "1"))
        self.assertEqual(subprocess.run(["soxi", "-c", os.path.join(self.home, "x.opus.wav")],
                                        capture_output=True, text=True).stdout.strip(), "1")

    def test_tones_frame_the_recording_without_being_recorded_first(self):
        self.set_settings("Settings", RecordTone="1", StoppedTone="1")
        path = self.record_for_three_seconds("toned.wav")
        # The start tone ends before capture; the stop tone plays while capture still runs.
        self.assertTone(path, 440, start=0.0, length=1.0)
        self.assertAlmostEqual(duration(path), 3.17, delta=0.25)


class TransportTest(RecordingTestCase):
    def test_record_pause_record_done_keeps_both_stretches_in_one_file(self):
        self.start_recording()
        self.pause(1.5)
        self.command("-pause")
        self.play(self.tone_file("b.wav", 30, 880))
        self.pause(1.5)
        self.play(self.tone_file("c.wav", 30, 660))
        self.pause(0.3)
        self.command("-resume")
        self.pause(1.5)
        self.command("-done")
        path = os.path.join(self.out, "Untitled 001.wav")
        self.assertEqual(sorted(os.listdir(self.out)), ["Untitled 001.wav"])
        self.assertAlmostEqual(duration(path), 3.0, delta=0.35)
        self.assertTone(path, 440, start=0.1, length=1.1)
        self.assertTone(path, 660, start=duration(path) - 1.2, length=1.1)

    def test_restart_keeps_only_what_followed(self):
        self.start_recording()
        self.pause(1.5)
        self.play(self.tone_file("c.wav", 30, 660))
        self.pause(0.3)
        self.command("-restart")
        self.pause(1.5)
        self.command("-done")
        path = os.path.join(self.out, "Untitled 001.wav")
        self.assertAlmostEqual(duration(path), 1.5, delta=0.35)
        self.assertTone(path, 660)

    def test_exit_if_stop_then_done_ends_the_program(self):
        first = self.start_recording()
        self.pause(1.0)
        self.command("-exitifstop")
        self.assertIsNone(first.poll())
        self.command("-done")
        self.wait_exit(first)
        self.assertAlmostEqual(duration(os.path.join(self.out, "Untitled 001.wav")), 1.0,
                               delta=0.4)


class VoiceActivationTest(RecordingTestCase):
    def record_voice(self, *effects):
        """Records with voice activation while the sox synth `effects` play; the file's path."""
        self.set_settings("Settings", VoiceActivate="1", VoiceActivateLevel="-18")
        first = self.start_first()
        path = os.path.join(self.out, "voice.wav")
        self.command("-recordfile", path)
        self.play_through(*effects)
        self.command("-done")
        self.assertIsNone(first.poll())
        return path

    def test_long_silence_is_trimmed_and_the_end_follows_the_last_loud_block(self):
        path = self.record_voice(1, "sine", 440, "vol", 0.5, "pad", 0.5, 7, "repeat", 1, "pad",
                                 0, 1)
        # 0.5 s lead-in (not recorded: waiting for voice), 1 s tone, 7 s silence cut to about
        # 450 ms, 1 s tone, about 50 ms after it; 8.5 s of silence after the last tone.
        length = duration(path)
        self.assertAlmostEqual(length, 1.0 + 0.45 + 1.0 + 0.05, delta=0.3)
        self.assertTone(path, 440, start=0.05, length=0.8)
        self.assertTone(path, 440, start=length - 0.9, length=0.7)
        tail = sox_stat(path, start=length - 0.04)
        self.assertLess(tail["Maximum amplitude"], 0.05, "the file ends in the silence after")
        last_loud = sox_stat(path, start=length - 0.2, length=0.1)
        self.assertGreater(last_loud["Maximum amplitude"], 0.3, "the file ends ~50 ms after")

    def test_pre_roll_keeps_the_sound_before_the_voice(self):
        self.set_settings("Settings", VoicePreRollMs="300")
        # A quiet 300 Hz hum (below the voice level) for 1 s, then the loud 440 Hz "word".
        path = self.record_voice(1, "sine", 300, "vol", 0.02, ":", "synth", 1.5, "sine", 440,
                                 "vol", 0.5)
        # 300 ms of the hum before the block (100 ms) in which the word began.
        hum = sox_stat(path, start=0, length=0.28)
        self.assertAlmostEqual(hum["Rough   frequency"], 300, delta=15)
        self.assertLess(hum["Maximum amplitude"], 0.05)
        self.assertTone(path, 440, start=0.45, length=0.8)


class MaxTimeTest(RecordingTestCase):
    def test_continuing_at_the_limit_gives_consecutive_files(self):
        self.set_settings("Settings", CheckMaxTime="1", MaxTimeSeconds="2", StopReachMaxTime="0")
        self.start_recording()
        self.assertTrue(wait_until(lambda: len(os.listdir(self.out)) >= 3, 15))
        # A file completed before it holds a frame would be removed.
        self.pause(0.5)
        self.command("-done")
        names = sorted(os.listdir(self.out))
        self.assertEqual(names[:3], ["Untitled 001.wav", "Untitled 002.wav", "Untitled 003.wav"])
        for name in names[:2]:
            self.assertAlmostEqual(duration(os.path.join(self.out, name)), 2.0, delta=0.3)
        log = self.log_lines()
        for name in names:
            self.assertIn("Recording complete for file: " + os.path.join(self.out, name), log)


class FullDiskTest(RecordingTestCase):
    def setUp(self):
        super().setUp()
        self.disk = os.path.join(self.home, "disk")
        os.mkdir(self.disk)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", self.disk],
                                 capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("mounting a tmpfs is not permitted here: "
                          + mounted.stderr.decode(errors="replace").strip())
        self.addCleanup(subprocess.run, ["umount", "-l", self.disk], capture_output=True)

    def test_full_disk_is_reported_the_file_stays_valid_and_the_program_runs_on(self):
        path = os.path.join(self.disk, "full.wav")
        # 88 200 bytes a second (mono, 16 bits) fill 256 KiB in about 3 s.
        first = self.start_recording("-recordfile", path)
        self.assertStoppedAndKeptRunning(first, path, 15)
        stored = duration(path)
        self.assertGreater(stored, 1.5)
        self.assertLessEqual(44 + stored * 88200, os.path.getsize(path) + 2)
        self.assertTone(path, 440, start=0.1, length=1.0)

        elsewhere = os.path.join(self.out, "after.wav")
        self.command("-recordfile", elsewhere)
        self.pause(1.0)
        self.command("-done")
        self.assertAlmostEqual(duration(elsewhere), 1.0, delta=0.4)


class LostDeviceTest(RecordingTestCase):
    def test_a_vanished_source_is_reported_and_the_file_completed(self):
        path = os.path.join(self.out, "lost.wav")
        first = self.start_recording("-recordfile", path)
        self.pause(1.0)
        modules = self.pulse.client("pactl", "list", "short", "modules").stdout.decode()
        sink = next(line.split()[0] for line in modules.splitlines() if "module-null-sink" in line)
        self.assertEqual(self.pulse.client("pactl", "unload-module", sink).returncode, 0)
        self.assertStoppedAndKeptRunning(first, path, 30)
        self.assertAlmostEqual(duration(path), 1.0, delta=0.4)
        self.assertTone(path, 440, start=0.1, length=0.6)


class WrongFileTest(RecordingTestCase):
    def test_a_format_change_while_recording_applies_to_the_next_file(self):
        self.start_recording("-outdir", self.out, "-record", "wav")
        self.pause(0.5)
        self.command("-record", "aif")
        self.command("-restart")
        self.pause(1.0)
        self.command("-done")
        self.command("-record")
        self.pause(0.5)
        self.command("-done")
        self.assertEqual(sorted(os.listdir(self.out)), ["Untitled 001.wav", "Untitled 002.aif"])
        for name in os.listdir(self.out):
            self.assertTrue(decodes(os.path.join(self.out, name)), name)

    def test_a_recording_that_cannot_start_leaves_no_file_and_fails_the_start(self):
        self.env["PULSE_SERVER"] = "unix:" + os.path.join(self.home, "no-server")
        path = os.path.join(self.out, "x.wav")
        first = self.spawn("-recordfile", path, "-ms", "1000")
        self.wait_exit(first)
        self.assertEqual(first.returncode, 1)
        self.assertEqual(os.listdir(self.out), [])
        self.assertIn("Recording failed for file: " + path, self.log_lines())
        self.assertNotIn("Recording complete", self.log_lines())

        self.start_first()
        forwarded = self.run_sonaro("-recordfile", path)
        self.assertEqual(forwarded.returncode, 1, "a second start reports it too")
        self.assertIn(b"could not start the recording", forwarded.stderr)
        self.assertEqual(os.listdir(self.out), [])


if __name__ == "__main__":
    unittest.main()
