"""Run: /usr/bin/python3 -m unittest discover -s tools/model -p 'test_*.py'"""

import json
import os
import tempfile
import unittest

import numpy as np
import torch

import check
import design
import model_file
from network import KERNEL

torch.set_num_threads(2)


def impulse_response(net, controls, length=4096, channel=0):
    x = torch.zeros(1, 2, length)
    x[0, channel, 0] = 0.1    # small: the cell's linear regime
    with torch.no_grad():
        y, _ = net(x, torch.tensor([controls]))
    return y[0].numpy() / 0.1


class ModelFileTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        cls.path = os.path.join(cls.folder, "model.json")
        model_file.save(design.designed_network(96000, seed=5), cls.path)
        with open(cls.path) as f:
            cls.document = json.load(f)

    def altered(self, change):
        document = json.loads(json.dumps(self.document))
        change(document)
        path = os.path.join(self.folder, "altered.json")
        with open(path, "w") as f:
            json.dump(document, f)
        return path

    def test_a_fresh_export_has_every_key_and_passes_the_check(self):
        self.assertEqual(list(self.document), model_file.KEYS)
        self.assertEqual(check.check(self.path), [])

    def test_the_check_catches_a_wrong_layout(self):
        def transpose_recurrent(document):
            bias = np.asarray(document["rnn.proj_hh.bias"]).reshape(12, 36)
            document["rnn.proj_hh.bias"] = bias.reshape(36, 12).T.reshape(-1).tolist()

        def swap_gates(document):
            for key in ("rnn.proj_ih.bias", "rnn.proj_hh.bias"):
                rows = np.asarray(document[key]).reshape(-1, 36)
                document[key] = np.concatenate([rows[:, 24:], rows[:, 12:24], rows[:, :12]], axis=1).reshape(-1).tolist()

        for change in (transpose_recurrent, swap_gates):
            with self.subTest(change.__name__):
                self.assertNotEqual(check.check(self.altered(change)), [])

    def test_the_check_refuses_short_arrays(self):
        path = self.altered(lambda d: d.update({"linear_out.weight": d["linear_out.weight"][:20]}))
        self.assertTrue(any("linear_out.weight" in p for p in check.check(path)))


class DesignedStartTest(unittest.TestCase):
    def test_the_fir_tap_without_delay_is_the_last_stored(self):
        net = design.designed_network(96000, seed=1)
        x = torch.randn(1, 2, 300)
        with torch.no_grad():
            self.assertTrue(torch.allclose(net.fir(x), x))
            net.conv_in.weight.zero_()
            net.conv_in.weight[0, 0, 0] = 1.0
            delayed = net.fir(torch.cat([x, torch.zeros(1, 2, KERNEL)], dim=-1))
        self.assertTrue(torch.allclose(delayed[..., KERNEL - 1:KERNEL - 1 + 300], x))

    def test_it_is_transparent_and_keeps_the_channels_apart(self):
        for rate in (96000, 192000):
            net = design.designed_network(rate, seed=2)
            for controls in ((0.2, 0.0), (0.0, 1.0), (0.8, -1.0)):
                with self.subTest(rate=rate, controls=controls):
                    response = impulse_response(net, controls)
                    spectrum = np.abs(np.fft.rfft(response[0]))
                    frequencies = np.fft.rfftfreq(response.shape[-1], 1.0 / rate)
                    band = (frequencies >= 30) & (frequencies <= 20000)
                    decibels = 20 * np.log10(spectrum[band])
                    self.assertLess(np.max(np.abs(decibels)), 1.0)
                    self.assertLess(np.max(np.abs(response[1])), 1e-6)


if __name__ == "__main__":
    unittest.main()
