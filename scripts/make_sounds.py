#!/usr/bin/python3
"""Writes the two judge sounds as PCM WAVE files (44 100 Hz, 16-bit, stereo):
res/right.wav, a two-note chime of 313 344 bytes of samples, and
res/wrong.wav, a short low buzzer of 101 376 bytes of samples."""
import math
import os
import struct
import wave

RATE = 44100
RES = os.path.join(os.path.dirname(__file__), '..', 'res')


def write(name, frames, sample):
    with wave.open(os.path.join(RES, name), 'wb') as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        data = bytearray()
        for i in range(frames):
            v = max(-1.0, min(1.0, sample(i / RATE)))
            s = int(v * 32767 * 0.6)
            data += struct.pack('<hh', s, s)
        w.writeframes(bytes(data))


def chime(t):
    # Two bell-like notes (E6 then C7) with a soft attack and long decay.
    def bell(t0, f):
        if t < t0:
            return 0.0
        x = t - t0
        env = min(1.0, x / 0.01) * math.exp(-3.0 * x)
        return env * (math.sin(2 * math.pi * f * x) + 0.3 * math.sin(2 * math.pi * 2 * f * x))
    return 0.6 * (bell(0.0, 1318.5) + bell(0.25, 2093.0))


def buzzer(t):
    dur = 25344 / RATE
    env = min(1.0, t / 0.005) * min(1.0, (dur - t) / 0.02)
    square = 1.0 if math.sin(2 * math.pi * 150 * t) >= 0 else -1.0
    return 0.5 * env * square


write('right.wav', 313344 // 4, chime)
write('wrong.wav', 101376 // 4, buzzer)
