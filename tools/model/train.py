"""Trains the network to imitate the teacher at one model rate, seeded and reproducible.

    /usr/bin/python3 tools/model/train.py --rate 96000 --out tools/model/runs/96

writes <out>.pt (the state dict) and <out>.json (the model file with its reference run).

The start matters more than anything after it:
1. The designed cell (design.py): per-channel leaky modes with poles spread from 50 Hz to 13 kHz
   feeding a memoryless output unit that saturates as the teacher does, transparent at every
   control setting.
2. A prefit. At small signals, with the gates at 0.5, each mode is a one-pole filter whose
   residue is in proportion to its input weight, so a least-squares fit of the residues to the
   teacher's linear response gives input weights for every control setting; the hyper-network is
   fitted to output them.
3. The responses. Near silence the cell is a linear system whose frequency response follows
   exactly from its weights, so the hyper-network is trained on that response against the
   teacher's filters, over random settings, for thousands of cheap steps: this is where the
   recurrence learns to place resonances at each focus, which audio alone (its energy mostly
   low) steers too weakly. No mode may need a gain above its headroom to do it.
4. Audio: random stretches, controls and levels; error-to-signal ratio, a multi-resolution
   spectral term and the response term again.
Throughout, the FIR stays the identity: it is shared by every setting, and a trained one drifts
to a common tilt the recurrence must then undo. Weights that would couple the two channels, move
the gates or feed the output unit back never move, nor does the read-out. Each slow mode's
recurrent steps are scaled down by its distance from the unit circle, so that Adam does not knock
its pole away, and its input weight's steps to the tiny size that weight takes; a penalty keeps
every small-signal pole inside the circle.
"""

import argparse
import math
import os
import time

import numpy as np
import torch

import cell
import data
import design
import model_file
import teacher
from network import GATES, HIDDEN

SEEDS = {96000: 96, 192000: 192}
PREFIT_EQ = np.concatenate([[0.0], np.linspace(0.2, 0.8, 25)])
PREFIT_DEPTH = np.linspace(-1.0, 1.0, 21)
SLOW_STEP_DISTANCE = 0.1     # at 96 kHz, modes closer than this to the unit circle take proportionally smaller steps
RESPONSE_WEIGHT = 5.0
STABILITY_WEIGHT = 1e4


def prefit_residues(eq, depth, rate):
    """Least-squares residues of one channel's six units against the teacher's linear response: the
    output unit passes the input straight through; a mode reaches it a step late."""
    frequencies = np.geomspace(20.0, min(40000.0, 0.45 * rate), 300)
    delay = np.exp(-2j * np.pi * frequencies / rate)
    basis = np.stack([np.ones_like(delay)] + [delay / (1.0 - p * delay) for p in design.poles(rate)[1:]], axis=1)
    weight = np.where(frequencies <= 20000.0, 1.0, 0.3)[:, None]
    target = teacher.linear_response(eq, depth, frequencies, rate)
    system = np.concatenate([basis.real * weight, basis.imag * weight])
    residues, *_ = np.linalg.lstsq(system, np.concatenate([target.real * weight[:, 0], target.imag * weight[:, 0]]), rcond=None)
    return residues


