"""Second starts in parallel issuing random recording commands to one running recorder: every
file it leaves decodes as what its extension says, it still answers, and it holds no more file
descriptors, threads or child processes than before."""

import os
import random
import subprocess
import threading
import time
import unittest

from recording_harness import RecordingTestCase, decodes, duration
from sonaro_harness import wait_until

WORKERS = 6
STORM_SECONDS = 20

COMMANDS = [
    ["-record"],
    ["-resume"],
    ["-record", "wav"],
    ["-record", "aif"],
    ["-record", "mp3"],
    ["-record", "wav", "-s", "8000", "-m", "1", "-b", "8"],
    ["-record", "aif", "-s", "22050", "-m", "1"],
    ["-record", "wav", "-s", "2147483647", "-m", "2", "-b", "16"],
    ["-pause"],
    ["-restart"],
    ["-done"],
    ["-done"],
]


def counts(pid):
    """(descriptors, threads, children) of a running process."""
    fds = len(os.listdir("/proc/%d/fd" % pid))
    threads = len(os.listdir("/proc/%d/task" % pid))
    children = 0
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    if int(stat.read().rsplit(")", 1)[1].split()[1]) == pid:
                        children += 1
            except (OSError, IndexError, ValueError):
                pass
    return fds, threads, children


class StressTest(RecordingTestCase):
    def storm(self, seed):
        generator = random.Random(seed)
        deadline = time.monotonic() + STORM_SECONDS
        while time.monotonic() < deadline:
            if generator.random() < 0.15:
                name = "rf%d%s" % (generator.randrange(4), generator.choice([".wav", ".aif"]))
                words = ["-recordfile", os.path.join(self.out, name)]
            else:
                words = generator.choice(COMMANDS)
            try:
                self.run_sonaro(*words, timeout=90)
            except subprocess.TimeoutExpired:
                self.timeouts.append(words)

    def test_parallel_random_commands_leave_only_valid_files_and_no_leaks(self):
        self.play(self.tone_file("a.wav", 120, 440))
        first = self.start_first()
        # Warm up what the program keeps once used (sound server, log, encoder reaping).
        self.command("-outdir", self.out, "-record", "mp3")
        time.sleep(0.5)
        self.command("-done", "-record", "wav")
        time.sleep(0.5)
        self.command("-done")
        time.sleep(1)
        baseline = counts(first.pid)

        self.timeouts = []
        workers = [threading.Thread(target=self.storm, args=(seed,)) for seed in range(WORKERS)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        self.assertEqual(self.timeouts, [])

        self.command("-done")
        self.assertIsNone(first.poll(), "the recorder ended")
        settled = lambda: all(now <= then for now, then in zip(counts(first.pid), baseline))
        self.assertTrue(wait_until(settled, 15),
                        "descriptors, threads, children before %s, after %s"
                        % (baseline, counts(first.pid)))
        names = sorted(os.listdir(self.out))
        self.assertGreater(len(names), 3)
        for name in names:
            path = os.path.join(self.out, name)
            self.assertTrue(decodes(path), name)
            if not name.endswith(".mp3"):
                self.assertGreater(duration(path), 0, name)
        self.assertEqual(self.run_sonaro("-hide").returncode, 0)


if __name__ == "__main__":
    unittest.main()
