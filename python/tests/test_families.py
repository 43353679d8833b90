"""Each family of the library through the package, on the lab's signals."""

import numpy as np
import pytest
from pytest import approx

from ktz3649 import BOTH, Event, GainRange, lab

LSB = {0: 10 / 4096, 3: 1.25 / 4096, 4: 20 / 4096, 17: 5 / 4096}  # volts per code


@pytest.mark.parametrize("channel, gain, applied, expected", [
    (3, 0, 2.5, 2.5),
    (15, 4, -7.5, -7.5),
    (0, 17, 1.25, 1.25),  # unipolar 0 to 5 V
    (2, 3, 1.0, 0.625 * 2047 / 2048),  # beyond the range: clipped at code 4095
])
def test_ai_voltage(device, channel, gain, applied, expected):
    lab.set_input_voltage(channel, applied)
    device.ai_config((channel + 1) % 16)  # ai_voltage points the converter back
    assert device.ai_voltage(channel, gain) == approx(expected, abs=LSB[gain])


def test_ai_scan_with_a_differential_pair(make_device):
    device = make_device(chan_config=0x3)  # channels 0 and 1: one pair
    for channel, volts in enumerate([3.0, 1.0, -2.0, 4.0, 0.5]):
        lab.set_input_voltage(channel, volts)
    expected = [2.0, -2.0, 4.0, 0.5]  # entries: the pair 0-1, then 2, 3, 4
    scan = device.ai_scan(0, 4, gains=[4, 0, 0, 0])
    assert scan.dtype == np.float32 and scan == approx(expected, abs=LSB[4])
    assert device.ai_scan(0, 4, [4, 0, 0, 0], volts=False)[1] == approx(2048 - 819.2, abs=1)
    assert device.ai_raw(2) == approx(2048 - 819.2, abs=1)


@pytest.mark.parametrize("channel, maximum, minimum, volts", [
    (0, 5.0, 0.0, 3.3), (1, 10.0, 0.0, 7.5), (0, 10.0, -10.0, -6.0), (1, 5.0, -5.0, 2.5)])
def test_ao_voltage(device, channel, maximum, minimum, volts):
    device.ao_config(channel, maximum, minimum)
    device.ao_voltage(channel, volts)
    assert lab.analog_output(channel) == approx(volts, abs=(maximum - minimum) / 4096)


def test_ao_codes(device):
    assert device.ao_scale(0, [0.0, 2.5, 5.0]).tolist() == [0, 2048, 4095]  # 0 to 5 V
    device.ao_code(1, 1024)
    assert lab.analog_output(1) == approx(1.25)


@pytest.mark.parametrize("write, latches", [
    (lambda d: d.dio_write(0, 0xA5), (0xA5, 0)),
    (lambda d: (d.dio_write(1, 0xFF), d.dio_write(1, 0x00, mask=0x0F)), (0, 0xF0)),
    (lambda d: d.dio_write_bit(1, 7, 1), (0, 0x80)),
    (lambda d: d.dio_write_word(0x3C5A), (0x5A, 0x3C)),
    (lambda d: (d.dio_write_word(0xFFFF), d.dio_write_word(0, mask=0x0180)), (0x7F, 0xFE)),
])
def test_dio_writes(device, write, latches):
    write(device)
    assert (lab.digital_output(0), lab.digital_output(1)) == latches
    assert (device.dio_output(0), device.dio_output(1)) == latches
    assert device.dio_output_word() == latches[0] | latches[1] << 8


def test_dio_inputs(device):
    device.dio_set_mode(1, output=False)
    assert device.dio_modes() == [True, False]
    lab.set_digital_input(1, 0x96)
    device.dio_write(0, 0x11)
    assert device.dio_read(1) == 0x96
    assert [device.dio_read_bit(1, bit) for bit in range(8)] == [0, 1, 1, 0, 1, 0, 0, 1]
    assert device.dio_read_word() == 0x9600  # port 0 is an output


