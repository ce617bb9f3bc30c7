#!/usr/bin/env python3
"""CPU time and resident memory of the real program while it records 44.1 kHz stereo 16-bit WAV
(or FLAC at level 5 with --flac) from a private PulseAudio server (a tone played into a null sink, its monitor recorded), beside
`parecord` recording the same source to a WAV file at the same time.

Usage: recording_usage.py <sonaro program, Release build> [seconds, default 90] [--shown] [--flac]

The program starts with "-hide" (no tray here: minimised), or shown with --shown. Both recorders
run at once; utime + stime of /proc/<pid>/stat are read for both at the same two moments, after
both have started recording (start-up is left out), and VmRSS of /proc/<pid>/status every
second."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from process_usage import cpu_seconds, rss_kib  # noqa: E402
from pulse_server import MONITOR, PulseServer  # noqa: E402


def main():
    words = [word for word in sys.argv[1:] if word not in ("--shown", "--flac")]
    shown = "--shown" in sys.argv[1:]
    extension = ".flac" if "--flac" in sys.argv[1:] else ".wav"
    if not words:
        sys.exit(__doc__)
    program = words[0]
    seconds = int(words[1]) if len(words) > 1 else 90
    if shutil.which("parecord") is None or shutil.which("sox") is None:
        sys.exit("parecord (pulseaudio-utils) and sox are needed")
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
    first = subprocess.Popen([program] + ([] if shown else ["-hide"]), env=env,
                             stderr=subprocess.DEVNULL)
    peer = None
    try:
        time.sleep(3)
        idle_rss = rss_kib(first.pid)
        path = os.path.join(folder, "bench" + extension)
        peer_path = os.path.join(folder, "parecord.wav")
        subprocess.run([program, "-recordfile", path, "-s", "44100", "-m", "2", "-b", "16"],
                       env=env, check=True)
        peer = subprocess.Popen(["parecord", "--device=" + MONITOR, "--rate=44100",
                                 "--channels=2", "--format=s16le", "--file-format=wav",
                                 peer_path], env=env, stderr=subprocess.DEVNULL)
        time.sleep(1)
        start = time.monotonic()
        start_cpu, peer_start_cpu = cpu_seconds(first.pid), cpu_seconds(peer.pid)
        peak_rss = peer_peak_rss = 0
        while time.monotonic() - start < seconds:
            time.sleep(1)
            peak_rss = max(peak_rss, rss_kib(first.pid))
            peer_peak_rss = max(peer_peak_rss, rss_kib(peer.pid))
        end_cpu, peer_end_cpu = cpu_seconds(first.pid), cpu_seconds(peer.pid)
        elapsed = time.monotonic() - start
        subprocess.run([program, "-done", "-exit"], env=env, check=True)
        peer.send_signal(signal.SIGINT)
        peer.wait(timeout=30)
        first.wait(timeout=30)
        per_minute = (end_cpu - start_cpu) * 60 / elapsed
        peer_per_minute = (peer_end_cpu - peer_start_cpu) * 60 / elapsed
        print("measured %.1f s of 44.1 kHz stereo %s recording, window %s"
              % (elapsed, extension[1:].upper(), "shown" if shown else "hidden"))
        print("sonaro:   %.3f CPU-s per minute (%.2f %% of one core), %d bytes, resident "
              "%d KiB before recording, at most %d KiB while recording"
              % (per_minute, per_minute / 60 * 100, os.path.getsize(path), idle_rss, peak_rss))
        print("parecord: %.3f CPU-s per minute (%.2f %% of one core), %d bytes, resident "
              "at most %d KiB"
              % (peer_per_minute, peer_per_minute / 60 * 100, os.path.getsize(peer_path),
                 peer_peak_rss))
        if peer_per_minute > 0:
            print("sonaro / parecord: %.2f" % (per_minute / peer_per_minute))
    finally:
        if first.poll() is None:
            first.kill()
        if peer is not None and peer.poll() is None:
            peer.kill()
        player.kill()
        pulse.stop()


if __name__ == "__main__":
    main()
