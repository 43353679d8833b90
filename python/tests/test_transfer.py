"""fai_transfer gives exactly what the library's FAITransfer copies."""

import ctypes

import numpy as np
import pytest

from ktz3649 import Event, _library, lab


@pytest.fixture
def acquired(device):
    """60 samples of a 3-entry scan in three ranges, from noise."""
    for channel in range(3):
        lab.set_signal(channel, "noise", amplitude=4.0, seed=channel + 1)
    device.enable_event(Event.TERMINATED)
    device.fai_start(60, 10_000, channels=3, gains=[0, 1, 4])
    assert device.wait_event(10_000) is Event.TERMINATED
    assert np.ptp(device.fai_transfer(volts=False) & 0xFFF) > 500  # samples that differ
    return device


@pytest.mark.parametrize("volts", [True, False])
@pytest.mark.parametrize("start, count", [(0, 60), (4, 7), (59, 1)])
def test_transfer_equals_fai_transfer(acquired, volts, start, count):
    kind = ctypes.c_float if volts else ctypes.c_uint16
    expected = (kind * count)()
    assert _library.library().FAITransfer(acquired.handle, 0, ctypes.addressof(expected),
                                          1 if volts else 0, start, count, 0) == 0
    got = acquired.fai_transfer(start, count, volts=volts)
    assert got.dtype == (np.float32 if volts else np.uint16)
    assert got.tolist() == list(expected)
    out = np.full(count + 2, 7, got.dtype)  # into the caller's array, the rest untouched
    assert acquired.fai_transfer(start, count, volts=volts, out=out).base is out
    assert out[:count].tolist() == list(expected) and out[count:].tolist() == [7, 7]


def test_transfer_refuses_an_unfit_array(acquired):
    for out in (np.empty(5, np.float32), np.empty(60, np.float64), np.empty((60, 2))[:, 0]):
        with pytest.raises(ValueError):
            acquired.fai_transfer(0, 60, out=out)
