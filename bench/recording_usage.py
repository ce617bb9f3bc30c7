#!/usr/bin/env python3
"""CPU time and resident memory of the real program while it records 44.1 kHz stereo 16-bit WAV
from a private PulseAudio server (a tone played into a null sink, its monitor recorded).

Usage: recording_usage.py <sonaro program, Release build> [seconds, default 90]

Reads utime + stime of /proc/<pid>/stat at the start and the end of the recording (the program's
start-up is left out) and VmRSS of /proc/<pid>/status every second while it records."""

import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from pulse_server import PulseServer  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    program = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 90
    folder = tempfile.mkdtemp(prefix="sonaro-bench-")
    pulse = PulseServer()
    if not pulse.start():
        sys.exit("no private PulseAudio server: " + pulse.error())
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update({"HOME": folder, "XDG_CONFIG_HOME": folder + "/c", "XDG_DATA_HOME": folder + "/d",
                "XDG_RUNTIME_DIR": folder, "TMPDIR": folder, "QT_QPA_PLATFORM": "offscreen",
                "PULSE_SERVER": pulse.address})
    tone = os.path.join(folder, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", tone, "synth", str(seconds + 30),
                    "sine", "440", "vol", "0.5"], check=True)
    player = pulse.play(tone)
    first = subprocess.Popen([program], env=env, stderr=subprocess.DEVNULL)
    try:
        time.sleep(3)
        idle_rss = rss_kib(first.pid)
        path = os.path.join(folder, "bench.wav")
        subprocess.run([program, "-recordfile", path, "-s", "44100", "-m", "2", "-b", "16"],
                       env=env, check=True)
        start_cpu, start = cpu_seconds(first.pid), time.monotonic()
        peak_rss = 0
        while time.monotonic() - start < seconds:
            time.sleep(1)
            peak_rss = max(peak_rss, rss_kib(first.pid))
        end_cpu, elapsed = cpu_seconds(first.pid), time.monotonic() - start
        subprocess.run([program, "-done", "-exit"], env=env, check=True)
        first.wait(timeout=30)
        per_minute = (end_cpu - start_cpu) * 60 / elapsed
        print("recorded %.1f s of 44.1 kHz stereo WAV (%d bytes)" % (elapsed, os.path.getsize(path)))
        print("CPU time: %.3f s per minute of recording = %.2f %% of one core"
              % (per_minute, per_minute / 60 * 100))
        print("resident memory: %d KiB before recording, at most %d KiB while recording"
              % (idle_rss, peak_rss))
    finally:
        if first.poll() is None:
            first.kill()
        player.kill()
        pulse.stop()


if __name__ == "__main__":
    main()