def prefit(net, rate, steps=3000):
    """Fits the hyper-network's input-weight projection to the least-squares residues over a grid
    of controls; everything else it outputs stays at the designed cell. Errors are weighed by what
    they do to the output at DC, not by the weights' own sizes, which span four decades."""
    controls, targets = [], []
    designed = net.rnn.proj_ih.bias.detach().clone().reshape(2, GATES)
    gains = design.input_gains(rate)
    for eq in PREFIT_EQ:
        for depth in PREFIT_DEPTH:
            w_ih = designed.clone()
            residues = prefit_residues(eq, depth, rate)
            for channel in range(2):
                for offset, residue in enumerate(residues):
                    unit = channel * design.UNITS_PER_CHANNEL + offset
                    w_ih[channel, 2 * HIDDEN + unit] = residue / gains[offset]
            controls.append((eq, depth))
            targets.append(w_ih.reshape(-1))
    controls = torch.tensor(controls, dtype=torch.float32)
    targets = torch.stack(targets)
    at_dc = design.input_layout(g / (1.0 - p) for g, p in zip(gains, design.poles(rate)))
    scales = {p: scale for p, scale in step_scales(net, rate).items() if p is net.rnn.proj_ih.weight or p is net.rnn.proj_ih.bias}
    parameters = list(net.rnn.prelayers.parameters()) + list(net.rnn.proj_ih.parameters())
    optimiser = torch.optim.Adam(parameters, lr=3e-3)
    for step in range(steps):
        optimiser.zero_grad()
        w_ih, _ = net.rnn.projections(controls)
        loss = torch.mean(((w_ih - targets) * at_dc) ** 2)
        loss.backward()
        scaled_step(optimiser, scales)
    # The fit moved the shared features the recurrent projection reads: start it from exactly
    # the designed recurrence at every setting, or a slow mode may start unstable.
    with torch.no_grad():
        net.rnn.proj_hh.weight.zero_()
    return loss.item()


def random_controls(rng, count):
    """Depth EQ switched off one time in four, else anywhere on its range, its lowest focus (the
    hardest: its resonance sits closest to the circle) drawn more often; Depth anywhere, with
    its two ends drawn more often."""
    eq = np.where(rng.random(count) < 0.25, 0.0, rng.uniform(0.2, 0.8, count))
    eq = np.where((eq > 0.0) & (rng.random(count) < 0.15), 0.2, eq)
    depth = np.where(rng.random(count) < 0.15, rng.choice([-1.0, 1.0], count), rng.uniform(-1.0, 1.0, count))
    return np.stack([eq, depth], axis=1)


def fit_responses(net, rate, scales, steps, seed, learning_rate=3e-3, batch=64):
    """Trains the hyper-network on small-signal responses alone, which costs a fraction of a
    millisecond per setting: the recurrence learns to place its poles for each focus here,
    before any audio is run."""
    rng = np.random.default_rng(seed)
    parameters = list(net.rnn.parameters()) + [net.linear_out.weight]
    optimiser = torch.optim.Adam(parameters, lr=learning_rate)
    schedule = torch.optim.lr_scheduler.CosineAnnealingLR(optimiser, steps, eta_min=learning_rate / 30)
    for step in range(steps):
        controls = torch.tensor(random_controls(rng, batch), dtype=torch.float32)
        w_ih, w_hh = net.rnn(controls)
        loss = response_error(net, w_ih, w_hh, controls, rate) + STABILITY_WEIGHT * instability(w_hh)
        optimiser.zero_grad()
        loss.backward()
        scaled_step(optimiser, scales)
        schedule.step()
    return loss.item()


def scaled_step(optimiser, scales):
    """An optimiser step whose size is scaled element by element."""
    before = {p: p.detach().clone() for p in scales}
    optimiser.step()
    with torch.no_grad():
        for p, scale in scales.items():
            p.copy_(before[p] + scale * (p - before[p]))


def step_scales(net, rate):
    """Per-element step scales: zero where a weight stays as designed (the whole read-out too: the
    output unit's sets the ceiling), below one for the slow modes' recurrent rows and as small as
    a mode's input weight can usefully be for its input weights."""
    mask_ih, mask_hh = design.movable_masks()
    columns = torch.ones(GATES)
    for offset, p in enumerate(design.poles(rate)):
        # The same mode sits twice as close to the circle at twice the rate.
        scale = min(1.0, (1.0 - p) / (SLOW_STEP_DISTANCE * 96000.0 / rate))
        for channel in range(2):
            unit = channel * design.UNITS_PER_CHANNEL + offset
            columns[unit] = columns[2 * HIDDEN + unit] = scale
    hh = mask_hh * columns.repeat(HIDDEN)
    ih = mask_ih * design.input_layout(design.input_scales(rate))
    return {
        net.linear_out.weight: torch.zeros_like(net.linear_out.weight),
        net.rnn.proj_ih.weight: ih[:, None].expand_as(net.rnn.proj_ih.weight).clone(),
        net.rnn.proj_ih.bias: ih.clone(),
        net.rnn.proj_hh.weight: hh[:, None].expand_as(net.rnn.proj_hh.weight).clone(),
        net.rnn.proj_hh.bias: hh.clone(),
    }


