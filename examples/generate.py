#!/usr/bin/env python3
"""Synthesises the example pair: a microphone and an under-saddle pickup impulse response of one
(imaginary) acoustic guitar, as 16-bit mono WAVE files at 44.1 kHz, written next to this script.

Each response is a sum of exponentially decaying sinusoids (the body's modes) plus a short
broadband click, starting at its own onset. The microphone hears the air path (a later onset),
the Helmholtz and body modes strongly and the highs softened; the pickup starts at once, is
brighter (a stronger click and high saddle/string modes) and carries fewer, weaker body modes.
Standard library only; the output is the same on every run.
"""
import math
import os
import random
import struct
import wave

RATE = 44100
LENGTH = 9000  # samples; a little more than the 8192 the analyzer reads

# (frequency Hz, amplitude, decay time constant s)
MIC_MODES = [
    (98.0, 1.00, 0.110),   # Helmholtz (air) resonance
    (196.0, 0.85, 0.080),  # first top-plate mode
    (232.0, 0.45, 0.060),  # back-plate mode
    (290.0, 0.30, 0.050),
    (385.0, 0.35, 0.045),
    (470.0, 0.22, 0.035),
    (560.0, 0.25, 0.030),
    (690.0, 0.18, 0.025),
    (840.0, 0.15, 0.020),
    (1020.0, 0.12, 0.018),
    (1350.0, 0.10, 0.014),
    (1800.0, 0.08, 0.010),
    (2450.0, 0.06, 0.008),
    (3300.0, 0.04, 0.006),
    (4600.0, 0.03, 0.004),
]

PICKUP_MODES = [
    (98.0, 0.15, 0.080),
    (196.0, 0.30, 0.070),
    (385.0, 0.15, 0.040),
    (1250.0, 0.20, 0.020),
    (2600.0, 0.30, 0.012),  # saddle and string modes, strong in the pickup only
    (4100.0, 0.35, 0.008),
    (6200.0, 0.30, 0.005),
    (9000.0, 0.20, 0.003),
]


def response(modes, onset, click, click_decay, smoothing, seed):
    """smoothing: coefficient of a one-pole low-pass on the click (1.0 leaves it white)."""
    rng = random.Random(seed)
    phases = [rng.uniform(0.0, 2.0 * math.pi) for _ in modes]
    out = [0.0] * LENGTH
    noise = 0.0
    for n in range(onset, LENGTH):
        t = (n - onset) / RATE
        s = 0.0
        for (f, a, tau), ph in zip(modes, phases):
            s += a * math.exp(-t / tau) * math.sin(2.0 * math.pi * f * t + ph)
        # Attack: decaying noise a few milliseconds long, low-passed for the microphone.
        noise += smoothing * (rng.gauss(0.0, 1.0) - noise)
        s += click * math.exp(-t / click_decay) * noise
        out[n] = s
    return out


def write_wave(path, samples):
    peak = max(abs(v) for v in samples) or 1.0
    scale = 0.9 * 32767 / peak
    data = b"".join(struct.pack("<h", int(round(v * scale))) for v in samples)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    # Mic about 30 cm from the bridge: roughly 39 samples of air path.
    mic = response(MIC_MODES, onset=39, click=1.0, click_decay=0.0015, smoothing=0.15, seed=1)
    pickup = response(PICKUP_MODES, onset=2, click=1.2, click_decay=0.0008, smoothing=1.0, seed=2)
    write_wave(os.path.join(here, "mic.wav"), mic)
    write_wave(os.path.join(here, "pickup.wav"), pickup)


if __name__ == "__main__":
    main()
