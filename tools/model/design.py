"""A designed starting point for the network, transparent at every control setting.

With its gate weights at zero the cell's reset and update gates sit at exactly 0.5, and at small
signals it is the linear system h <- (0.5 I + 0.25 W_hh,n^T) h + 0.5 W_ih,n^T x. The gates stay
there through training: the cell is then an odd function of its input, as the teacher is, and
can make no even harmonics and no offset however it is driven.

Each channel gets six units of its own (0-5 left, 6-11 right), laid out as the teacher is: a
filter, then a saturation. Five leaky modes with real poles from about 50 Hz to 13 kHz are the
filter, for training to shape and couple into resonances; they are never read out. The sixth,
the output unit, has no memory: it sums the input and the modes, and it alone is read out, so
that however hot the input, the output never passes its read-out (SATURATION_LEVEL), the
ceiling the teacher's saturation sets. The modes start silent (no input weight), so the designed
start is the output unit alone: unity gain near silence, squashed towards the ceiling when hot.
A mode's state is kept small (see headroom()) and its weight into the output unit large in
proportion. The hyper-network's projection biases hold this cell and its projection weights
start small, so every control setting begins from it; weights that would couple the two
channels are zero, and training keeps them so.
"""

import math

import torch

from network import GATES, HIDDEN, KERNEL, LumbraneNet

UNITS_PER_CHANNEL = HIDDEN // 2
MODE_FREQUENCIES = (50.0, 200.0, 800.0, 3200.0, 12800.0)   # Hz; unit 0 of a channel has no memory
SATURATION_LEVEL = 1.25   # the teacher's ceiling at Depth 0; it moves by less than 2 dB with Depth
OUTPUT_UNIT = 0


def pole(frequency, model_rate):
    return math.exp(-2.0 * math.pi * frequency / model_rate)


def poles(model_rate):
    """Each channel's six poles, its memoryless unit first."""
    return [0.0] + [pole(f, model_rate) for f in MODE_FREQUENCIES]


def headroom(model_rate):
    """Each mode's largest small-signal gain from the input to its state. A slow mode's state feeds
    its own tanh, and at amplitude s the slope 1 - s^2 pulls its pole in by about s^2 / 2: a
    50 Hz mode at 96 kHz, 0.0033 from the circle, would act as a 130 Hz one at s = 0.1, which
    turns a cut into a shelf that fades with level. Keeping s^2 below the pole's distance from the
    circle at full scale holds that shift to an eighth of the distance at -6 dBFS."""
    return [min(1.0, math.sqrt(1.0 - p)) for p in poles(model_rate)[1:]]


def mode_couplings(model_rate):
    """Each mode's weight into the output unit: large enough that a mode whose contribution to
    the output is as large as the input's needs no more than its headroom."""
    return [4.0 / (SATURATION_LEVEL * limit) for limit in headroom(model_rate)]


def input_gains(model_rate):
    """How much of each unit's input weight reaches the output near silence, per channel unit:
    the output unit's half (its state is half its drive), a mode's through its coupling."""
    return [0.5 * SATURATION_LEVEL] + [0.125 * SATURATION_LEVEL * c for c in mode_couplings(model_rate)]


def input_scales(model_rate):
    """The size each unit's input weight can usefully take, per channel unit: a slow mode's is
    tiny (its state is held within headroom though its pole sums thousands of steps), and its
    random start and its training steps are scaled to it, or they would swamp it."""
    return [1.0] + [min(1.0, 8.0 * (1.0 - p) * limit) for p, limit in zip(poles(model_rate)[1:], headroom(model_rate))]


def input_layout(per_unit):
    """One value per unit of a channel, spread over W_ih (2 x 36) in the projections' row-by-row
    order: every gate of every unit of both channels."""
    return torch.tensor(list(per_unit) * 2).repeat(3).repeat(2)


def designed_cell(model_rate):
    """W_ih (2 x 36), W_hh (12 x 36) and the read-out (2 x 12) of the transparent cell."""
    w_ih = torch.zeros(2, GATES)
    w_hh = torch.zeros(HIDDEN, GATES)
    read_out = torch.zeros(2, HIDDEN)
    new_state = 2 * HIDDEN

    for channel in range(2):
        first = channel * UNITS_PER_CHANNEL
        output = first + OUTPUT_UNIT
        for offset, p in enumerate(poles(model_rate)):
            unit = first + offset
            w_hh[unit, new_state + unit] = 4.0 * p - 2.0     # 0.5 + 0.25 a = p
        for offset, coupling in enumerate(mode_couplings(model_rate), start=1):
            w_hh[first + offset, new_state + output] = coupling
        w_ih[channel, new_state + output] = 1.0 / input_gains(model_rate)[OUTPUT_UNIT]
        read_out[channel, output] = SATURATION_LEVEL
    return w_ih, w_hh, read_out


def movable_masks():
    """1 where training may move a weight, 0 where it stays as designed: W_ih (2 x 36) and W_hh
    (12 x 36), in the projections' row-by-row order. Only the new-state gate moves, within a
    channel: the reset and update gates stay at one half. The output unit's memory stays nil and
    it feeds no mode back, so the filter before it stays linear however hot the output."""
    unit_channel = torch.arange(HIDDEN) // UNITS_PER_CHANNEL
    column_unit = torch.arange(GATES) % HIDDEN
    new_state = torch.arange(GATES) >= 2 * HIDDEN
    same_channel_ih = torch.arange(2)[:, None] == unit_channel[column_unit][None, :]
    same_channel_hh = unit_channel[:, None] == unit_channel[column_unit][None, :]
    from_output = (torch.arange(HIDDEN) % UNITS_PER_CHANNEL == OUTPUT_UNIT)[:, None]
    ih = same_channel_ih & new_state[None, :]
    hh = same_channel_hh & new_state[None, :] & ~from_output
    return ih.float().reshape(-1), hh.float().reshape(-1)


def designed_network(model_rate, seed, projection_scale=0.01):
    """The network at its designed start; the seed fixes the hyper-network's own weights."""
    torch.manual_seed(seed)
    net = LumbraneNet()
    w_ih, w_hh, read_out = designed_cell(model_rate)
    with torch.no_grad():
        net.conv_in.weight.zero_()
        net.conv_in.weight[0, 0, KERNEL - 1] = 1.0   # stored tap 2047: no delay
        ih_mask, hh_mask = movable_masks()
        ih_scale = ih_mask * input_layout(input_scales(model_rate))
        for projection, cell, mask in zip((net.rnn.proj_ih, net.rnn.proj_hh), (w_ih, w_hh), (ih_scale, hh_mask)):
            projection.weight.mul_(projection_scale * mask[:, None])
            projection.bias.copy_(cell.reshape(-1))
        net.linear_out.weight.copy_(read_out)
    return net
