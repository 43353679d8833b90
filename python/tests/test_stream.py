"""Device.stream and the stream file, on the lab's engine driven pulse by
pulse: every sample once and in order, a late reader's loss as a gap."""

import numpy as np
import pytest

from ktz3649 import KtzError, StreamFileError, StreamWriter, lab, read_stream
from ktz3649.stream import Entry, _header, extend

EXTERNAL = 1  # clock source: the lab's external clock, one sample per pulse (1000 ns apart)
BIPOLAR_10V = 4


@pytest.fixture
def counting(make_device):
    """A device whose `entries` first channels count: each entry's samples
    step one code (a sawtooth of 4096 sample periods per entry)."""
    def make(entries):
        device = make_device()
        lab.set_time_factor(0)  # samples come only from the test's pulses
        for channel in range(entries):
            lab.set_signal(channel, "sawtooth", amplitude=10.0,
                           frequency=1e9 / (4096 * entries * 1000))
        return device
    return make


def open_stream(device, entries, half, volts=False):
    return device.stream(1000, 0, entries, BIPOLAR_10V, half=half, volts=volts,
                         clock_source=EXTERNAL)


def codes(block, volts):
    """The 12-bit codes of a block, from volts in the 10 V bipolar range."""
    if volts:
        return np.rint((block.data.astype(np.float64) + 10) * 4096 / 20).astype(np.int64)
    return block.data.astype(np.int64) & 0xFFF


@pytest.mark.parametrize("entries, half, volts", [(1, 256, False), (2, 300, True),
                                                  (4, 400, False)])
