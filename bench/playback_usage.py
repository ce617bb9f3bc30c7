#!/usr/bin/env python3
"""CPU time of the real program while its main window plays a 44.1 kHz stereo 16-bit WAV
recording at normal speed into a private PulseAudio server's null sink, beside `paplay` playing
the same file into the same sink at the same time.

Usage: playback_usage.py <sonaro program, Release build> [seconds, default 60]

The program runs on a private Xvfb display (Play is the main window's Space key, typed with
xdotool). It makes a one-second recording with "-recordfile", which is then replaced by the
longer test file, so the session's Play plays that. utime + stime of /proc/<pid>/stat are read
for both players at the same two moments, after both have started."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from process_usage import cpu_seconds  # noqa: E402
from pulse_server import PulseServer  # noqa: E402
from sonaro_harness import XvfbDisplay, wait_until, write_setting  # noqa: E402


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    program = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    if not XvfbDisplay.available() or shutil.which("paplay") is None:
        sys.exit("Xvfb, xdotool, xprop and paplay are needed")
    folder = tempfile.mkdtemp(prefix="sonaro-bench-")
    pulse = PulseServer()
    if not pulse.start():
        sys.exit("no private PulseAudio server: " + pulse.error())
    xvfb = XvfbDisplay()
    env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
    env.update({"HOME": folder, "XDG_CONFIG_HOME": folder + "/c", "XDG_DATA_HOME": folder + "/d",
                "XDG_RUNTIME_DIR": folder, "TMPDIR": folder, "PULSE_SERVER": pulse.address})
    xvfb.use_in(env)
    # No first-run dialog to take the key, no tones.
    for name, value in (("InstallWizRun", "1"), ("RecordTone", "0"), ("StoppedTone", "0")):
        write_setting(env["XDG_CONFIG_HOME"], "Settings", name, value)
    tone = os.path.join(folder, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth",
                    str(seconds + 10), "sine", "440", "vol", "0.5"], check=True)
    first = subprocess.Popen([program], env=env, stderr=subprocess.DEVNULL)
    peer = None
    try:
        if not wait_until(lambda: xvfb.windows(), 30):
            sys.exit("the main window did not appear")
        recording = os.path.join(folder, "played.wav")
        subprocess.run([program, "-recordfile", recording], env=env, check=True)
        time.sleep(1)
        subprocess.run([program, "-done"], env=env, check=True)
        time.sleep(1)
        shutil.copyfile(tone, recording)
        if not xvfb.press("space"):
            sys.exit("could not type into the main window")
        peer = pulse.play(tone)
        time.sleep(2)
        start = time.monotonic()
        start_cpu, peer_start_cpu = cpu_seconds(first.pid), cpu_seconds(peer.pid)
        time.sleep(seconds)
        end_cpu, peer_end_cpu = cpu_seconds(first.pid), cpu_seconds(peer.pid)
        elapsed = time.monotonic() - start
        streams = pulse.client("pactl", "list", "short", "sink-inputs").stdout.splitlines()
        # The server's stream of silence, paplay and the program.
        if len(streams) != 3:
            sys.exit("the program was not playing: %d playback streams" % len(streams))
        share = (end_cpu - start_cpu) / elapsed * 100
        peer_share = (peer_end_cpu - peer_start_cpu) / elapsed * 100
        print("measured %.1f s of 44.1 kHz stereo WAV playback at normal speed" % elapsed)
        print("sonaro: %.2f %% of one core (%.3f CPU-s)" % (share, end_cpu - start_cpu))
        print("paplay: %.2f %% of one core (%.3f CPU-s)"
              % (peer_share, peer_end_cpu - peer_start_cpu))
        if peer_share > 0:
            print("sonaro / paplay: %.2f" % (share / peer_share))
        subprocess.run([program, "-exit"], env=env, timeout=30)
        first.wait(timeout=30)
    finally:
        if first.poll() is None:
            first.kill()
        if peer is not None and peer.poll() is None:
            peer.kill()
        xvfb.stop()
        pulse.stop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
