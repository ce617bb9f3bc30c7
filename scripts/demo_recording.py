#!/usr/bin/env python3
"""The recorder's main job without a display or a sound server: a private PulseAudio server with
a null sink, a phrase spoken into it by espeak-ng, recorded by the real program through a second
start (-recordfile ... -ms), and the file's path, length and peak level printed.

Usage: demo_recording.py <sonaro program>"""

import math
import os
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from pulse_server import PulseServer  # noqa: E402

PHRASE = "Hello from Sonaro. This sentence was spoken into a private sound server and recorded."
RECORD_MS = 7000


def wait_until(predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return False


def listening(path):
    with socket.socket(socket.AF_UNIX) as probe:
        try:
            probe.connect(path)
            return True
        except OSError:
            return False


def program_env(folder, pulse):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update({"HOME": folder, "XDG_CONFIG_HOME": os.path.join(folder, ".config"),
                "XDG_DATA_HOME": os.path.join(folder, ".local", "share"),
                "XDG_RUNTIME_DIR": os.path.join(folder, "run"), "TMPDIR": folder,
                "QT_QPA_PLATFORM": "offscreen", "PULSE_SERVER": pulse.address})
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
    return env


def record(program, folder, pulse):
    env = program_env(folder, pulse)
    speech = os.path.join(folder, "phrase.wav")
    subprocess.run(["espeak-ng", "-w", speech, PHRASE], check=True, timeout=60)
    first = subprocess.Popen([program], env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_until(lambda: listening(os.path.join(folder, "run", "sonaro", "instance")), 30):
        first.kill()
        sys.exit("demo: the recorder did not start")
    path = os.path.join(folder, "recording.wav")
    subprocess.run([program, "-recordfile", path, "-ms", str(RECORD_MS)], env=env, check=True,
                   timeout=30)
    pulse.play(speech).wait(timeout=60)
    first.wait(timeout=RECORD_MS / 1000 + 30)
    return path


def report(path):
    length = subprocess.run(["soxi", "-D", path], capture_output=True, text=True).stdout.strip()
    stat = subprocess.run(["sox", path, "-n", "stat"], capture_output=True, text=True).stderr
    peak = next((float(line.split(":")[1]) for line in stat.splitlines()
                 if line.startswith("Maximum amplitude")), 0.0)
    print("Recorded: " + path)
    print("Length:   %.2f s" % float(length or 0))
    print("Peak:     %.1f dBFS" % (20 * math.log10(peak) if peak > 0 else -math.inf))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = tempfile.mkdtemp(prefix="sonaro-demo-")
    pulse = PulseServer()
    if not pulse.start():
        sys.exit("demo: no private PulseAudio server: " + pulse.error())
    try:
        print("demo: speaking into a private sound server and recording it for %d s ..."
              % (RECORD_MS // 1000))
        report(record(sys.argv[1], folder, pulse))
    finally:
        pulse.stop()


if __name__ == "__main__":
    main()