def test_every_sample_once_and_in_order(counting, entries, half, volts):
    device = counting(entries)
    with open_stream(device, entries, half, volts) as stream:
        blocks = []
        for _ in range(12):
            lab.pulse_external_clock(half)
            blocks.append(next(stream))
        lab.pulse_external_clock(2 * entries + 1)  # then stopped within a half, mid-scan
        stream.stop()
        blocks += list(stream)
        written = lab.acquisition().samples
    assert written == 12 * half + 2 * entries + 1
    assert [(b.index, b.lost) for b in blocks] == [(k * half, 0) for k in range(13)]
    data = np.concatenate([codes(b, volts) for b in blocks])
    assert data.shape == (written // entries, entries)  # whole scans: the last part-scan dropped
    assert (np.diff(data, axis=0) % 4096 == 1).all()
    stats = stream.stats
    assert (stats.samples, stats.halves, stats.lost, stats.overruns) == (data.size, 12, 0, 0)
    if not volts:
        assert ((blocks[0].data >> 12) == np.arange(entries) & 7).all()  # the channel bits
    with pytest.raises(KtzError, match="no buffer"):  # freed; the record still points at it
        device.fai_transfer(0, 1)


def test_a_late_reader_loses_a_whole_half_and_goes_on(counting, tmp_path):
    half = 256
    device = counting(1)
    with open_stream(device, 1, half) as stream, StreamWriter(tmp_path / "s.ktz", stream) as out:
        taken = []
        # The reader sleeps through two halves and a half (three would lose
        # the second too: the count may trail the card's writes by a block).
        for pulses in (half, 2 * half + half // 2, half // 2, half):
            if pulses:
                lab.pulse_external_clock(pulses)
            taken.append(next(stream))
            out.write(taken[-1])
    assert [(b.index, b.lost) for b in taken] == [(0, 0), (2 * half, half), (3 * half, 0),
                                                  (4 * half, 0)]
    stats = stream.stats
    assert (stats.halves, stats.lost_halves, stats.lost) == (4, 1, half)
    assert 1 <= stats.overruns <= lab.acquisition().overruns
    data = np.concatenate([codes(b, False) for b in taken])[:, 0]
    assert (np.diff(data) % 4096 == [1] * (half - 1) + [half + 1] + [1] * (3 * half - 1)).all()

    recording = read_stream(tmp_path / "s.ktz")
    assert recording.complete and recording.gaps == [(half, half)]
    assert (recording.samples, recording.lost, recording.halves, recording.overruns) == \
        (4 * half, half, 4, stats.overruns)
    assert (recording.entries[0].channel, recording.entries[0].gain) == (0, BIPOLAR_10V)
    assert (recording.entries[0].lower, recording.entries[0].upper) == (-10.0, 10.0)
    assert (recording.half, recording.rate, recording.device) == (half, 1000.0, 0)
    assert np.array_equal(recording.words, np.concatenate([b.data[:, 0] for b in taken]))
    volts = recording.volts()
    assert volts.shape == (5 * half, 1) and np.isnan(volts[half:2 * half]).all()
    assert not np.isnan(np.delete(volts, np.s_[half:2 * half])).any()


def test_record_for_a_time(make_device, tmp_path):
    device = make_device()  # the pacer at the lab's time factor: halves may be lost
    stats = device.record(tmp_path / "r.ktz", 10_000, 3, 3, [0, 4, 17], half=150, seconds=0.3)
    recording = read_stream(tmp_path / "r.ktz")
    assert recording.samples + recording.lost == 3000 == stats.samples + stats.lost
    assert [(e.channel, e.gain, e.upper) for e in recording.entries] == [(3, 0, 5.0),
                                                                          (4, 4, 10.0),
                                                                          (5, 17, 5.0)]
    assert lab.acquisition().state == 4  # stopped


def damage(cut=None, at=None, value=None):
    def apply(raw):
        raw = bytearray(raw[:cut])
        if at is not None:
            raw[at:at + len(value)] = value
        return bytes(raw)
    return apply


@pytest.mark.parametrize("change, message", [
    (damage(cut=300), "DATA chunk at byte 256 of 20 samples truncated to 18"),
    (damage(cut=-3), "truncated chunk head at byte 304"),
    (damage(cut=100), "not a stream file"),
    (damage(at=0, value=b"KTZSTRM2"), "not a stream file"),
    (damage(at=256, value=b"DATE"), "unknown chunk"),
    (damage(at=12, value=b"\x11"), "damaged header"),
    (damage(at=32, value=b"\x15"), "the header counts 21 samples"),
])
def test_a_damaged_file_is_refused(tmp_path, change, message):
    raw = _header([Entry(0, 4, -10.0, 10.0)], 1000, 10, 0, 1, 20, 10) + \
        b"DATA\x14\0\0\0" + bytes(40) + b"GAP \x0a\0\0\0"  # 20 samples, 10 lost
    assert read_stream_bytes(tmp_path, raw).gaps == [(20, 10)]
    with pytest.raises(StreamFileError, match=message):
        read_stream_bytes(tmp_path, change(raw))


def read_stream_bytes(tmp_path, raw):
    (tmp_path / "f.ktz").write_bytes(raw)
    return read_stream(tmp_path / "f.ktz")


@pytest.mark.parametrize("total, count, expected", [
    (5, 9, 9), (0xFFFFFFF0, 0x10, 0x100000010), (0x2FFFFFFFF, 0x00000002, 0x300000002)])
def test_the_count_extends_over_its_wrap(total, count, expected):
    assert extend(total, count) == expected


def leave_by_break(device):
    stream = open_stream(device, 1, 64)
    lab.pulse_external_clock(64)
    for _ in stream:
        break
    # collected on return, as a loop's own stream after a break


def leave_by_interrupt(device):
    with pytest.raises(KeyboardInterrupt), open_stream(device, 1, 64) as stream:
        lab.pulse_external_clock(64)
        next(stream)
        raise KeyboardInterrupt


@pytest.mark.parametrize("leave", [leave_by_break, leave_by_interrupt])
def test_leaving_early_stops_and_frees(counting, leave):
    device = counting(1)
    leave(device)
    assert lab.acquisition().state == 4 and not device._shared.buffers  # stopped, freed
    device.fai_start(64, 10_000)  # the device goes on
    assert device.fai_transfer(0, 64).size == 64
