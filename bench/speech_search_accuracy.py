#!/usr/bin/env python3
"""Recall, false hits, speed and memory of the speech search beside pocketsphinx_continuous
(the command of Debian's pocketsphinx package) on the same files, keywords and thresholds.

Usage: speech_search_accuracy.py <speech_search_probe, Release build>

Test speech is made with espeak-ng in several voices and speeds: each sentence is a lead-in, a
keyword and an ending, synthesised separately and joined, so the keyword's start is known to the
sample. Sentences (and some without a keyword) are placed at random offsets, seeded, in a bed of
noise 26 dB below the speech, one 16 kHz mono WAV recording per voice and speed. A hit counts
when a keyword was spoken in that recording within 0.5 s of it; any other hit is a
false hit (the search reports times, not words, so both programs are scored by time alone;
the keywords are spoken seconds apart). Speed (seconds of audio per CPU second) and peak memory are measured on all the
recordings joined into one file, for each program in one process."""

import array
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import time
import wave

RATE = 16000
KEYWORDS = ["budget", "meeting", "contract", "tomorrow", "police", "window", "yes", "doctor"]
LEADS = ["we should talk about the", "i think that the", "please remember the", "they said",
         "after lunch the", "nobody knows the", "it was a long", "call me about the"]
ENDINGS = ["before friday", "is important", "was cancelled", "next week", "for everyone",
           "again"]
DISTRACTORS = ["the weather was nice all day", "she bought some bread and milk",
               "turn left at the second light", "this is a quiet room"]
VOICES = ["en-us", "en-gb", "en-us+m3", "en-us+f2", "en-gb-scotland", "en-029"]
SPEEDS = [140, 175, 210]
TOLERANCE_MS = 500


def synthesise(folder, voice, speed, text, cache):
    key = (voice, speed, text)
    if key not in cache:
        raw = os.path.join(folder, "piece.wav")
        low = os.path.join(folder, "piece16.wav")
        subprocess.run(["espeak-ng", "-v", voice, "-s", str(speed), "-w", raw, text], check=True)
        subprocess.run(["sox", "-q", raw, "-r", str(RATE), "-c", "1", "-b", "16", low, "vol", "0.9"], check=True)
        with wave.open(low) as f:
            samples = array.array("h", f.readframes(f.getnframes()))
        loud = [i for i, s in enumerate(samples) if abs(s) > 300]
        cache[key] = samples[loud[0]:loud[-1] + 1] if loud else samples
    return cache[key]


def write_wav(path, samples):
    with wave.open(path, "wb") as f:
        f.setnchannels(1)
        f.setsampwidth(2)
        f.setframerate(RATE)
        f.writeframes(samples.tobytes())


