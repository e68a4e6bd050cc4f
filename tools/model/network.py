"""The plug-in's network in PyTorch, arithmetic for arithmetic.

A hyper-network turns the two controls (Depth EQ, depth) into the weights of a 12-unit GRU cell
without biases; a 2048-tap FIR filters the input first; a 12 x 2 layer reads the state out.
Parameter names are the keys of the model file, in torch's [out][in] layout.
"""

import torch
from torch import nn

HIDDEN = 12
GATES = 3 * HIDDEN          # reset, update, new: twelve columns each
CHANNELS = 2
KERNEL = 2048
WIDTH = 16
LEAKY_SLOPE = 0.2


class HyperNetwork(nn.Module):
    """Controls -> four leaky-ReLU layers of 16 -> the cell's input and recurrent weights."""

    def __init__(self):
        super().__init__()
        self.prelayers = nn.Sequential(
            nn.Linear(2, WIDTH), nn.LeakyReLU(LEAKY_SLOPE),
            nn.Linear(WIDTH, WIDTH), nn.LeakyReLU(LEAKY_SLOPE),
            nn.Linear(WIDTH, WIDTH), nn.LeakyReLU(LEAKY_SLOPE),
            nn.Linear(WIDTH, WIDTH), nn.LeakyReLU(LEAKY_SLOPE),
        )
        self.proj_ih = nn.Linear(WIDTH, CHANNELS * GATES)
        self.proj_hh = nn.Linear(WIDTH, HIDDEN * GATES)

    def forward(self, controls):
        """controls: (..., 2) as [eq, depth]. Returns W_ih (..., 2, 36) and W_hh (..., 12, 36),
        filled row by row from the projections."""
        features = self.prelayers(controls)
        w_ih = self.proj_ih(features).reshape(*controls.shape[:-1], CHANNELS, GATES)
        w_hh = self.proj_hh(features).reshape(*controls.shape[:-1], HIDDEN, GATES)
        return w_ih, w_hh

    def projections(self, controls):
        """The two projection rows themselves (what the reference run calls "ih" and "hh")."""
        features = self.prelayers(controls)
        return self.proj_ih(features), self.proj_hh(features)


def gru_step(x, h, w_ih, w_hh):
    """One step of the cell: x (..., 2), h (..., 12), weights (..., 2, 36) and (..., 12, 36)."""
    gi = torch.einsum("...c,...cg->...g", x, w_ih)
    gh = torch.einsum("...j,...jg->...g", h, w_hh)
    r = torch.sigmoid(gi[..., :HIDDEN] + gh[..., :HIDDEN])
    z = torch.sigmoid(gi[..., HIDDEN:2 * HIDDEN] + gh[..., HIDDEN:2 * HIDDEN])
    n = torch.tanh(gi[..., 2 * HIDDEN:] + r * gh[..., 2 * HIDDEN:])
    return z * h + (1 - z) * n


class LumbraneNet(nn.Module):
    def __init__(self):
        super().__init__()
        self.conv_in = nn.Conv1d(1, 1, KERNEL, bias=False)
        self.rnn = HyperNetwork()
        self.linear_out = nn.Linear(HIDDEN, CHANNELS, bias=False)

    def fir(self, x):
        """Causal FIR as the plug-in runs it: y[t] = sum_m k[m] x[t - 2047 + m], so stored tap
        2047 has no delay. x: (batch, channels, time)."""
        b, c, t = x.shape
        padded = nn.functional.pad(x.reshape(b * c, 1, t), (KERNEL - 1, 0))
        return self.conv_in(padded).reshape(b, c, t)

    def forward(self, x, controls, h=None):
        """x: (batch, 2, time); controls: (batch, 2) as [eq, depth]. Returns (y, final h)."""
        filtered = self.fir(x)
        w_ih, w_hh = self.rnn(controls)
        if h is None:
            h = x.new_zeros(x.shape[0], HIDDEN)
        outputs = []
        for t in range(x.shape[-1]):
            h = gru_step(filtered[..., t], h, w_ih, w_hh)
            outputs.append(self.linear_out(h))
        return torch.stack(outputs, dim=-1), h
