"""The reference effect the network is trained to imitate: the sound of Depth and Depth EQ.

Plain causal DSP, per channel and at the model rate, taking the network's own control values
(eq = Depth EQ / 5 with its switch on, 0 with it off; depth = Depth / 15):

1. Focus. With the switch on, a peaking filter at fc = 100 Hz x 100^((Depth EQ - 1) / 3)
   (100 Hz at 1, 464 Hz at 2, 2.15 kHz at 3, 10 kHz at 4) whose gain is 9 dB x depth: forward
   is a boost, back is a cut. With the switch off, a presence shelf at 2.5 kHz does the same
   broadband.
2. Distance. Pushed back, the highs fade as with distance: a shelf at 6 kHz whose cut grows as
   the square of depth (smooth through Depth 0) to 5 dB at -15.
3. Colour. A soft saturation A tanh(x / A): inaudible below about -12 dBFS, clearly harmonic at
   0 dBFS and never above A, however hot the input. Forward tightens A for a little more
   harmonic density; back loosens it.

Every filter is a minimum-phase biquad, so the whole is causal and adds no delay; at Depth 0 the
first two stages are the identity.
"""

import math

import numpy as np
from scipy import signal

FOCUS_GAIN_DB = 9.0
FOCUS_Q = 0.9
PRESENCE_FREQUENCY = 2500.0
PRESENCE_SLOPE = 0.7
DISTANCE_FREQUENCY = 6000.0
DISTANCE_CUT_DB = 5.0
SATURATION_LEVEL = 1.25     # A at Depth 0
SATURATION_SWING = 0.3      # log2 of how far A moves at Depth +-15


def focus_frequency(depth_eq):
    """Depth EQ 1..4 -> Hz."""
    return 100.0 * 100.0 ** ((depth_eq - 1.0) / 3.0)


def network_controls(depth, depth_eq, switch_on=True):
    """The plug-in's control values from its parameters: (eq, depth)."""
    return (depth_eq / 5.0 if switch_on else 0.0), depth / 15.0


def _peaking(frequency, gain_db, q, rate):
    a = 10.0 ** (gain_db / 40.0)
    w = 2.0 * math.pi * frequency / rate
    alpha = math.sin(w) / (2.0 * q)
    b = [1.0 + alpha * a, -2.0 * math.cos(w), 1.0 - alpha * a]
    den = [1.0 + alpha / a, -2.0 * math.cos(w), 1.0 - alpha / a]
    return np.array(b) / den[0], np.array(den) / den[0]


def _high_shelf(frequency, gain_db, slope, rate):
    a = 10.0 ** (gain_db / 40.0)
    w = 2.0 * math.pi * frequency / rate
    alpha = math.sin(w) / 2.0 * math.sqrt((a + 1.0 / a) * (1.0 / slope - 1.0) + 2.0)
    c, s = math.cos(w), 2.0 * math.sqrt(a) * alpha
    b = [a * ((a + 1) + (a - 1) * c + s), -2 * a * ((a - 1) + (a + 1) * c), a * ((a + 1) + (a - 1) * c - s)]
    den = [(a + 1) - (a - 1) * c + s, 2 * ((a - 1) - (a + 1) * c), (a + 1) - (a - 1) * c - s]
    return np.array(b) / den[0], np.array(den) / den[0]


def filters(eq, depth, rate):
    """The linear stages as a list of biquads (b, a)."""
    stages = []
    if eq > 0.0:
        stages.append(_peaking(focus_frequency(5.0 * eq), FOCUS_GAIN_DB * depth, FOCUS_Q, rate))
    else:
        stages.append(_high_shelf(PRESENCE_FREQUENCY, FOCUS_GAIN_DB * depth, PRESENCE_SLOPE, rate))
    stages.append(_high_shelf(DISTANCE_FREQUENCY, -DISTANCE_CUT_DB * min(depth, 0.0) ** 2, 0.5, rate))
    return stages


def saturation_level(depth):
    return SATURATION_LEVEL * 2.0 ** (-SATURATION_SWING * depth)


def linear_response(eq, depth, frequencies, rate):
    """Complex response of the linear stages at the given frequencies (Hz)."""
    response = np.ones(len(frequencies), dtype=complex)
    for b, a in filters(eq, depth, rate):
        response *= signal.freqz(b, a, worN=np.asarray(frequencies, dtype=float), fs=rate)[1]
    return response


def process(x, eq, depth, rate):
    """x: (..., time), each row a channel of its own. Returns the same shape, float64."""
    y = np.asarray(x, dtype=np.float64)
    for b, a in filters(eq, depth, rate):
        y = signal.lfilter(b, a, y, axis=-1)
    level = saturation_level(depth)
    return level * np.tanh(y / level)
