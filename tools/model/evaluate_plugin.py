"""Measures the built plug-in as hosts and users hear it: through the VST3 (or LV2) bundle, at the
host rates 44.1, 48, 88.2, 96, 176.4 and 192 kHz, with the lumbrane_render tool.

    cmake --build build -j4 --target lumbrane_render
    /usr/bin/python3 tools/model/evaluate_plugin.py --out docs

Reported per host rate: Depth 0's response from 20 Hz to 20 kHz at -18 dBFS and its delay against
the reported latency; the largest image or alias spur of 13, 15 and 21 kHz tones at -6 dBFS; the
gain at the focus frequency at Depth +-15 for Depth EQ 1..4 against the teacher; how the 100 Hz
focus depends on level (-40 to -6 dBFS); THD of a 1 kHz sine against level; the output's mean on
music; and the two weight sets on the same music (48 kHz host against 96 kHz host). Writes
<out>/plugin-evaluation.md and the plots plugin-response.png, plugin-level.png, plugin-thd.png.

The music is the held-out split that data.py makes, when <data>/96000/test.npz exists; otherwise
a synthesised mix (bass, chords, lead, drums).

--smoke DIR renders one short tone and checks that a WAV of the right length came out.
"""

import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy import signal
from scipy.io import wavfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import teacher  # noqa: E402

RATES = (44100, 48000, 88200, 96000, 176400, 192000)
EQS = (1.0, 2.0, 3.0, 4.0)
FOCUS_LEVEL = -30.0
LEVELS = np.arange(-40.0, -5.0, 2.0)          # the 100 Hz focus against level
THD_LEVELS = np.arange(-40.0, 0.1, 4.0)       # 1 kHz THD against level
SPUR_TONES = (13000.0, 15000.0, 21000.0)
SEGMENT = 0.25                                # seconds per steady tone
SETTLE = 0.1                                  # seconds skipped at each tone's start
GAP = 0.03
MUSIC_SECONDS = 6.0

# (label, Depth, Depth EQ): Depth 0 and the two extremes at every Depth EQ.
SETTINGS = [("Depth 0", 0.0, 1.0)] + [(f"EQ {eq:g}, Depth {d:+g}", d, eq) for eq in EQS for d in (15.0, -15.0)]


def db(x):
    return 20.0 * np.log10(np.maximum(np.abs(x), 1e-12))


def tone(f, level, rate, seconds=SEGMENT):
    t = np.arange(int(round(seconds * rate))) / rate
    return 10 ** (level / 20) * np.sin(2 * np.pi * f * t)


class Program:
    """Signals played one after another with short silences between; remembers where each is."""

    def __init__(self, rate):
        self.rate, self.pieces, self.where, self.length = rate, [], {}, 0

    def add(self, key, x):
        self.where[key] = (self.length, self.length + x.size)
        gap = np.zeros(int(GAP * self.rate))
        self.pieces += [x, gap]
        self.length += x.size + gap.size

    def signal(self):
        return np.concatenate(self.pieces + [np.zeros(int(0.1 * self.rate))]).astype(np.float32)

    def steady(self, y, key):
        start, end = self.where[key]
        return y[start + int(SETTLE * self.rate):end]


def fitted_amplitude(x, f, rate):
    """Amplitude of the f component by least squares (sine, cosine and offset)."""
    t = np.arange(x.size) / rate
    basis = np.stack([np.sin(2 * np.pi * f * t), np.cos(2 * np.pi * f * t), np.ones_like(t)], axis=1)
    coefficients = np.linalg.lstsq(basis, x, rcond=None)[0]
    return np.hypot(coefficients[0], coefficients[1])


def spectrum(x):
    window = signal.windows.blackmanharris(x.size)
    return np.abs(np.fft.rfft(x * window)) / (np.sum(window) / 2)


def thd_percent(x, f, rate):
    s = spectrum(x)
    bin_of = lambda g: int(round(g * x.size / rate))
    power = lambda g: np.sum(s[max(bin_of(g) - 4, 0):bin_of(g) + 5] ** 2)
    harmonics = [k * f for k in range(2, 10) if k * f < 0.5 * rate - 200]
    return 100 * np.sqrt(sum(power(g) for g in harmonics) / power(f))


