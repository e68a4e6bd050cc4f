"""The model file: one JSON object of flat number arrays keyed by the network's parameter names,
with a reference run of the network itself that the C++ classes are checked against."""

import json

import numpy as np
import torch

from network import KERNEL, LumbraneNet, gru_step

REFERENCE_CONTROLS = (0.6, 10.0 / 15.0)   # Depth EQ 3 with its switch on, Depth 10
REFERENCE_INPUT = 4096
REFERENCE_OUTPUT = REFERENCE_INPUT - KERNEL + 1

WEIGHT_KEYS = [
    "conv_in.weight",
    "rnn.prelayers.0.weight", "rnn.prelayers.0.bias",
    "rnn.prelayers.2.weight", "rnn.prelayers.2.bias",
    "rnn.prelayers.4.weight", "rnn.prelayers.4.bias",
    "rnn.prelayers.6.weight", "rnn.prelayers.6.bias",
    "rnn.proj_ih.weight", "rnn.proj_ih.bias",
    "rnn.proj_hh.weight", "rnn.proj_hh.bias",
    "linear_out.weight",
]
KEYS = ["hidden", "x", "y", "ih", "hh"] + WEIGHT_KEYS


def reference_input(seed=1234):
    """Two distinct channels of tones, a decaying burst and noise, peaking near 0.6."""
    rng = np.random.default_rng(seed)
    t = np.arange(REFERENCE_INPUT) / 96000.0
    left = 0.3 * np.sin(2 * np.pi * 220 * t) + 0.15 * np.sin(2 * np.pi * 3100 * t) + 0.05 * rng.standard_normal(t.size)
    right = 0.25 * np.sin(2 * np.pi * 97 * t + 1.0) + 0.1 * rng.standard_normal(t.size)
    burst = np.exp(-t * 900.0) * np.sin(2 * np.pi * 1800 * t)
    right[2500:] += 0.3 * burst[: REFERENCE_INPUT - 2500]
    return np.stack([left, right]).astype(np.float32)


@torch.no_grad()
def reference_run(net, x):
    """The stored reference: projections at the reference controls, then the cell stepped over
    both channels filtered as out[s] = sum_m k[m] x[s + m] (the FIR's valid outputs)."""
    controls = torch.tensor(REFERENCE_CONTROLS, dtype=torch.float32)
    ih, hh = net.rnn.projections(controls)
    w_ih, w_hh = ih.reshape(2, -1), hh.reshape(12, -1)
    kernel = net.conv_in.weight.reshape(1, 1, KERNEL)
    filtered = torch.nn.functional.conv1d(torch.from_numpy(x).reshape(2, 1, -1), kernel).reshape(2, -1)
    h = torch.zeros(12)
    y = torch.zeros(2, filtered.shape[-1])
    for s in range(filtered.shape[-1]):
        h = gru_step(filtered[:, s], h, w_ih, w_hh)
        y[:, s] = net.linear_out(h)
    return {"hidden": h, "y": y, "ih": ih, "hh": hh}


def save(net, path):
    x = reference_input()
    run = reference_run(net, x)
    state = net.state_dict()
    arrays = {"hidden": run["hidden"], "x": torch.from_numpy(x), "y": run["y"], "ih": run["ih"], "hh": run["hh"]}
    arrays.update({key: state[key] for key in WEIGHT_KEYS})
    document = {key: [float(f"{v:.9g}") for v in arrays[key].detach().reshape(-1).tolist()] for key in KEYS}
    with open(path, "w") as f:
        json.dump(document, f, separators=(",", ":"))
        f.write("\n")


def load(path):
    """A network with the weights of a model file."""
    with open(path) as f:
        document = json.load(f)
    net = LumbraneNet()
    state = net.state_dict()
    for key in WEIGHT_KEYS:
        state[key] = torch.tensor(document[key], dtype=torch.float32).reshape(state[key].shape)
    net.load_state_dict(state)
    return net
