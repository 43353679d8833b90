"""Recording without end: the card fills its buffer cyclically (about-trigger
mode with a trigger that never comes) and the stream takes each half while
the card fills the other, one FAITransfer per half. A half the card began to
rewrite before it was copied is lost: counted, and reported as the `lost`
samples of the next block. Also the binary file of a recording (KTZSTRM1):
StreamWriter writes one, read_stream reads one.
"""

from __future__ import annotations

import struct
from dataclasses import dataclass, field
from pathlib import Path
from typing import TYPE_CHECKING, NamedTuple, Sequence

import numpy as np

from .device import Closing, Event, TriggerMode, _words
from .errors import KtzError

if TYPE_CHECKING:
    from .device import Device

DEFAULT_HALF = 65536
_LAB_TRIGGER = 1  # a trigger source nobody fires: the card fills its buffer until stopped
_POST_SCANS = 2
_WAIT_MS = 250  # CheckEvent's time-out: the count is read at least this often
_ENDED = 3  # status word 1 once the acquisition ended by itself (the trigger came)


class Block(NamedTuple):
    """What the stream yields: `data` (scans, entries) of float32 volts or
    uint16 raw words, whose first sample is sample `index` of the recording
    (lost ones counted), after `lost` samples that were lost just before it."""

    index: int
    data: np.ndarray
    lost: int


@dataclass
class StreamStats:
    """Running totals of a stream."""

    samples: int = 0  # samples yielded
    halves: int = 0  # whole halves taken
    overruns: int = 0  # overrun reports of the card
    lost_halves: int = 0  # whole halves lost
    lost: int = 0  # samples lost (whole halves, and the final part if it was rewritten)
    written: int = 0  # samples the card wrote, as last read


@dataclass(frozen=True)
class Entry:
    """A scan entry: its channel, gain code and range in volts."""

    channel: int
    gain: int
    lower: float
    upper: float


def extend(total: int, count: int) -> int:
    """A 64-bit sample total advanced to the card's 32-bit count, which wraps."""
    return total + ((count - total) & 0xFFFFFFFF)


def to_volts(words: np.ndarray, entries: Sequence[Entry]) -> np.ndarray:
    """Raw words (scans, entries) in volts (float32): lower + code x span / 4096."""
    lower = np.array([e.lower for e in entries], np.float64)
    step = (np.array([e.upper for e in entries], np.float64) - lower) / 4096
    return (lower + (words & 0x0FFF) * step).astype(np.float32)


def _entry_channels(start: int, entries: int, pairs: int) -> list[int]:
    """The channel of each scan entry: the scan wraps from 15 to 0, and a
    differential pair (bit n of `pairs` for channel n) takes one entry."""
    def paired_odd(c):
        return c & 1 and pairs >> c & 1
    channel = start - 1 if paired_odd(start) else start
    channels = []
    while len(channels) < entries:
        channel %= 16
        if not paired_odd(channel):
            channels.append(channel)
        channel += 1
    return channels


