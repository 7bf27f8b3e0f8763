#!/usr/bin/env python3
"""Writes the application's own sounds into resources/sounds/.

Drop.wav: the soft sound of a drop arriving, a short bell-like tone that fades out.
Chime.wav: the chime of the first run from the system's application folder, three rising notes.

Both are synthesised here from sine partials, so the files carry nothing but what this script
makes. Run it again to regenerate them; the output is deterministic.
"""

import math
import os
import struct
import wave

RATE = 22050


def tone(frequency, seconds, start, partials=((1.0, 1.0), (2.0, 0.35), (3.01, 0.12)), decay=6.0, attack=0.012):
    """Samples of one bell-like note placed `start` seconds into a buffer."""
    samples = {}
    count = int(seconds * RATE)
    offset = int(start * RATE)
    for i in range(count):
        t = i / RATE
        envelope = min(1.0, t / attack) * math.exp(-decay * t)
        value = sum(level * math.sin(2 * math.pi * frequency * ratio * t) for ratio, level in partials)
        samples[offset + i] = value * envelope
    return samples


def mix(length, *notes):
    buffer = [0.0] * int(length * RATE)
    for note in notes:
        for index, value in note.items():
            if index < len(buffer):
                buffer[index] += value
    peak = max(abs(v) for v in buffer) or 1.0
    return [v / peak for v in buffer]


def write(path, samples, volume):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", int(v * volume * 32767)) for v in samples))


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "sounds")
    os.makedirs(folder, exist_ok=True)
    drop = mix(0.6, tone(987.77, 0.6, 0.0, decay=7.5), tone(1318.51, 0.5, 0.045, decay=9.0))
    write(os.path.join(folder, "Drop.wav"), drop, 0.5)
    chime = mix(1.2, tone(1046.5, 1.0, 0.0), tone(1318.51, 0.95, 0.11), tone(1567.98, 1.0, 0.22, decay=4.5))
    write(os.path.join(folder, "Chime.wav"), chime, 0.45)


if __name__ == "__main__":
    main()
