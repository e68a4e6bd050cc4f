"""Recomputes a model file's reference run from its weights, independently of the network code
(numpy, double precision), and fails when the stored run disagrees.

    /usr/bin/python3 tools/model/check.py resources/model96.json resources/model192.json
"""

import json
import sys

import numpy as np

TOLERANCE = {"ih": 1e-5, "hh": 1e-5, "y": 1e-3, "hidden": 1e-3}
COUNTS = {"hidden": 12, "x": 8192, "y": 4098, "ih": 72, "hh": 432, "conv_in.weight": 2048,
          "rnn.prelayers.0.weight": 32, "rnn.prelayers.0.bias": 16,
          "rnn.prelayers.2.weight": 256, "rnn.prelayers.2.bias": 16,
          "rnn.prelayers.4.weight": 256, "rnn.prelayers.4.bias": 16,
          "rnn.prelayers.6.weight": 256, "rnn.prelayers.6.bias": 16,
          "rnn.proj_ih.weight": 1152, "rnn.proj_ih.bias": 72,
          "rnn.proj_hh.weight": 6912, "rnn.proj_hh.bias": 432,
          "linear_out.weight": 24}


def recompute(m):
    """The reference run from the weights alone."""
    a = {k: np.asarray(v, dtype=np.float64) for k, v in m.items()}
    leaky = lambda v: np.maximum(0.2 * v, v)
    f = leaky(a["rnn.prelayers.0.weight"].reshape(16, 2) @ np.array([0.6, 10.0 / 15.0]) + a["rnn.prelayers.0.bias"])
    for layer in (2, 4, 6):
        f = leaky(a[f"rnn.prelayers.{layer}.weight"].reshape(16, 16) @ f + a[f"rnn.prelayers.{layer}.bias"])
    ih = a["rnn.proj_ih.weight"].reshape(72, 16) @ f + a["rnn.proj_ih.bias"]
    hh = a["rnn.proj_hh.weight"].reshape(432, 16) @ f + a["rnn.proj_hh.bias"]
    w_ih, w_hh = ih.reshape(2, 36), hh.reshape(12, 36)

    x = a["x"].reshape(2, 4096)
    k = a["conv_in.weight"]
    filtered = np.stack([np.correlate(x[c], k, mode="valid") for c in range(2)])
    out = a["linear_out.weight"].reshape(2, 12)
    sigmoid = lambda v: 1.0 / (1.0 + np.exp(-v))
    h = np.zeros(12)
    y = np.zeros((2, filtered.shape[1]))
    for s in range(filtered.shape[1]):
        gi, gh = filtered[:, s] @ w_ih, h @ w_hh
        r, z = sigmoid(gi[:12] + gh[:12]), sigmoid(gi[12:24] + gh[12:24])
        n = np.tanh(gi[24:] + r * gh[24:])
        h = z * h + (1 - z) * n
        y[:, s] = out @ h
    return {"ih": ih, "hh": hh, "y": y.reshape(-1), "hidden": h}


def check(path):
    """Returns the list of problems found in one model file (empty when it is sound)."""
    with open(path) as f:
        m = json.load(f)
    problems = [f"{key}: {len(m.get(key, []))} numbers, expected {n}"
                for key, n in COUNTS.items() if len(m.get(key, [])) != n]
    if problems:
        return problems
    for key, value in recompute(m).items():
        error = float(np.max(np.abs(value - np.asarray(m[key]))))
        print(f"  {path}: {key:6s} max error {error:.2e} (limit {TOLERANCE[key]:.0e})")
        if not error <= TOLERANCE[key]:
            problems.append(f"{key} differs by {error:.3g}")
    return problems


def main(paths):
    failed = False
    for path in paths:
        problems = check(path)
        print(f"{path}: {'ok' if not problems else 'FAILED: ' + '; '.join(problems)}")
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