# From DC: below the band the response sets the output's mean, which music carries a little of.
RESPONSE_FREQUENCIES = np.concatenate([[0.0, 10.0], np.geomspace(20.0, 20000.0, 128)])


def small_signal_response(net, w_ih, w_hh, rate, frequencies=RESPONSE_FREQUENCIES, with_states=False):
    """The network's response at the given frequencies (Hz), exactly, in its linear regime: near
    silence the gates sit at 0.5, so h <- (0.5 I + 0.25 W_n^T) h + 0.5 W_ih,n^T x and y = R h.
    Returns (batch, 2, frequencies), each channel from its own input, and with with_states the
    states' own responses (batch, frequencies, 12 units, 2 inputs)."""
    identity = torch.eye(HIDDEN, dtype=torch.complex64)
    system = (0.5 * torch.eye(HIDDEN) + 0.25 * w_hh[:, :, 2 * HIDDEN:].transpose(1, 2)).to(torch.complex64)
    drive = (0.5 * w_ih[:, :, 2 * HIDDEN:].transpose(1, 2)).to(torch.complex64)          # (batch, 12, 2)
    delay = torch.from_numpy(np.exp(-2j * np.pi * np.asarray(frequencies) / rate)).to(torch.complex64)
    matrices = identity - system[:, None] * delay[None, :, None, None]                   # (batch, f, 12, 12)
    states = torch.linalg.solve(matrices, drive[:, None].expand(-1, delay.numel(), -1, -1))
    response = net.linear_out.weight.to(torch.complex64) @ states                        # (batch, f, 2, 2)
    response = torch.diagonal(response, dim1=-2, dim2=-1).transpose(1, 2)
    return (response, states) if with_states else response


def response_error(net, w_ih, w_hh, controls, rate):
    """Relative complex error of the small-signal response against the teacher's linear stages,
    averaged over log-spaced frequencies: what steers the focus filter directly. Added to it, how
    far any mode's own gain exceeds its headroom (design.headroom): a mode that swings wide meets
    tanh at ordinary levels, and its pole, and with it the boost or cut it makes, then moves with
    level. The output unit has no such limit: its tanh is the saturation."""
    response, states = small_signal_response(net, w_ih, w_hh, rate, with_states=True)
    target = np.stack([teacher.linear_response(eq, depth, RESPONSE_FREQUENCIES, rate) for eq, depth in controls.tolist()])
    target = torch.from_numpy(target).to(torch.complex64)[:, None, :]
    error = ((response - target).abs().pow(2) / target.abs().pow(2)).mean()
    limit = torch.tensor(([math.inf] + design.headroom(rate)) * 2)[:, None]
    return error + (torch.relu(states.abs() - limit) / limit).pow(2).mean()


TRANSPARENT_EQ = np.concatenate([[0.0], np.linspace(0.2, 0.8, 7)])


