"""Run: /usr/bin/python3 -m unittest discover -s tools/model -p 'test_*.py'"""

import os
import tempfile
import unittest

import numpy as np
import torch

import cell
import data
import design
import teacher
import train
from network import gru_step

torch.set_num_threads(2)
RATE = 96000


class CellKernelTest(unittest.TestCase):
    def test_states_and_gradients_match_autograd_through_the_plain_cell(self):
        torch.manual_seed(3)
        batch, steps = 3, 40
        x = torch.randn(batch, 2, steps) * 0.7
        w_ih = torch.randn(batch, 2, 36) * 0.6
        w_hh = torch.randn(batch, 12, 36) * 0.6
        h0 = torch.randn(batch, 12) * 0.4
        upstream = torch.randn(batch, steps, 12)

        def gradients(step_all):
            inputs = [t.clone().requires_grad_() for t in (x, w_ih, w_hh, h0)]
            states = step_all(*inputs)
            (states * upstream).sum().backward()
            return states.detach(), [t.grad for t in inputs]

        def plain(x, w_ih, w_hh, h):
            states = []
            for t in range(steps):
                h = gru_step(x[..., t], h, w_ih, w_hh)
                states.append(h)
            return torch.stack(states, dim=1)

        kernel_states, kernel_grads = gradients(cell.run)
        plain_states, plain_grads = gradients(plain)
        self.assertLess((kernel_states - plain_states).abs().max().item(), 1e-5)
        for name, mine, reference in zip(("x", "w_ih", "w_hh", "h0"), kernel_grads, plain_grads):
            with self.subTest(name):
                self.assertLess((mine - reference).abs().max().item(), 1e-4 * (1 + reference.abs().max().item()))


def gain_db(eq, depth, frequency):
    return 20 * np.log10(abs(teacher.linear_response(eq, depth, [frequency], RATE)[0]))


