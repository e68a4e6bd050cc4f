"""A designed starting point for the network, transparent at every control setting.

With its gate weights at zero the cell's reset and update gates sit at exactly 0.5, and at small
signals it is the linear system h <- (0.5 I + 0.25 W_hh,n^T) h + 0.5 W_ih,n^T x. Each channel gets
six units of its own (0-5 left, 6-11 right) with a diagonal recurrence: one memoryless unit that
carries the signal, and five leaky modes with real poles from about 50 Hz to 13 kHz for training
to shape. The read-out weighs every unit alike; the modes start silent (no input weight), so only
the memoryless units are heard, with states near half the signal: linear at ordinary levels,
gently squashed by tanh near full scale, the start of the colour the trained sound has when
driven hot. The hyper-network's projection biases
hold this cell and its projection weights start small, so every control setting begins from it;
weights that would couple the two channels are zero, and training keeps them so.
"""

import math

import torch

from network import GATES, HIDDEN, KERNEL, LumbraneNet

UNITS_PER_CHANNEL = HIDDEN // 2
MODE_FREQUENCIES = (50.0, 200.0, 800.0, 3200.0, 12800.0)   # Hz; unit 0 of a channel has no memory
INPUT_WEIGHT = 1.0
READ_OUT = 1.0 / (0.5 * INPUT_WEIGHT)   # restores unity gain


def pole(frequency, model_rate):
    return math.exp(-2.0 * math.pi * frequency / model_rate)


def poles(model_rate):
    """Each channel's six poles, its memoryless unit first."""
    return [0.0] + [pole(f, model_rate) for f in MODE_FREQUENCIES]


def designed_cell(model_rate):
    """W_ih (2 x 36), W_hh (12 x 36) and the read-out (2 x 12) of the transparent cell."""
    w_ih = torch.zeros(2, GATES)
    w_hh = torch.zeros(HIDDEN, GATES)
    read_out = torch.zeros(2, HIDDEN)
    new_state = 2 * HIDDEN

    for channel in range(2):
        first = channel * UNITS_PER_CHANNEL
        for offset, p in enumerate(poles(model_rate)):
            unit = first + offset
            w_hh[unit, new_state + unit] = 4.0 * p - 2.0     # 0.5 + 0.25 a = p
            read_out[channel, unit] = READ_OUT
        w_ih[channel, new_state + first] = INPUT_WEIGHT
    return w_ih, w_hh, read_out


def channel_masks():
    """1 where a weight joins a channel's own units, 0 where it would leak into the other
    channel: W_ih (2 x 36) and W_hh (12 x 36), in the projections' row-by-row order."""
    unit_channel = torch.arange(HIDDEN) // UNITS_PER_CHANNEL
    column_channel = unit_channel.repeat(3)                       # three gates of twelve units
    ih = (torch.arange(2)[:, None] == column_channel[None, :]).float()
    hh = (unit_channel[:, None] == column_channel[None, :]).float()
    return ih.reshape(-1), hh.reshape(-1)


def designed_network(model_rate, seed, projection_scale=0.01):
    """The network at its designed start; the seed fixes the hyper-network's own weights."""
    torch.manual_seed(seed)
    net = LumbraneNet()
    w_ih, w_hh, read_out = designed_cell(model_rate)
    with torch.no_grad():
        net.conv_in.weight.zero_()
        net.conv_in.weight[0, 0, KERNEL - 1] = 1.0   # stored tap 2047: no delay
        for projection, cell, mask in zip((net.rnn.proj_ih, net.rnn.proj_hh), (w_ih, w_hh), channel_masks()):
            projection.weight.mul_(projection_scale * mask[:, None])
            projection.bias.copy_(cell.reshape(-1))
        net.linear_out.weight.copy_(read_out)
    return net