class Stream(Closing):
    """A running recording of a device (Device.stream). Iterate for Blocks;
    `stats` holds the running totals. stop() ends the acquisition, after
    which the iteration gives what remains and ends; close() (also on
    leaving a `with` block, or when the object is collected) ends it at
    once and frees the buffer."""

    def __init__(self, device: "Device", rate: int, start_channel: int = 0, channels: int = 1,
                 gains: int | Sequence[int] = 0, *, half: int | None = None,
                 seconds: float | None = None, volts: bool = True, clock_source: int = 0):
        if not 1 <= channels <= 16:
            raise ValueError(f"channels: {channels} scan entries, not 1 to 16")
        if half is None:
            half = DEFAULT_HALF // channels * channels
        if half < channels or half % channels or 2 * half > 1_024_000:
            raise ValueError(f"half: {half} samples is not a whole number of scans of "
                             f"{channels} entries up to 512000")
        self.device, self.rate, self.half, self.volts = device, rate, half, volts
        self.entries_count = channels
        # Samples to record: whole scans; None until stopped.
        self.limit = None if seconds is None else \
            -(-round(seconds * rate) // channels) * channels
        gain_list = list(_words(gains, channels, "gains"))[:channels]
        ranges = {r.gain: (r.lower, r.upper) for r in device.features.ranges}
        pairs = int.from_bytes(device.get_property(0x1000)[:2] or b"\0", "little")
        self.entries = tuple(
            Entry(c, g, *ranges.get(g, (float("nan"),) * 2))
            for c, g in zip(_entry_channels(start_channel, channels, pairs), gain_list))
        self.stats = StreamStats()
        self._next = 0  # the next half to take
        self._at = 0  # samples taken or lost so far
        self._pending_lost = 0  # lost samples not yet reported with a block
        self._running = self._ended = False
        # The card's count may trail its writes by a transfer block, the
        # event count the start takes along: a quarter of a half, at most 2048.
        self._guard = min(max(half // 4 & ~1, 2), 2048)
        device.enable_event(Event.BUFFER_CHANGE | Event.OVERRUN, count=self._guard)
        try:
            device.fai_start(2 * half, rate, start_channel, channels, gain_list,
                             trigger_mode=TriggerMode.ABOUT, trigger_source=_LAB_TRIGGER,
                             post_trigger_scans=_POST_SCANS, clock_source=clock_source)
        except BaseException:
            device.enable_event(Event.BUFFER_CHANGE | Event.OVERRUN, False)
            raise
        self._buffer = device._shared.buffers[-1]
        self._running = True

    # ---- the protocol --------------------------------------------------------

    def _check(self) -> None:
        """Reads the count and the overrun report (clearing it)."""
        status = self.device.fai_check()
        self.stats.written = extend(self.stats.written, status.count)
        # The status word holds each report until it is cleared: counted
        # there, once; the overrun event only wakes the reader.
        if status.status3:
            self.stats.overruns += 1
            self.device.fai_clear_overrun()
        if self._running and status.status1 == _ENDED:
            self.stop()  # the trigger came after all: nothing more will be written

    def _take(self) -> Block | None:
        """The next half (or after the stop, the last part of one) if the
        count says it is there; None if not yet, or if it was lost."""
        h, half = self._next, self.half
        first = h * half
        end = self.stats.written if self.limit is None else min(self.stats.written, self.limit)
        end = min(end // self.entries_count * self.entries_count, first + half)
        if end <= first or (self._running and end < first + half):
            return None
        # Beyond this count the card rewrites half h; while it runs, it may
        # have written a block beyond its count.
        intact = (h + 2) * half - (self._guard if self._running else 0)
        data = None
        if self.stats.written <= intact:
            n = end - first
            data = self.device.fai_transfer((h % 2) * half, n, volts=self.volts and self._running)
            if self._running:
                self._check()
            elif self.volts:  # a stopped buffer gives volts in another order: scale here
                data = to_volts(data.reshape(-1, self.entries_count), self.entries)
            if self.stats.written > intact:
                data = None  # copied while being rewritten
        self._next += 1
        self._at = end
        whole = end == first + half
        if data is None:
            self._pending_lost += end - first
            self.stats.lost += end - first
            self.stats.lost_halves += whole
            return None
        block = Block(first, data.reshape(-1, self.entries_count), self._pending_lost)
        self._pending_lost = 0
        self.stats.samples += data.size
        self.stats.halves += whole
        return block

    def __iter__(self) -> "Stream":
        return self

    def __next__(self) -> Block:
        try:
            while not self._ended:
                if self._running and self.limit is not None and self.stats.written >= self.limit:
                    self.stop()
                before = self._next
                block = self._take()
                if block is not None:
                    return block
                if self._next != before:
                    continue  # a lost half: the next may be there
                if not self._running:
                    self._finish()
                    if self._pending_lost:  # a loss at the very end still shows
                        block = Block(self._at, np.empty((0, self.entries_count), self._dtype()),
                                      self._pending_lost)
                        self._pending_lost = 0
                        return block
                    break
                self.device.wait_event(_WAIT_MS)  # whatever woke it, the count tells
                self._check()
        except BaseException:
            self.close()
            raise
        raise StopIteration

    def _dtype(self):
        return np.float32 if self.volts else np.uint16

    def stop(self) -> None:
        """Ends the acquisition; the iteration then gives the halves still
        in the buffer and the samples of the half in progress (whole scans)."""
        if self._running:
            self._running = False
            self.device.fai_stop()
            self._check()
            self.limit = self.stats.written if self.limit is None else self.limit

    def _finish(self) -> None:
        """Frees the buffer (the library's record still points at it: the
        device refuses transfers until its next start) and the events. A
        device closed meanwhile keeps the buffer until its last close, which
        ends the acquisition."""
        if self._ended:
            return
        self._ended = True
        if self.device.closed:
            return
        shared = self.device._shared
        if self._buffer in shared.buffers:
            shared.buffers.remove(self._buffer)
            shared.count = 0
            shared.released = True
            self.device._lib.memory.GlobalFree(self._buffer)
        self.device.enable_event(Event.BUFFER_CHANGE | Event.OVERRUN, False)

    def close(self) -> None:
        """Ends the acquisition at once and frees the buffer; what the
        buffer still held is dropped. Closing again does nothing."""
        if self._ended:
            return
        try:
            if self._running and not self.device.closed:
                self._running = False
                self.device.fai_stop()
        finally:
            self._running = False
            self._finish()


# ---- the binary file ---------------------------------------------------------------

MAGIC = b"KTZSTRM1"
HEADER_BYTES = 256
_HEAD = struct.Struct("<8sIIdIIQQIIII")  # magic to reserved: 64 bytes
_ENTRY = struct.Struct("<HHff")
_CHUNK = struct.Struct("<4sI")
DATA, GAP = b"DATA", b"GAP "
COMPLETE = 1  # flags bit 0: the recording ended and the counts are final


class StreamFileError(ValueError):
    """A stream file that is not one, or is damaged or truncated."""


def _header(entries: Sequence[Entry], rate: float, half: int, device: int, flags: int = 0,
            samples: int = 0, lost: int = 0, halves: int = 0, overruns: int = 0) -> bytes:
    head = _HEAD.pack(MAGIC, HEADER_BYTES, len(entries), rate, half, flags, samples, lost,
                      halves, overruns, device, 0)
    records = b"".join(_ENTRY.pack(e.channel, e.gain, e.lower, e.upper) for e in entries)
    return (head + records).ljust(HEADER_BYTES, b"\0")


class StreamWriter(Closing):
    """Writes the blocks of a Stream (raw words) to a file; close() writes
    the final counts and marks the recording complete."""

    def __init__(self, path: str | Path, stream: Stream):
        if stream.volts:
            raise ValueError("a stream file holds raw words: open the stream with volts=False")
        self.stream = stream
        self.samples = self.lost = 0
        self._file = open(path, "wb")
        self._file.write(self._header(0))

    def _header(self, flags: int) -> bytes:
        s = self.stream
        return _header(s.entries, s.rate, s.half, s.device.number, flags, self.samples,
                       self.lost, s.stats.halves, s.stats.overruns)

    def write(self, block: Block) -> None:
        if block.lost:
            self._file.write(_CHUNK.pack(GAP, block.lost))
            self.lost += block.lost
        if block.data.size:
            self._file.write(_CHUNK.pack(DATA, block.data.size))
            self._file.write(block.data.astype("<u2", copy=False).tobytes())
            self.samples += block.data.size

    def close(self) -> None:
        if self._file.closed:
            return
        try:
            self._file.seek(0)
            self._file.write(self._header(COMPLETE))
        finally:
            self._file.close()


@dataclass
class Recording:
    """A stream file as read: the header's fields, the raw words of its DATA
    chunks in order, and its gaps as (sample index, count), the index
    counting lost samples too."""

    entries: tuple[Entry, ...]
    rate: float
    half: int
    device: int
    samples: int
    lost: int
    halves: int
    overruns: int
    complete: bool
    words: np.ndarray = field(repr=False)
    gaps: list[tuple[int, int]]

    def volts(self) -> np.ndarray:
        """All samples (lost ones too) as float32 (scans, entries): NaN where
        a sample was lost, and in the last scan's entries not recorded."""
        n = len(self.entries)
        total = self.samples + self.lost
        scans = -(-total // n)
        words = np.zeros(scans * n, np.uint16)
        valid = np.zeros(scans * n, bool)
        at, taken = 0, 0
        for index, count in self.gaps + [(total, 0)]:
            words[at:index] = self.words[taken:taken + index - at]
            valid[at:index] = True
            taken += index - at
            at = index + count
        volts = to_volts(words.reshape(scans, n), self.entries)
        volts[~valid.reshape(scans, n)] = np.nan
        return volts


def read_stream(path: str | Path) -> Recording:
    """Reads a stream file; StreamFileError if it is not one or is damaged
    or truncated."""
    raw = Path(path).read_bytes()
    where = f"{path}"
    if len(raw) < _HEAD.size + 16 * _ENTRY.size or raw[:8] != MAGIC:
        raise StreamFileError(f"{where}: not a stream file (no {MAGIC.decode()} header)")
    (_, header_bytes, n, rate, half, flags, samples, lost, halves, overruns, device,
     _) = _HEAD.unpack_from(raw)
    if header_bytes < HEADER_BYTES or header_bytes > len(raw) or not 1 <= n <= 16 or half == 0:
        raise StreamFileError(f"{where}: damaged header (header of {header_bytes} bytes, "
                              f"{n} entries, half {half})")
    entries = tuple(Entry(*_ENTRY.unpack_from(raw, _HEAD.size + e * _ENTRY.size))
                    for e in range(n))
    runs, gaps = [], []
    at, index, words_in = header_bytes, 0, 0
    while at < len(raw):
        if len(raw) - at < _CHUNK.size:
            raise StreamFileError(f"{where}: truncated chunk head at byte {at}")
        tag, count = _CHUNK.unpack_from(raw, at)
        at += _CHUNK.size
        if tag == DATA:
            if len(raw) - at < 2 * count:
                raise StreamFileError(f"{where}: DATA chunk at byte {at - _CHUNK.size} of "
                                      f"{count} samples truncated to {(len(raw) - at) // 2}")
            runs.append(np.frombuffer(raw, "<u2", count, at))
            at += 2 * count
            words_in += count
        elif tag == GAP:
            gaps.append((index, count))
        else:
            raise StreamFileError(f"{where}: unknown chunk {tag!r} at byte {at - _CHUNK.size}")
        index += count
    lost_in = index - words_in
    complete = bool(flags & COMPLETE)
    if complete and (samples, lost) != (words_in, lost_in):
        raise StreamFileError(f"{where}: the header counts {samples} samples and {lost} lost, "
                              f"the chunks hold {words_in} and {lost_in}")
    words = np.concatenate(runs).astype(np.uint16, copy=False) if runs else \
        np.empty(0, np.uint16)
    return Recording(entries, rate, half, device, words_in, lost_in, halves, overruns, complete,
                     words, gaps)