def test_counter_events_across_wraps(device):
    device.counter_event_start(1)
    total = 0
    for pulses in (40000, 60000, 65535, 1):
        lab.inject_counter_pulses(1, pulses)
        total += pulses
        assert device.counter_event_read(1) == total


def _fast_frequency_gate():
    lab.set_request_cost(0)  # the start's writes close together,
    lab.set_counter_poll_cost(30_000)  # the 60 ms gate of FreqArea 1 in 2000 reads
    lab.set_counter_rate(2, 500e3)


@pytest.mark.parametrize("settings, stimulus, measure, expected", [
    ({"freq_area": 1}, _fast_frequency_gate, lambda d: d.counter_frequency(), 500e3),
    ({"pwm_area": 0}, lambda: lab.set_counter_pulse_train(2, 100_000, 50_000),
     lambda d: d.pwm_measure(), (100.0, 50.0)),
    ({}, lambda: None, lambda d: (d.counter_pulse(0, 0.001), lab.counter_output(0).period_ns)[1],
     1e6),
])
def test_counter_measurements(make_device, settings, stimulus, measure, expected):
    device = make_device(**settings)
    stimulus()
    assert measure(device) == approx(expected)


def test_wait_event_before_and_without_a_start(device):
    assert device.wait_event(0) is Event.NONE  # nothing enabled: at once
    device.enable_event(Event.INTERRUPT | Event.TERMINATED)
    assert device.wait_event(0) is Event.TIMEOUT


def test_fai_scan_in_volts_and_raw(device):
    lab.set_input_voltage(4, 1.5)
    lab.set_input_voltage(5, -3.0)
    device.enable_event(Event.TERMINATED)
    device.fai_start(2000, 100_000, start_channel=4, channels=2, gains=[0, 4])
    assert device.wait_event(10_000) is Event.TERMINATED
    assert device.fai_check().count == 2000
    volts = device.fai_transfer().reshape(-1, 2)
    assert volts[:, 0] == approx(np.full(1000, 1.5), abs=LSB[0])
    assert volts[:, 1] == approx(np.full(1000, -3.0), abs=LSB[4])
    raw = device.fai_transfer(volts=False)
    assert raw.dtype == np.uint16 and set(raw[0::2] >> 12) == {4} and set(raw[1::2] >> 12) == {5}


@pytest.mark.parametrize("channel", [0, 1, BOTH])
def test_fao_plays_volts(device, channel):
    device.ao_config(0, 10.0, -10.0)
    device.ao_config(1, 5.0, -5.0)
    volts = 4.5 * np.sin(2 * np.pi * np.arange(4096) / 256)
    device.enable_event(Event.AO_TERMINATED)
    device.fao_start(volts, 100_000, channel)
    # The end event of a running output finishes it there (and reads NONE);
    # the FIFO has played out when that returns.
    assert device.wait_event(10_000) is Event.NONE
    for c, played in ((0, volts[0::2]), (1, volts[1::2])) if channel == BOTH else \
            ((channel, volts),):
        assert lab.output_record(c) == approx(played, abs=(20 if c == 0 else 10) / 4096)
    assert lab.output_state().dma_bytes == 0


@pytest.mark.parametrize("board_id, ao_channels", [(lab.PCI3649, 2), (lab.PCI3649L, 0)])
def test_features(make_device, board_id, ao_channels):
    features = make_device(board_id=board_id).features
    assert (features.board_id, features.ao_channels) == (board_id, ao_channels)
    assert len(features.ranges) == 9 and GainRange(4, -10.0, 10.0, "+/-10V") in features.ranges


def test_properties(device):
    assert device.get_property(0x0001) == (97).to_bytes(4, "little")  # board ID
    device.set_property(0x3006, bytes([0, 0, 0, 0, 255, 0, 0, 0]))  # port 0 an input
    assert device.dio_modes() == [False, True]
