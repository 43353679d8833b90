"""Every test runs on a fresh virtual lab: one PCI-3649 on bus 0, slot 13."""

import os
from pathlib import Path

import pytest

# The host build's libraries, unless the environment names others.
os.environ.setdefault("KTZ3649_LIBRARY_PATH",
                      str(Path(__file__).resolve().parents[2] / "build" / "default" / "bin"))

import ktz3649  # noqa: E402
from ktz3649 import lab  # noqa: E402


@pytest.fixture
def make_device():
    """Sets up the lab with device `number` (install_device overrides by
    keyword) and opens it; closed at the end of the test."""
    opened = []

    def make(number=0, board_id=lab.PCI3649, **settings):
        lab.setup(board_id, number, time_factor=100, **settings)
        opened.append(ktz3649.Device(number))
        return opened[-1]

    yield make
    for device in opened:
        device.close()


@pytest.fixture
def device(make_device):
    return make_device()
