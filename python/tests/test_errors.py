"""Result codes as exceptions, the package's error table against the C
header, and the device's lifetime."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import ktz3649
from ktz3649 import ERRORS, Device, KtzError, lab, result_text

HEADER = Path(__file__).resolve().parents[2] / "include" / "ktz3649.h"


def test_error_table_matches_the_header():
    text = HEADER.read_text()
    enum = re.search(r"typedef enum KtzError \{(.*?)\} KtzError;", text, re.S).group(1)
    numbers = {int(n): name for name, n in re.findall(r"(KtzErr\w+) = (\d+)", enum)}
    words = dict(re.findall(r'case (KtzErr\w+): return "([^"]*)";', text))
    assert {n: name for n, (name, _) in ERRORS.items()} == numbers
    assert {name: text for name, text in ERRORS.values()} == words


@pytest.mark.parametrize("result, text", [
    (0, "success"), (0x1007, "device 0: invalid channel"), (3, "invalid handle"),
    (0x304D, "device 2: kernel driver status 77"), (4000, "error 4000")])
def test_result_text(result, text):
    assert result_text(result) == text


# Device 2, so that the device bits are seen as what they are.
@pytest.mark.parametrize("call, name, device", [
    (lambda d: d.ai_voltage(16), "KtzErrInvalidChannel", 2),
    (lambda d: d.ai_voltage(0, gain=21), "KtzErrInvalidGain", 2),
    (lambda d: d.dio_read(2), "KtzErrInvalidChannel", 2),
    (lambda d: d.counter_frequency(counter=1), "KtzErrInvalidChannel", 2),
    (lambda d: d.counter_pulse(0, 7.0), "KtzErrInvalidParameter", None),  # bare
    (lambda d: d.fai_start(999, 10_000), "KtzErrInvalidCount", 2),
    (lambda d: d.fai_transfer(0, 1), "KtzErrInvalidCount", 2),  # nothing acquired
    (lambda d: d.get_property(0x7777), "KtzErrUnknownProperty", 2),
])
def test_failures_raise_with_name_and_device(make_device, call, name, device):
    with pytest.raises(KtzError) as raised:
        call(make_device(2))
    assert (raised.value.name, raised.value.device) == (name, device)
    assert raised.value.result & 0xFFF == next(n for n, e in ERRORS.items() if e[0] == name)


def test_closed_and_unknown_devices_give_bare_results(make_device):
    device = make_device(0)
    device.close()
    device.close()  # harmless
    with pytest.raises(KtzError) as closed:
        device.dio_read(0)
    with pytest.raises(KtzError) as unknown:
        Device(5)
    assert (closed.value.result, closed.value.device) == (3, None)
    assert (unknown.value.name, unknown.value.device) == ("KtzErrSettingsNotFound", None)


def test_context_manager_ends_the_acquisition_and_releases_the_device():
    lab.setup(time_factor=1)
    with pytest.raises(RuntimeError), Device(0) as device:
        device.fai_start(1_000_000, 1000)  # 1000 s
        assert lab.acquisition().state == 2  # running
        raise RuntimeError
    assert device.closed and lab.acquisition().state == 4  # stopped by the close
    with Device(0) as again:  # a fresh record: the claim is gone
        again.fai_start(2, 1000)


def test_lab_setup_closes_open_devices(device):
    lab.setup()  # restarts the driver: a device left open would stay stuck
    assert device.closed
    lab.set_input_voltage(1, 1.0)
    with Device(0) as again:
        assert again.ai_voltage(1) == pytest.approx(1.0, abs=0.01)


def test_refused_start_releases_the_claim_but_not_a_running_acquisition(device):
    with pytest.raises(KtzError, match="KtzErrInvalidPacerRate"):
        device.fai_start(100, 100)
    lab.set_time_factor(0)  # the engine holds
    device.fai_start(100, 1000)
    with pytest.raises(KtzError, match="KtzErrAcquisitionRunning"):
        device.fai_start(100, 1000)
    assert lab.acquisition().state in (1, 2)  # still prepared or running
    device.fai_stop()


def test_missing_library_is_named():
    environment = dict(os.environ, KTZ3649_LIBRARY_PATH="/nonexistent")
    run = subprocess.run([sys.executable, "-c", "import ktz3649; ktz3649.Device(0)"],
                         env=environment, capture_output=True, text=True,
                         cwd=Path(ktz3649.__file__).parents[1])
    assert run.returncode != 0
    assert "LibraryNotFound" in run.stderr and "KTZ3649_LIBRARY_PATH" in run.stderr