def make_recording(folder, voice, speed, rng, cache):
    """A recording and its truth [(keyword, start ms)]."""
    gap = array.array("h", [0] * (RATE // 12))
    pieces, truth = [], []
    position = RATE * rng.uniform(1, 3)
    sentences = [(k, rng.choice(LEADS), rng.choice(ENDINGS)) for k in KEYWORDS]
    sentences += [(None, d, "") for d in DISTRACTORS]
    rng.shuffle(sentences)
    for keyword, lead, ending in sentences:
        start = int(position)
        if keyword is None:
            speech = synthesise(folder, voice, speed, lead, cache)
        else:
            head = synthesise(folder, voice, speed, lead, cache) + gap
            truth.append((keyword, (start + len(head)) * 1000 // RATE))
            speech = head + synthesise(folder, voice, speed, keyword, cache) + gap + \
                synthesise(folder, voice, speed, ending, cache)
        pieces.append((start, speech))
        position = start + len(speech) + RATE * rng.uniform(2, 6)
    total = int(position + RATE * 2)
    noise = [rng.gauss(0, 1) for _ in range(4096)]
    speech_rms = 4000.0
    level = speech_rms / (10 ** (26 / 20))
    mix = [int(level * noise[i % 4096] * (1 + 0.3 * ((i // 4096) % 3))) for i in range(total)]
    for start, speech in pieces:
        for i, s in enumerate(speech):
            mix[start + i] = max(-32768, min(32767, mix[start + i] + s))
    return array.array("h", mix), truth


def run_measured(command, out_path):
    """Output, CPU seconds and peak resident memory (kB) of a run. The peak is the process's own
    VmHWM, read until it ends: wait4's ru_maxrss would count this interpreter's memory, which the
    child holds until it executes the program."""
    peak = 0
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    with open(out_path, "w") as out:
        process = subprocess.Popen(command, stdout=out, stderr=subprocess.DEVNULL)
        status_file = f"/proc/{process.pid}/status"
        while process.poll() is None:
            try:
                with open(status_file) as f:
                    for line in f:
                        if line.startswith("VmHWM:"):
                            peak = max(peak, int(line.split()[1]))
            except OSError:
                pass
            time.sleep(0.05)
        usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    if process.returncode != 0:
        sys.exit(f"{command[0]} failed ({process.returncode})")
    cpu = usage.ru_utime + usage.ru_stime - before.ru_utime - before.ru_stime
    with open(out_path) as f:
        return f.read(), cpu, peak


def peer_command(path, kws):
    return ["pocketsphinx_continuous", "-infile", path, "-kws", kws, "-remove_silence", "no",
            "-time", "yes", "-logfn", "/dev/null"]


def parse_peer(text):
    hits = []
    for line in text.splitlines():
        fields = line.split()
        if len(fields) == 4:
            try:
                hits.append(int(round(float(fields[1]) * 1000)))
            except ValueError:
                pass
    return hits


def score(truths, hits_by_file):
    found, false_hits = 0, 0
    for truth, hits in zip(truths, hits_by_file):
        left = list(truth)
        for ms in hits:
            match = next((t for t in left if abs(t[1] - ms) <= TOLERANCE_MS), None)
            if match is None:
                false_hits += 1
            else:
                left.remove(match)
                found += 1
    return found, false_hits


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    probe = os.path.abspath(sys.argv[1])
    for tool in ("espeak-ng", "sox", "pocketsphinx_continuous"):
        if shutil.which(tool) is None:
            sys.exit(tool + " is needed")
    folder = tempfile.mkdtemp(prefix="sonaro-speech-")
    try:
        rng = random.Random(20)
        cache, paths, truths, everything = {}, [], [], array.array("h")
        for voice in VOICES:
            for speed in SPEEDS:
                samples, truth = make_recording(folder, voice, speed, rng, cache)
                path = os.path.join(folder, f"{voice}-{speed}.wav")
                write_wav(path, samples)
                paths.append(path)
                truths.append(truth)
                everything += samples
        joined = os.path.join(folder, "joined.wav")
        write_wav(joined, everything)
        seconds = len(everything) / RATE
        total = sum(len(t) for t in truths)
        kws = os.path.join(folder, "keywords.txt")
        out = os.path.join(folder, "out.txt")

        run_measured([probe, "--list", ",".join(KEYWORDS), kws], out)
        text, _, _ = run_measured([probe, ",".join(KEYWORDS)] + paths, out)
        ours = [[] for _ in paths]
        for line in text.splitlines():
            fields = line.split()
            if fields[0] == "hit":
                ours[int(fields[1])].append(int(fields[2]))
        peer = [parse_peer(run_measured(peer_command(p, kws), out)[0]) for p in paths]

        _, our_cpu, our_rss = run_measured([probe, ",".join(KEYWORDS), joined], out)
        _, peer_cpu, peer_rss = run_measured(peer_command(joined, kws), out)
        _, vad_cpu, vad_rss = run_measured(
            [a for a in peer_command(joined, kws) if a not in ("-remove_silence", "no")], out)

        with open(kws) as f:
            print("keyword list:", " ".join(line.strip() for line in f))
        print(f"{len(paths)} recordings, {seconds:.0f} s of audio, {total} keywords spoken")
        print(f"{'program':42} {'recall':>8} {'false hits':>10} {'audio s/CPU s':>14} {'peak RSS':>10}")
        for name, hits, cpu, rss in (
                ("speech search (speech_search_probe)", ours, our_cpu, our_rss),
                ("pocketsphinx_continuous, same options", peer, peer_cpu, peer_rss),
                ("pocketsphinx_continuous, its own VAD", None, vad_cpu, vad_rss)):
            if hits is None:
                print(f"{name:42} {'-':>8} {'-':>10} {seconds / cpu:14.1f} {rss / 1024:8.1f} MB")
                continue
            found, false_hits = score(truths, hits)
            print(f"{name:42} {found / total:8.1%} {false_hits:10d} {seconds / cpu:14.1f} "
                  f"{rss / 1024:8.1f} MB")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
