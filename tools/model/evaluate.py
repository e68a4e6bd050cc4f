"""Measures a model file against the teacher on held-out material it never trained on, and prints
the results as Markdown.

    /usr/bin/python3 tools/model/evaluate.py resources/model96.json resources/model192.json --plots docs

The rate of each file is taken from its name (96 or 192). Reported: the error-to-signal ratio
over a grid of Depth x Depth EQ at three levels; the gain at the focus frequency against the
teacher's; Depth 0's deviation from flat; distortion at -20 dBFS; the 100 Hz focus against
level; distortion at -22 dBFS at every setting; the ceiling when driven hot; the mean on music. With --plots, writes
response<rate>.png (teacher and network side by side) and distortion<rate>.png.
"""

import argparse
import os
import re

import numpy as np
import torch

import data
import model_file
import teacher
import train

DEPTHS = (-15.0, -7.5, 0.0, 7.5, 15.0)
EQS = (None, 1.0, 2.0, 3.0, 4.0)          # None: the switch off
LEVELS = (-30.0, -18.0, -6.0)             # peak dBFS of each stretch
STRETCH = 1 << 15
STRETCHES = 12
FOCUS_LEVELS = (-40.0, -30.0, -18.0, -12.0, -6.0)
THD_DEPTHS = (-15.0, 0.0, 15.0)
THD_TONES = (100.0, 1000.0)
HOT_LEVELS = (0.0, 6.0, 10.0, 14.0)
HOT_SETTINGS = ((3.0, -15.0, 1000.0), (3.0, 0.0, 1000.0), (3.0, 15.0, 1000.0), (1.0, 15.0, 100.0))


def eq_name(eq):
    return "off" if eq is None else f"{eq:g}"


def controls(depth, eq):
    return teacher.network_controls(depth, eq or 0.0, eq is not None)


@torch.no_grad()
def network_output(net, x, eq_control, depth_control):
    """x: (stretches, 2, time) float64 -> float64: the recurrent network and its read-out. The FIR,
    which training holds at the identity, is left out."""
    c = torch.tensor([[eq_control, depth_control]], dtype=torch.float32).expand(x.shape[0], 2).contiguous()
    return train.forward(net, torch.from_numpy(x.astype(np.float32)), c).double().numpy()


def held_out_stretches(folder, rate):
    audio, _ = data.load(folder, rate, "test")
    rng = np.random.default_rng(7)
    length = STRETCH * rate // 96000
    picks = []
    while len(picks) < 2 * STRETCHES:
        start = rng.integers(0, audio.size - length)
        piece = audio[start:start + length].astype(np.float64)
        if np.max(np.abs(piece)) > 1e-3:
            picks.append(piece / np.max(np.abs(piece)))
    return np.stack(picks).reshape(STRETCHES, 2, length)


def esr_grid(net, rate, stretches):
    """{(level, eq, depth): ESR}, pooled over the stretches."""
    grid = {}
    for level in LEVELS:
        x = stretches * 10 ** (level / 20)
        for eq in EQS:
            for depth in DEPTHS:
                eq_control, depth_control = controls(depth, eq)
                y = network_output(net, x, eq_control, depth_control)
                t = teacher.process(x, eq_control, depth_control, rate)
                grid[level, eq, depth] = float(np.sum((y - t) ** 2) / np.sum(t ** 2))
    return grid


def responses(net, rate, eq, depth, amplitude=10 ** (-30 / 20), length=1 << 16):
    """Small-signal magnitude responses (dB) of teacher and network from an impulse."""
    x = np.zeros((1, 2, length))
    x[0, 0, 0] = amplitude
    eq_control, depth_control = controls(depth, eq)
    frequencies = np.fft.rfftfreq(length, 1.0 / rate)
    to_db = lambda y: 20 * np.log10(np.abs(np.fft.rfft(y[0, 0])) / amplitude + 1e-12)
    return frequencies, to_db(teacher.process(x, eq_control, depth_control, rate)), \
        to_db(network_output(net, x, eq_control, depth_control))


def sine_gains(net, rate, eq, depth, frequencies, level=-30.0):
    """Gain (dB) at each frequency, teacher and network, from whole cycles of a steady sine."""
    result = []
    for f in frequencies:
        cycles = max(8, int(np.ceil(f * 0.05)))
        period = rate / f
        settle, length = int(0.1 * rate), int(round(cycles * period))
        t = np.arange(settle + length) / rate
        x = np.zeros((1, 2, t.size))
        x[0, 0] = 10 ** (level / 20) * np.sin(2 * np.pi * f * t)
        eq_control, depth_control = controls(depth, eq)
        pair = []
        for y in (teacher.process(x, eq_control, depth_control, rate), network_output(net, x, eq_control, depth_control)):
            window = slice(settle, settle + length)
            pair.append(20 * np.log10(np.sqrt(np.mean(y[0, 0, window] ** 2) / np.mean(x[0, 0, window] ** 2))))
        result.append(pair)
    return np.array(result)