class TeacherTest(unittest.TestCase):
    def test_depth_zero_is_the_identity_at_ordinary_levels_with_no_delay(self):
        x = np.zeros((2, 4096))
        x[:, 10] = 0.01
        for eq in (0.0, 0.2, 0.6, 0.8):
            y = teacher.process(x, eq, 0.0, RATE)
            self.assertLess(np.max(np.abs(y - x)), 1e-4)

    def test_depth_moves_the_focus_by_up_to_nine_decibels_monotonically(self):
        for depth_eq in (1.0, 2.0, 3.0, 4.0):
            fc = teacher.focus_frequency(depth_eq)
            gains = [gain_db(depth_eq / 5, d, fc) for d in np.linspace(-1, 1, 11)]
            with self.subTest(depth_eq=depth_eq):
                self.assertTrue(np.all(np.diff(gains) > 0))
                self.assertAlmostEqual(gains[-1], 9.0, delta=0.5)
                self.assertLess(gains[0], -8.5)
        self.assertAlmostEqual(teacher.focus_frequency(3.0), 2154.4, delta=0.1)
        self.assertGreater(gain_db(0.0, 1.0, 10000.0), 8.0)    # switched off: the presence shelf

    def test_back_loses_highs_and_forward_leaves_the_far_band_alone(self):
        for eq in (0.0, 0.2, 0.6):
            self.assertLess(gain_db(eq, -1.0, 12000.0), -3.0)
        self.assertLess(abs(gain_db(0.2, 1.0, 2000.0)), 0.5)

    def test_it_colours_when_hot_and_stays_bounded(self):
        t = np.arange(RATE) / RATE

        def thd(level, depth):
            y = teacher.process(level * np.sin(2 * np.pi * 1000 * t), 0.6, depth, RATE)[RATE // 2:]
            spectrum = np.abs(np.fft.rfft(y * np.hanning(y.size)))
            harmonics = spectrum[[500 * k for k in range(1, 8)]]
            return np.sqrt(np.sum(harmonics[1:] ** 2)) / harmonics[0]

        self.assertLess(thd(0.1, 0.0), 0.005)
        self.assertGreater(thd(1.0, 0.0), 0.02)
        self.assertGreater(thd(1.0, 1.0), thd(1.0, 0.0))
        loud = teacher.process(100.0 * np.random.default_rng(0).standard_normal(RATE), 0.8, 1.0, RATE)
        self.assertLess(np.max(np.abs(loud)), teacher.saturation_level(-1.0) + 1e-9)


class TrainingTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        rng = np.random.default_rng(0)
        audio = (rng.standard_normal(RATE) * 0.3).astype(np.float32)
        data.save(os.path.join(cls.folder, str(RATE), "train.npz"), audio, np.array([0]))

    def test_the_prefit_start_already_leans_the_way_the_teacher_does(self):
        torch.manual_seed(0)
        net = design.designed_network(RATE, seed=1)
        train.prefit(net, RATE, steps=600)
        x = torch.zeros(2, 2, 8192)
        x[:, 0, 0] = 0.01
        controls = torch.tensor([[0.6, 1.0], [0.6, -1.0]])
        with torch.no_grad():
            y = train.forward(net, x, controls)
        frequencies = np.fft.rfftfreq(8192, 1 / RATE)
        fc = np.argmin(np.abs(frequencies - teacher.focus_frequency(3.0)))
        boost, cut = (20 * np.log10(np.abs(np.fft.rfft(y[i, 0].numpy()))[fc] / 0.01) for i in range(2))
        self.assertGreater(boost, 4.0)
        self.assertLess(cut, -4.0)
        self.assertEqual(torch.count_nonzero(y[:, 1]).item(), 0)

    def test_the_exact_small_signal_response_is_what_the_cell_does(self):
        torch.manual_seed(4)
        net = design.designed_network(RATE, seed=4)
        train.prefit(net, RATE, steps=200)
        with torch.no_grad():    # couple each channel's two fastest modes into a resonance
            bias = net.rnn.proj_hh.bias.view(12, 36)
            for first in (0, 6):
                bias[first + 4, 24 + first + 5] = 0.8
                bias[first + 5, 24 + first + 4] = -0.8
        controls = torch.tensor([[0.4, 0.8], [0.0, -0.6]])
        length = 1 << 15
        x = torch.zeros(2, 2, length)
        x[:, :, 0] = 1e-4
        bins = np.round(np.geomspace(30.0, 20000.0, 40) * length / RATE).astype(int)
        with torch.no_grad():
            w_ih, w_hh = net.rnn(controls)
            measured = np.fft.rfft(train.forward(net, x, controls).numpy() / 1e-4, axis=-1)
            exact = train.small_signal_response(net, w_ih, w_hh, RATE, bins * RATE / length).numpy()
        self.assertLess(np.max(np.abs(measured[..., bins] - exact)), 1e-2 * np.max(np.abs(exact)))

    def test_the_stability_penalty_sees_a_pole_outside_the_circle(self):
        _, w_hh, _ = design.designed_cell(RATE)
        w_hh = w_hh[None].clone()
        self.assertEqual(train.instability(w_hh).item(), 0.0)
        w_hh[0, 1, 2 * 12 + 2] = w_hh[0, 2, 2 * 12 + 1] = 0.05    # couple the two slowest modes
        self.assertGreater(train.instability(w_hh).item(), 0.0)

    def test_training_moves_only_what_it_may(self):
        # Channels apart, gates at one half, the output unit memoryless and read out alone at the
        # ceiling: whatever training does, these stay as designed.
        net = train.train(RATE, steps=4, batch=2, length=4096, data_folder=self.folder, seed=3, response_steps=10,
                          transparency=1.0, transparency_steps=2, log_every=1000)
        designed = design.designed_network(RATE, seed=3)
        self.assertTrue(torch.equal(net.conv_in.weight, designed.conv_in.weight))
        self.assertTrue(torch.equal(net.linear_out.weight, designed.linear_out.weight))
        controls = torch.tensor([[0.0, 0.3], [0.5, -0.9], [0.8, 1.0]])
        with torch.no_grad():
            trained, start = net.rnn.projections(controls), designed.rnn.projections(controls)
        for after, before, mask in zip(trained, start, design.movable_masks()):
            self.assertTrue(torch.equal(after * (1 - mask), before * (1 - mask)))
        self.assertFalse(torch.equal(trained[0], start[0]))


if __name__ == "__main__":
    unittest.main()