def largest_spur(x, f, rate):
    """(dBc, Hz) of the strongest component other than the tone, from 20 Hz up."""
    s = spectrum(x)
    frequencies = np.fft.rfftfreq(x.size, 1 / rate)
    mask = (frequencies > 20) & (np.abs(frequencies - f) > 150)
    k = np.argmax(np.where(mask, s, 0))
    return db(s[k] / np.max(s[np.abs(frequencies - f) <= 150])), frequencies[k]


def synthesised_music(rate, seconds, seed=3):
    """Bass, chords, a lead and drums, peaking at -6 dBFS."""
    rng = np.random.default_rng(seed)
    n = int(seconds * rate)
    y = np.zeros(n)
    beat = int(0.25 * rate)

    def note(f, start, length, partials, decay):
        t = np.arange(min(length, n - start)) / rate
        v = sum(np.sin(2 * np.pi * f * k * t + rng.uniform(0, 6.3)) / k ** 1.2 for k in range(1, partials + 1)
                if f * k < 0.45 * rate)
        y[start:start + t.size] += v * np.exp(-t * decay) * np.minimum(1, t * 200)

    for b in range(0, n // beat):
        start = b * beat
        note(55 * 2 ** (rng.integers(0, 12) / 12), start, beat, 8, 6.0)
        if b % 4 == 0:
            for step in (0, 4, 7):
                note(220 * 2 ** ((rng.integers(0, 5) + step) / 12), start, 4 * beat, 12, 1.5)
        if rng.random() < 0.6:
            note(880 * 2 ** (rng.integers(0, 12) / 12), start, beat, 5, 4.0)
        if b % 2 == 0:      # kick: a falling sine
            t = np.arange(min(beat, n - start)) / rate
            y[start:start + t.size] += 1.5 * np.sin(2 * np.pi * (50 * t + 60 * (1 - np.exp(-t * 30)) / 30)) * np.exp(-t * 12)
        hat = rng.standard_normal(min(int(0.05 * rate), n - start))
        hat = signal.lfilter(*signal.butter(2, 7000, "highpass", fs=rate), hat)
        y[start:start + hat.size] += 0.3 * hat * np.exp(-np.arange(hat.size) / rate * 60)
    return 10 ** (-6 / 20) * y / np.max(np.abs(y))


def music(rate, data_folder):
    """The same material at every host rate: made at 96 kHz, then resampled."""
    path = os.path.join(data_folder, "96000", "test.npz")
    if os.path.exists(path):
        audio, material = np.load(path)["audio"][: int(MUSIC_SECONDS * 96000)].astype(np.float64), "held-out material (first song)"
    else:
        audio, material = synthesised_music(96000, MUSIC_SECONDS), "synthesised mix"
    audio = signal.resample_poly(audio, rate // 100, 960) if rate != 96000 else audio
    return 10 ** (-6 / 20) * audio / np.max(np.abs(audio)), material


def programs(rate, data_folder):
    """The signals for each setting at one host rate."""
    material, _ = music(rate, data_folder)
    result = {}
    for label, depth, eq in SETTINGS:
        p = Program(rate)
        if depth == 0.0:
            impulse = np.zeros(int(0.1 * rate))
            impulse[int(0.02 * rate)] = 0.5
            p.add("impulse", impulse)
            for f in response_frequencies(rate):
                p.add(("response", f), tone(f, -18.0, rate, max(SEGMENT, SETTLE + 8 / f)))
            for f in SPUR_TONES:
                if f < 0.5 * rate:
                    p.add(("spur", f), tone(f, -6.0, rate, 0.6))
        p.add("focus", tone(teacher.focus_frequency(eq), FOCUS_LEVEL, rate))
        if eq == 1.0:
            for level in LEVELS:
                p.add(("level", level), tone(100.0, level, rate))
        for level in THD_LEVELS:
            p.add(("thd", level), tone(1000.0, level, rate, 0.35))
        p.add("music", material)
        result[label] = p
    return result


def response_frequencies(rate):
    return [f for f in np.geomspace(20, 20000, 31) if f < 0.45 * rate]


def render(tool, x, rate, depth, eq, block, plugin_format, folder):
    stem = os.path.join(folder, f"{rate}_{depth:+g}_{eq:g}")
    wavfile.write(stem + "_in.wav", rate, x.astype(np.float32))
    command = [tool, stem + "_in.wav", stem + "_out.wav", "--block", str(block), "--format", plugin_format,
               "--set", f"Depth={depth}", "--set", f"Depth EQ={eq}", "--set", "Depth EQ Switch=1"]
    report = subprocess.run(command, check=True, capture_output=True, text=True).stdout.split()
    y = wavfile.read(stem + "_out.wav")[1][:, 0].astype(np.float64)
    return y, int(report[report.index("latency") + 1]), float(report[report.index("tail") + 1])


def delay_of(y, x):
    """Delay (samples, fractional) of y against x, from the peak of their cross-correlation."""
    c = signal.correlate(y, x, mode="full", method="fft")
    k = int(np.argmax(c))
    if 0 < k < c.size - 1:
        k += 0.5 * (c[k - 1] - c[k + 1]) / (c[k - 1] - 2 * c[k] + c[k + 1])
    return k - (x.size - 1)


def shifted(y, delay):
    """y moved earlier by a fractional number of samples."""
    frequencies = np.fft.rfftfreq(y.size)
    return np.fft.irfft(np.fft.rfft(y) * np.exp(2j * np.pi * frequencies * delay), y.size)


def measure(rate, label, depth, eq, p, y, latency, tail):
    r = {"latency": latency, "tail": tail}
    model_rate = 96000 if rate <= 48000 else 192000
    if depth == 0.0:
        start, end = p.where["impulse"]
        segment = np.abs(y[start:end])
        r["delay"] = int(np.argmax(segment)) - int(0.02 * rate)
        r["response"] = [(f, db(fitted_amplitude(p.steady(y, ("response", f)), f, rate) / 10 ** (-18 / 20)))
                         for f in response_frequencies(rate)]
        r["spurs"] = {f: largest_spur(p.steady(y, ("spur", f)), f, rate) for f in SPUR_TONES if f < 0.5 * rate}
    fc = teacher.focus_frequency(eq)
    r["focus"] = db(fitted_amplitude(p.steady(y, "focus"), fc, rate) / 10 ** (FOCUS_LEVEL / 20))
    r["teacher focus"] = db(teacher.linear_response(eq / 5, depth / 15, [fc], model_rate)[0])
    if eq == 1.0:
        r["level"] = [db(fitted_amplitude(p.steady(y, ("level", lv)), 100.0, rate) / 10 ** (lv / 20)) for lv in LEVELS]
        r["teacher level"] = []
        for lv in LEVELS:
            x = tone(100.0, lv, model_rate, 0.3)
            t = teacher.process(x, eq / 5, depth / 15, model_rate)[int(0.1 * model_rate):]
            r["teacher level"].append(db(fitted_amplitude(t, 100.0, model_rate) / 10 ** (lv / 20)))
    r["thd"] = [thd_percent(p.steady(y, ("thd", lv)), 1000.0, rate) for lv in THD_LEVELS]
    start, end = p.where["music"]
    r["music"] = y[start:end + int(0.05 * rate)]
    r["input mean"] = float(np.mean(p.signal()[start:end]))
    return r


def compare_weight_sets(low, high):
    """ESR (below 20 kHz) and level difference of the 48 kHz host's output against the 96 kHz host's."""
    up = signal.resample_poly(low, 2, 1)
    n = min(up.size, high.size)
    up, other = up[:n], high[:n]
    up = shifted(up, delay_of(up, other))
    keep = np.fft.rfftfreq(n, 1 / 96000) < 20000
    band = lambda v: np.fft.irfft(np.fft.rfft(v) * keep, n)
    up, other = band(up), band(other)
    edge = int(0.05 * 96000)
    up, other = up[edge:-edge], other[edge:-edge]
    return np.sum((up - other) ** 2) / np.sum(other ** 2), db(np.std(up) / np.std(other))


def run(args):
    jobs = []
    with tempfile.TemporaryDirectory() as folder, concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for rate in RATES:
            for label, p in programs(rate, args.data).items():
                _, depth, eq = next(s for s in SETTINGS if s[0] == label)
                future = pool.submit(render, args.render, p.signal(), rate, depth, eq, args.block, args.format, folder)
                jobs.append((rate, label, depth, eq, p, future))
        results = {}
        for rate, label, depth, eq, p, future in jobs:
            results[rate, label] = measure(rate, label, depth, eq, p, *future.result())
    return results


def markdown(results, material, seconds, args):
    k = lambda rate: f"{rate / 1000:g} kHz"
    lines = ["# The plug-in as hosts play it", "",
             f"Rendered through the built {args.format} bundle by `lumbrane_render` in blocks of {args.block}, "
             f"at each host rate; made by `tools/model/evaluate_plugin.py` in {seconds:.0f} s. Music: {material}.", ""]

    lines += ["## Depth 0", "", "Host rate | response 20 Hz-20 kHz at -18 dBFS | reported latency | impulse delay | reported tail",
              "---|---|---|---|---"]
    for rate in RATES:
        r = results[rate, "Depth 0"]
        gains = [g for _, g in r["response"]]
        lines.append(f"{k(rate)} | {min(gains):+.2f} to {max(gains):+.2f} dB | {r['latency']} | {r['delay']} | {r['tail']:g} s")

    lines += ["", "## Spurs of -6 dBFS tones at Depth 0", "",
              "Largest component other than the tone (images, aliases, harmonics), dBc at Hz.", "",
              "Host rate | " + " | ".join(f"{f / 1000:g} kHz tone" for f in SPUR_TONES), "---|" + "---|" * len(SPUR_TONES)]
    for rate in RATES:
        spurs = results[rate, "Depth 0"]["spurs"]
        lines.append(f"{k(rate)} | " + " | ".join(f"{spurs[f][0]:.1f} at {spurs[f][1]:.0f}" if f in spurs else "-"
                                                 for f in SPUR_TONES))

    lines += ["", f"## Focus at {FOCUS_LEVEL:g} dBFS", "", "Gain at the focus frequency, dB: teacher, then the plug-in at each host rate.", "",
              "Depth EQ | fc | Depth | teacher | " + " | ".join(k(r) for r in RATES), "---|---|---|---|" + "---|" * len(RATES)]
    for eq in EQS:
        for depth in (15.0, -15.0):
            label = f"EQ {eq:g}, Depth {depth:+g}"
            lines.append(f"{eq:g} | {teacher.focus_frequency(eq):.0f} Hz | {depth:+g} | {results[RATES[0], label]['teacher focus']:+.1f} | "
                         + " | ".join(f"{results[rate, label]['focus']:+.1f}" for rate in RATES))

    shown = [-40.0, -30.0, -20.0, -12.0, -6.0]
    columns = [int(np.argmin(np.abs(LEVELS - lv))) for lv in shown]
    lines += ["", "## The 100 Hz focus against level", "", "Gain at 100 Hz, dB, Depth EQ 1 (teacher / plug-in).", "",
              "Setting | Host rate | " + " | ".join(f"{lv:g} dBFS" for lv in shown), "---|---|" + "---|" * len(shown)]
    for label in ("EQ 1, Depth +15", "EQ 1, Depth -15", "Depth 0"):
        for rate in RATES:
            r = results[rate, label]
            lines.append(f"{label} | {k(rate)} | " + " | ".join(f"{r['teacher level'][c]:+.1f} / {r['level'][c]:+.1f}" for c in columns))

    shown = [-20.0, -12.0, -6.0, 0.0]
    columns = [int(np.argmin(np.abs(THD_LEVELS - lv))) for lv in shown]
    lines += ["", "## THD of a 1 kHz sine", "", "THD in % at -20 / -12 / -6 / 0 dBFS.", "",
              "Setting | " + " | ".join(k(r) for r in RATES), "---|" + "---|" * len(RATES)]
    for label, _, _ in SETTINGS:
        lines.append(f"{label} | " + " | ".join(" / ".join(f"{results[rate, label]['thd'][c]:.2g}" for c in columns) for rate in RATES))

    lines += ["", "## Mean of the output on music", "",
              f"Mean of the left output over the music (input mean {results[RATES[0], 'Depth 0']['input mean']:.2e}).", "",
              "Setting | " + " | ".join(k(r) for r in RATES), "---|" + "---|" * len(RATES)]
    for label, _, _ in SETTINGS:
        lines.append(f"{label} | " + " | ".join(f"{np.mean(results[rate, label]['music']):+.2e}" for rate in RATES))

    lines += ["", "## The two weight sets on the same music", "",
              "The 48 kHz host (96 kHz model) against the 96 kHz host (192 kHz model), below 20 kHz, time-aligned: "
              "error-to-signal ratio and level difference.", "", "Setting | ESR | level, dB", "---|---|---"]
    for label, _, _ in SETTINGS:
        esr, level = compare_weight_sets(results[48000, label]["music"], results[96000, label]["music"])
        lines.append(f"{label} | {esr:.4f} | {level:+.2f}")
    lines += ["", "Plots: plugin-response.png (Depth 0), plugin-level.png (the 100 Hz focus against level), "
              "plugin-thd.png (THD against level).", ""]
    return "\n".join(lines)


def plots(results, folder):
    import matplotlib
    matplotlib.use("Agg")
    from matplotlib import pyplot

    figure, axis = pyplot.subplots(figsize=(8, 4.5))
    for rate in RATES:
        f, g = zip(*results[rate, "Depth 0"]["response"])
        axis.semilogx(f, g, label=f"{rate / 1000:g} kHz host")
    axis.set(xlabel="Hz", ylabel="dB", title="Depth 0 at -18 dBFS, through the plug-in", xlim=(20, 20000))
    axis.grid(True, which="both", alpha=0.3)
    axis.legend()
    figure.tight_layout()
    figure.savefig(os.path.join(folder, "plugin-response.png"), dpi=80)

    figure, axis = pyplot.subplots(figsize=(8, 5))
    for label, colour in (("EQ 1, Depth +15", "tab:red"), ("Depth 0", "tab:green"), ("EQ 1, Depth -15", "tab:blue")):
        axis.plot(LEVELS, results[RATES[0], label]["teacher level"], "k--", linewidth=1)
        for rate, style in zip(RATES, ("-", "--", "-.", ":", "-.", "-")):
            axis.plot(LEVELS, results[rate, label]["level"], style, color=colour, alpha=0.5 + rate / 400000,
                      label=f"{label}, {rate / 1000:g} kHz")
    axis.set(xlabel="100 Hz sine, dBFS", ylabel="gain at 100 Hz, dB", title="The 100 Hz focus against level (teacher dashed)")
    axis.grid(True, alpha=0.3)
    axis.legend(fontsize=7, ncol=3, loc="center left")
    figure.tight_layout()
    figure.savefig(os.path.join(folder, "plugin-level.png"), dpi=80)

    figure, axes = pyplot.subplots(2, 3, figsize=(15, 8), sharex=True, sharey=True)
    for axis, rate in zip(axes.flat, RATES):
        for label, _, _ in SETTINGS:
            axis.semilogy(THD_LEVELS, results[rate, label]["thd"], label=label)
        axis.set(title=f"{rate / 1000:g} kHz host", xlabel="1 kHz sine, dBFS", ylabel="THD, %")
        axis.grid(True, which="both", alpha=0.3)
    axes[0, 0].legend(fontsize=7, ncol=2)
    figure.tight_layout()
    figure.savefig(os.path.join(folder, "plugin-thd.png"), dpi=80)


def smoke(args):
    os.makedirs(args.smoke, exist_ok=True)
    x = tone(1000.0, -12.0, 48000, 0.1)
    y, latency, _ = render(args.render, x, 48000, 0.0, 1.0, args.block, args.format, args.smoke)
    ok = y.size == x.size and np.all(np.isfinite(y)) and np.max(np.abs(y)) > 0.05
    print(f"rendered {y.size} samples (latency {latency}), peak {np.max(np.abs(y)):.3f}: {'ok' if ok else 'FAILED'}")
    return 0 if ok else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--render", default=os.path.join(ROOT, "build", "tests", "lumbrane_render_artefacts", "Release", "lumbrane_render"))
    parser.add_argument("--format", default="VST3", choices=("VST3", "LV2"))
    parser.add_argument("--block", type=int, default=512)
    parser.add_argument("--data", default=os.path.join(HERE, "data"))
    parser.add_argument("--out", default=os.path.join(ROOT, "docs"))
    parser.add_argument("--jobs", type=int, default=3)
    parser.add_argument("--smoke", help="render one short tone into this folder and check it")
    args = parser.parse_args()
    if args.smoke:
        return smoke(args)

    began = time.time()
    results = run(args)
    _, material = music(48000, args.data)
    text = markdown(results, material, time.time() - began, args)
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "plugin-evaluation.md"), "w") as f:
        f.write(text)
    plots(results, args.out)
    print(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
