"""The recurrent cell over whole sequences as a torch autograd function, backed by the C++ kernel
in cell_kernel.cpp (compiled on first use and cached by torch)."""

import os

import torch
from torch.utils import cpp_extension

_kernel = None


def kernel():
    global _kernel
    if _kernel is None:
        source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cell_kernel.cpp")
        _kernel = cpp_extension.load(name="lumbrane_cell_kernel", sources=[source],
                                     extra_cflags=["-O3", "-march=native", "-ffast-math"], verbose=False)
    return _kernel


class _Sequence(torch.autograd.Function):
    @staticmethod
    def forward(context, x, w_ih, w_hh, h0):
        states, *saved = kernel().forward(x.contiguous(), w_ih.contiguous(), w_hh.contiguous(), h0.contiguous())
        context.save_for_backward(x, w_ih, w_hh, h0, states, *saved)
        return states

    @staticmethod
    def backward(context, grad_states):
        x, w_ih, w_hh, h0, states, *saved = context.saved_tensors
        return tuple(kernel().backward(grad_states, x.contiguous(), w_ih.contiguous(), w_hh.contiguous(),
                                       h0.contiguous(), states, *saved))


def run(x, w_ih, w_hh, h0=None):
    """States of the cell stepped over x: x (batch, 2, time), w_ih (batch, 2, 36), w_hh
    (batch, 12, 36), h0 (batch, 12) or zeros. Returns (batch, time, 12)."""
    if h0 is None:
        h0 = x.new_zeros(x.shape[0], w_hh.shape[1])
    return _Sequence.apply(x, w_ih, w_hh, h0)