def opacity(net, rate):
    """How far Depth 0 strays from the identity, over Depth EQ. Random controls almost never draw
    Depth 0 itself, and there the response is held no better than anywhere else: a few percent,
    a ripple of half a decibel that the plug-in's users hear as a cost of merely loading it.
    Weighed on the audio stage only: in the response stage, where the hyper-network first learns
    its focus filters, the same pull took 1 to 6 dB from the lifts. Through the whole audio stage
    it still cost an earlier 96 kHz set 0.4 dB of its 10 kHz lift; in the last 500 steps alone it
    cost nothing measurable (transparency_steps)."""
    controls = torch.tensor([[eq, 0.0] for eq in TRANSPARENT_EQ], dtype=torch.float32)
    w_ih, w_hh = net.rnn(controls)
    return (small_signal_response(net, w_ih, w_hh, rate) - 1.0).abs().pow(2).mean()


def instability(w_hh, limit=0.9995):
    """How far the small-signal poles stray past a radius just inside the unit circle. With the
    gates at 0.5 near silence, each channel's units follow h <- (0.5 I + 0.25 W_n^T) h, and two
    slow modes need only the slightest coupling to push a pole outside, where the network would
    ring on after the signal stops."""
    penalty = 0.0
    units = design.UNITS_PER_CHANNEL
    for channel in range(2):
        block = slice(channel * units, (channel + 1) * units)
        new_state = w_hh[:, block, 2 * HIDDEN:][:, :, block]
        system = 0.5 * torch.eye(units) + 0.25 * new_state.transpose(1, 2)
        radius = torch.linalg.eigvals(system).abs()
        penalty = penalty + torch.relu(radius - limit).pow(2).sum()
    return penalty


class Batches:
    """Random stretches of the training audio, each channel its own stretch and level, under
    random controls; the teacher's output alongside."""

    def __init__(self, audio, rate, batch, length, seed):
        self.audio, self.rate, self.batch, self.length = audio, rate, batch, length
        self.rng = np.random.default_rng(seed)

    def level(self):
        """Peak level, -60 to +6 dBFS."""
        return 10.0 ** (self.rng.uniform(-60.0, 6.0) / 20.0)

    def stretch(self):
        start = self.rng.integers(0, self.audio.size - self.length)
        piece = self.audio[start:start + self.length].astype(np.float64)
        peak = np.max(np.abs(piece))
        return piece / peak * self.level() if peak > 1e-4 else piece

    def __next__(self):
        x = np.zeros((self.batch, 2, self.length))
        y = np.zeros_like(x)
        controls = np.zeros((self.batch, 2))
        for b in range(self.batch):
            controls[b] = random_controls(self.rng, 1)[0]
            x[b, 0], x[b, 1] = self.stretch(), self.stretch()
            y[b] = teacher.process(x[b], controls[b, 0], controls[b, 1], self.rate)
        as_tensor = lambda a: torch.from_numpy(a.astype(np.float32))
        return as_tensor(x), as_tensor(controls), as_tensor(y)


def forward(net, x, controls, with_weights=False):
    """The network over a batch, with the cell in the C++ kernel; the FIR is the identity."""
    w_ih, w_hh = net.rnn(controls)
    y = net.linear_out(cell.run(x, w_ih, w_hh)).transpose(1, 2)
    return (y, w_ih, w_hh) if with_weights else y


def error_to_signal(y, target):
    """Per example and channel, then averaged: quiet stretches count as much as loud ones, down
    to a floor near -80 dBFS below which a stretch is silence and its error counts as such."""
    energy = target.pow(2).sum(-1)
    error = (y - target).pow(2).sum(-1)
    return (error / (energy + 1e-8 * target.shape[-1])).mean()


