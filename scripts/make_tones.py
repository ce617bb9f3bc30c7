#!/usr/bin/env python3
"""Writes the program's start and stop tones (resources/*.wav): two short beeps each, rising for
the start of a recording and falling for its end. 44.1 kHz, mono, 16 bits; run again only to
change the sounds."""

import math
import os
import struct
import wave

RATE = 44100
AMPLITUDE = 0.35
BEEP_MS = 70
GAP_MS = 30
FADE_MS = 8


def beep(hz):
    frames = RATE * BEEP_MS // 1000
    fade = RATE * FADE_MS // 1000
    samples = []
    for i in range(frames):
        envelope = min(1.0, i / fade, (frames - 1 - i) / fade)
        samples.append(AMPLITUDE * envelope * math.sin(2 * math.pi * hz * i / RATE))
    return samples


def tone(first_hz, second_hz):
    return beep(first_hz) + [0.0] * (RATE * GAP_MS // 1000) + beep(second_hz)


def write(path, samples):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", round(s * 32767)) for s in samples))


if __name__ == "__main__":
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    write(os.path.join(folder, "record_tone.wav"), tone(880, 1320))
    write(os.path.join(folder, "stopped_tone.wav"), tone(1320, 880))