def distortion(net, rate, eq, depth, level, f=1000.0):
    """THD (%) of a sine (1 kHz unless told), teacher and network."""
    length = rate // 2
    t = np.arange(rate) / rate
    x = np.zeros((1, 2, t.size))
    x[0, 0] = 10 ** (level / 20) * np.sin(2 * np.pi * f * t)
    eq_control, depth_control = controls(depth, eq)
    result = []
    for y in (teacher.process(x, eq_control, depth_control, rate), network_output(net, x, eq_control, depth_control)):
        tail = y[0, 0, -length:]
        spectrum = np.abs(np.fft.rfft(tail * np.blackman(length)))
        bin_of = lambda k: int(round(k * f * length / rate))
        harmonic = lambda k: np.sqrt(np.sum(spectrum[bin_of(k) - 3:bin_of(k) + 4] ** 2))
        result.append(100 * np.sqrt(sum(harmonic(k) ** 2 for k in range(2, 10))) / harmonic(1))
    return result


def plot(net, rate, folder):
    import matplotlib
    matplotlib.use("Agg")
    from matplotlib import pyplot

    figure, axes = pyplot.subplots(2, 2, figsize=(12, 8), sharex=True, sharey=True)
    families = [("Depth at Depth EQ 3", [(3.0, d) for d in DEPTHS]),
                ("Depth EQ at Depth +15 and -15", [(eq, d) for d in (15.0, -15.0) for eq in EQS])]
    for row, (title, settings) in enumerate(families):
        for eq, depth in settings:
            frequencies, reference, network = responses(net, rate, eq, depth)
            label = f"EQ {eq_name(eq)}, Depth {depth:+g}"
            for column, curve in enumerate((reference, network)):
                axes[row, column].semilogx(frequencies[1:], curve[1:], label=label)
        for column, who in enumerate(("teacher", "network")):
            axes[row, column].set_title(f"{title}: {who}")
            axes[row, column].grid(True, which="both", alpha=0.3)
        axes[row, 1].legend(fontsize=7, ncol=2)
    for axis in axes.flat:
        axis.set_xlim(20, 20000)
        axis.set_ylim(-18, 12)
        axis.set_xlabel("Hz")
        axis.set_ylabel("dB")
    figure.suptitle(f"Magnitude at -30 dBFS, {rate // 1000} kHz model")
    figure.tight_layout()
    figure.savefig(os.path.join(folder, f"response{rate // 1000}.png"), dpi=80)

    figure, axis = pyplot.subplots(figsize=(8, 5))
    levels = np.arange(-40.0, 13.0, 4.0)
    for depth, colour in ((-15.0, "tab:blue"), (0.0, "tab:green"), (15.0, "tab:red")):
        values = np.array([distortion(net, rate, 3.0, depth, level) for level in levels])
        axis.semilogy(levels, values[:, 0], "--", color=colour, label=f"teacher, Depth {depth:+g}")
        axis.semilogy(levels, values[:, 1], "-", color=colour, label=f"network, Depth {depth:+g}")
    axis.set_xlabel("1 kHz sine, dBFS")
    axis.set_ylabel("THD, %")
    axis.set_title(f"Harmonic distortion at Depth EQ 3, {rate // 1000} kHz model")
    axis.grid(True, which="both", alpha=0.3)
    axis.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(os.path.join(folder, f"distortion{rate // 1000}.png"), dpi=80)