def spectral(y, target, sizes=(256, 1024, 4096)):
    """Multi-resolution spectral convergence and log-magnitude distance."""
    total = 0.0
    flat_y, flat_t = y.reshape(-1, y.shape[-1]), target.reshape(-1, target.shape[-1])
    floor = 1e-4 * flat_t.abs().amax(-1, keepdim=True).unsqueeze(-1) + 1e-7
    for size in sizes:
        window = torch.hann_window(size)
        # |z| and norms have no gradient at 0, which silence reaches
        stft = lambda s: torch.view_as_real(torch.stft(s, size, size // 4, window=window, return_complex=True)).pow(2).sum(-1).add(1e-18).sqrt()
        my, mt = stft(flat_y), stft(flat_t)
        convergence = ((my - mt).pow(2).sum((1, 2)) + 1e-18).sqrt() / (mt.norm(dim=(1, 2)) + 1e-9)
        total = total + convergence.mean() + (torch.log(my + floor * size) - torch.log(mt + floor * size)).abs().mean()
    return total / len(sizes)


def train(rate, steps, batch, length, data_folder, seed, response_steps=8000, transparency=0.0, transparency_steps=None,
          learning_rate=3e-4, log_every=100):
    torch.manual_seed(seed)
    net = design.designed_network(rate, seed)
    print(f"prefit {prefit(net, rate):.2e}", flush=True)
    scales = step_scales(net, rate)
    print(f"responses {fit_responses(net, rate, scales, response_steps, seed):.2e}", flush=True)

    audio, _ = data.load(data_folder, rate, "train")
    batches = Batches(audio, rate, batch, length, seed)
    parameters = list(net.rnn.parameters()) + [net.linear_out.weight]
    optimiser = torch.optim.Adam(parameters, lr=learning_rate)
    # A slow warm-up: Adam's first steps are full-sized whatever the gradient, and every weight
    # the hyper-network outputs moves with its shared layers.
    warm_up = max(1, steps // 20)
    schedule = torch.optim.lr_scheduler.LambdaLR(
        optimiser, lambda s: min(1.0, (s + 1) / warm_up) * (0.02 + 0.98 * 0.5 * (1 + math.cos(math.pi * s / steps))))
    began, running = time.time(), []
    for step in range(steps):
        x, controls, target = next(batches)
        y, w_ih, w_hh = forward(net, x, controls, with_weights=True)
        esr = error_to_signal(y, target)
        response = response_error(net, w_ih, w_hh, controls, rate)
        if transparency and (transparency_steps is None or step >= steps - transparency_steps):
            response = response + transparency * opacity(net, rate)
        loss = esr + 0.1 * spectral(y, target) + RESPONSE_WEIGHT * response + STABILITY_WEIGHT * instability(w_hh)
        optimiser.zero_grad()
        loss.backward()
        torch.nn.utils.clip_grad_norm_(parameters, 1.0)
        scaled_step(optimiser, scales)
        schedule.step()
        running.append(esr.item())
        if (step + 1) % log_every == 0:
            print(f"step {step + 1} esr {np.mean(running):.4f} ({time.time() - began:.0f} s)", flush=True)
            running = []
    return net


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rate", type=int, choices=sorted(SEEDS), required=True)
    parser.add_argument("--response-steps", type=int, default=8000, help="steps on small-signal responses alone")
    parser.add_argument("--steps", type=int, default=3000, help="steps on audio")
    parser.add_argument("--transparency", type=float, default=0.0,
                        help="weight of Depth 0's distance from the identity, against the average setting's")
    parser.add_argument("--transparency-steps", type=int, default=None,
                        help="pull Depth 0 towards the identity in only the last this many audio steps")
    parser.add_argument("--batch", type=int, default=16)
    parser.add_argument("--length", type=int, default=8192, help="samples per stretch at the model rate")
    parser.add_argument("--threads", type=int, default=4)
    parser.add_argument("--data", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "data"))
    parser.add_argument("--out", required=True, help="path without extension for the .pt and .json")
    args = parser.parse_args()
    torch.set_num_threads(args.threads)
    net = train(args.rate, args.steps, args.batch, args.length, args.data, SEEDS[args.rate], args.response_steps,
                args.transparency, args.transparency_steps)
    torch.save(net.state_dict(), args.out + ".pt")
    model_file.save(net, args.out + ".json")
    print(f"wrote {args.out}.pt and {args.out}.json")


if __name__ == "__main__":
    main()