def peak_out(net, rate, eq, depth, level, f):
    """Peak output (dBFS) of a steady sine, teacher and network."""
    t = np.arange(rate // 2) / rate
    x = np.zeros((1, 2, t.size))
    x[0, 0] = 10 ** (level / 20) * np.sin(2 * np.pi * f * t)
    eq_control, depth_control = controls(depth, eq)
    return [20 * np.log10(np.max(np.abs(y[0, 0, -rate // 10:])))
            for y in (teacher.process(x, eq_control, depth_control, rate), network_output(net, x, eq_control, depth_control))]


def whole_behaviour(net, rate, stretches):
    """How the network follows the teacher beyond the small signal: the lowest focus against
    level, distortion at an ordinary level, the ceiling when driven hot, the mean on music."""
    lines = ["The 100 Hz focus (Depth EQ 1) against level, gain in dB (teacher / network):", "",
             "Depth | " + " | ".join(f"{v:g} dBFS" for v in FOCUS_LEVELS), "---|" + "---|" * len(FOCUS_LEVELS)]
    for depth in (15.0, -15.0):
        gains = [sine_gains(net, rate, 1.0, depth, [100.0], level=v)[0] for v in FOCUS_LEVELS]
        lines.append(f"{depth:+g} | " + " | ".join(f"{g[0]:+.1f} / {g[1]:+.1f}" for g in gains))

    lines += ["", "THD at -22 dBFS, % (teacher / network); * where the network exceeds three times the "
              "teacher's plus 0.2 %:", "", "Depth EQ | " + " | ".join(f"Depth {d:+g}, {f:g} Hz" for d in THD_DEPTHS for f in THD_TONES),
              "---|" + "---|" * (len(THD_DEPTHS) * len(THD_TONES))]
    for eq in EQS:
        cells = []
        for depth in THD_DEPTHS:
            for f in THD_TONES:
                a, b = distortion(net, rate, eq, depth, -22.0, f)
                cells.append(f"{a:.2f} / {b:.2f}" + (" *" if b > 3 * a + 0.2 else ""))
        lines.append(f"{eq_name(eq)} | " + " | ".join(cells))

    lines += ["", "Driven hot: peak output in dBFS of a steady sine (teacher / network):", "",
              "Setting | " + " | ".join(f"{v:+g} dBFS in" for v in HOT_LEVELS), "---|" + "---|" * len(HOT_LEVELS)]
    for eq, depth, f in HOT_SETTINGS:
        peaks = [peak_out(net, rate, eq, depth, v, f) for v in HOT_LEVELS]
        lines.append(f"Depth EQ {eq_name(eq)}, Depth {depth:+g}, {f:g} Hz | " + " | ".join(f"{a:+.1f} / {b:+.1f}" for a, b in peaks))

    x = stretches * 10 ** (-6 / 20)
    worst = (-np.inf, None)
    for eq in EQS:
        for depth in DEPTHS:
            eq_control, depth_control = controls(depth, eq)
            shift = np.abs(np.mean(network_output(net, x, eq_control, depth_control), axis=-1)
                           - np.mean(teacher.process(x, eq_control, depth_control, rate), axis=-1))
            worst = max(worst, (20 * np.log10(np.max(shift) + 1e-12), (eq, depth)))
    lines += ["", f"Mean of the output on held-out music at -6 dBFS peak: at most {worst[0]:.0f} dBFS from the "
              f"teacher's (Depth EQ {eq_name(worst[1][0])}, Depth {worst[1][1]:+g}).", ""]
    return lines


def report(path, data_folder, plots):
    rate = 1000 * int(re.search(r"(96|192)", os.path.basename(path)).group(1))
    net = model_file.load(path)
    lines = [f"## {os.path.basename(path)} ({rate // 1000} kHz model rate)", ""]

    stretches = held_out_stretches(data_folder, rate)
    grid = esr_grid(net, rate, stretches)
    values = np.array(list(grid.values()))
    worst = max(grid, key=grid.get)
    lines += [f"Error-to-signal ratio on held-out material: mean {values.mean():.4f}, worst {values.max():.4f} "
              f"(Depth EQ {eq_name(worst[1])}, Depth {worst[2]:+g}, {worst[0]:g} dBFS); "
              f"{np.sum(values > 0.1)} of {values.size} cells above 0.1.", ""]
    for level in LEVELS:
        lines += [f"{level:g} dBFS | " + " | ".join(f"Depth {d:+g}" for d in DEPTHS),
                  "---|" + "---|" * len(DEPTHS)]
        lines += [f"EQ {eq_name(eq)} | " + " | ".join(f"{grid[level, eq, d]:.4f}" for d in DEPTHS) for eq in EQS]
        lines.append("")

    lines += ["Gain at the focus frequency, dB at -30 dBFS (teacher / network):", "",
              "Depth EQ | fc | Depth +15 | Depth -15", "---|---|---|---"]
    for eq in EQS[1:]:
        fc = teacher.focus_frequency(eq)
        up, down = (sine_gains(net, rate, eq, d, [fc])[0] for d in (15.0, -15.0))
        lines.append(f"{eq:g} | {fc:.0f} Hz | {up[0]:+.1f} / {up[1]:+.1f} | {down[0]:+.1f} / {down[1]:+.1f}")
    flat = sine_gains(net, rate, 3.0, 0.0, np.geomspace(30, 20000, 25), level=-18.0)[:, 1]
    thd = distortion(net, rate, 3.0, 0.0, -20.0)[1]
    lines += ["", f"Depth 0 at -18 dBFS, 30 Hz to 20 kHz: {flat.min():+.2f} to {flat.max():+.2f} dB. "
              f"THD at Depth 0, -20 dBFS: {thd:.3f} %.", ""]
    lines += whole_behaviour(net, rate, stretches)
    if plots:
        plot(net, rate, plots)
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("models", nargs="+")
    parser.add_argument("--data", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "data"))
    parser.add_argument("--plots", help="folder for the PNG plots")
    args = parser.parse_args()
    torch.set_num_threads(4)
    lines = ["# The trained models against the teacher", ""]
    for path in args.models:
        lines += report(path, args.data, args.plots)
    print("\n".join(lines))


if __name__ == "__main__":
    main()
