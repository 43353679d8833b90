"""Device: one open device of the library, with a method per task."""

from __future__ import annotations

import ctypes
import enum
import math
import time
import weakref
from ctypes import byref
from dataclasses import dataclass
from typing import TYPE_CHECKING, NamedTuple, Sequence

import numpy as np

from . import _library
from ._library import DWORD, FLOAT, KTZHANDLE, WORD
from .errors import KtzError, check

if TYPE_CHECKING:
    from .stream import Stream, StreamStats

INFINITE = 0xFFFFFFFF
BOTH = 2  # the channel argument of fao_start that plays on both outputs
_GHND = 0x0042  # GMEM_MOVEABLE | GMEM_ZEROINIT


class Event(enum.IntEnum):
    """Event types: enable_event takes them (the input ones may be or-ed),
    wait_event returns one."""

    NONE = 0  # nothing enabled, or a disabled event was signalled
    INTERRUPT = 0x0001  # fast input: every `count` samples
    BUFFER_CHANGE = 0x0002  # fast input: a half of the buffer is full
    TERMINATED = 0x0004  # fast input: the acquisition has ended
    OVERRUN = 0x0008  # fast input: a half was rewritten before it was taken
    AO_INTERRUPT = 0x2802
    AO_BUFFER_CHANGE = 0x2803
    AO_TERMINATED = 0x2804  # fast output: the output has ended
    AO_UNDERRUN = 0x2805
    AO_HIGH_HALF = 0x2806  # fast output: high half of the buffer transferred
    AO_LOW_HALF = 0x2807  # fast output: low half of the buffer transferred
    TIMEOUT = 0xFFFF  # wait_event: the time ran out


class TriggerMode(enum.IntEnum):
    """Trigger modes of fai_start."""

    NONE = 0  # fill the buffer once from the start
    START = 1  # wait for the trigger, then fill the buffer once
    ABOUT = 3  # fill cyclically until the trigger, then the post-trigger scans


class GainRange(NamedTuple):
    gain: int
    lower: float
    upper: float
    name: str


@dataclass(frozen=True)
class Features:
    """The device features record (DeviceGetFeatures)."""

    driver_version: str
    driver_name: str
    board_id: int
    ai_differential_channels: int
    ai_single_ended_channels: int
    ao_channels: int
    do_channels: int
    di_channels: int
    counter_channels: int
    ad_bits: int
    da_bits: int
    ranges: tuple[GainRange, ...]
    capability_bits: int


class FaiStatus(NamedTuple):
    """Progress of an acquisition as the kernel driver reports it (FAICheck)."""

    status1: int  # on the lab: 0 none, 1 waiting, 2 sampling, 3 ended
    count: int  # samples written since the start
    status2: int  # on the lab: the buffer half the next sample goes to
    status3: int  # on the lab: 1 after an overrun until clear_overrun


class FaoStatus(NamedTuple):
    """Progress of a waveform output (FAOCheckEx)."""

    status1: int  # bit 0 while the start is pending, bit 1 while the card plays
    count: int  # samples played since the start
    fifo: int  # samples in the output FIFO (status word 3)
    flags: int  # status word 2: underrun, high half, low half transferred


class _GainEntry(ctypes.Structure):
    _fields_ = [("gainCode", WORD), ("reserved", WORD), ("upperLimit", FLOAT),
                ("lowerLimit", FLOAT), ("rangeName", ctypes.c_char * 16)]


class _FeaturesRecord(ctypes.Structure):
    _fields_ = [("driverVersion", ctypes.c_char * 8), ("driverName", ctypes.c_char * 16),
                ("boardId", DWORD)] + [(name, WORD) for name in (
                    "maxAIDiffChannels", "maxAISingleChannels", "maxAOChannels",
                    "maxDOChannels", "maxDIChannels", "featureWord1", "maxCounterChannels",
                    "featureWord2", "adBits", "adBytes", "daBits", "daBytes", "gainCount",
                    "reserved")] + [("gainList", _GainEntry * 16), ("capabilityBits", DWORD),
                                    ("reserved2", DWORD * 3)]


class _GetPropertyBlock(ctypes.Structure):  # DriverProc 109
    _fields_ = [("property", WORD), ("pad2", WORD), ("length", ctypes.c_void_p),
                ("buffer", ctypes.c_void_p)]


class _SetPropertyBlock(ctypes.Structure):  # DriverProc 108
    _fields_ = [("property", WORD), ("pad2", WORD), ("length", DWORD),
                ("data", ctypes.c_void_p)]


class _Shared:
    """What the opens of one device number share, as the library shares its
    record: the acquisition buffers the record may still point at, and the
    waveform the output plays."""

    def __init__(self) -> None:
        self.opens = 0
        self.buffers: list[int] = []  # global memory handles, newest last
        self.count = 0  # samples of the last acquisition started
        self.released = False  # a stream freed the buffer the record points at
        self.waveform: np.ndarray | None = None

    def free_buffers(self, keep: int | None = None) -> None:
        memory = _library.library().memory
        for handle in self.buffers:
            if handle != keep:
                memory.GlobalFree(handle)
        self.buffers = [keep] if keep else []


_shared: dict[int, _Shared] = {}
_open: "weakref.WeakSet[Device]" = weakref.WeakSet()


def close_all() -> None:
    """Closes every Device of the package that is open (the lab does so
    before it restarts the driver, which would leave their records stuck)."""
    for device in list(_open):
        try:
            device.close()
        except KtzError:
            pass  # its driver is gone already: nothing left to close


def _words(values: int | Sequence[int], n: int, what: str) -> ctypes.Array:
    """A WORD array of n entries from one value or a sequence of n."""
    if isinstance(values, (int, np.integer)):
        values = [int(values)] * n
    if len(values) != n:
        raise ValueError(f"{what}: {len(values)} values for {n} channels")
    return (WORD * max(n, 1))(*values)


def _contiguous(array: np.ndarray, dtype) -> np.ndarray:
    return np.ascontiguousarray(array, dtype=dtype)


class Closing:
    """close() on leaving a `with` block, and when the object is collected."""

    def close(self) -> None:
        raise NotImplementedError

    def __enter__(self):
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass


class Device(Closing):
    """An open device of the library, by its device number.

    Use it as a context manager, or call close(); failures raise KtzError.
    """

    def __init__(self, number: int = 0):
        self._handle = 0
        self._lib = _library.library()
        self.number = number
        handle = KTZHANDLE()
        check(self._lib.DeviceOpen(number, byref(handle)), "DeviceOpen")
        self._handle = handle.value
        self._shared = _shared.setdefault(number, _Shared())
        self._shared.opens += 1
        _open.add(self)

    # ---- lifetime ----------------------------------------------------------

    def close(self) -> None:
        """Closes this open; the last open of a device ends what runs on it.
        Closing again does nothing."""
        if not self._handle:
            return
        handle = KTZHANDLE(self._handle)
        check(self._lib.DeviceClose(byref(handle)), "DeviceClose")
        self._handle = 0
        _open.discard(self)
        self._shared.opens -= 1
        if self._shared.opens == 0:  # the library has released the record
            self._shared.free_buffers()
            self._shared.waveform = None
            del _shared[self.number]

    @property
    def closed(self) -> bool:
        return not self._handle

    @property
    def handle(self) -> int:
        """The library's device handle (0 once closed), for driver_proc and C code."""
        return self._handle

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"handle 0x{self._handle:X}"
        return f"<ktz3649.Device {self.number}, {state}>"

    def _call(self, name: str, *args) -> None:
        check(getattr(self._lib, name)(self._handle, *args), name)

    def driver_proc(self, code: int, block: ctypes.Structure | int | None = None) -> None:
        """DriverProc(0, 0, code, handle, block): a ctypes block is passed by
        address, an int as it is (the codes that take a value)."""
        address = block or 0
        if isinstance(block, (ctypes.Structure, ctypes.Union, ctypes.Array)):
            address = ctypes.addressof(block)  # `block` keeps it alive
        check(self._lib.DriverProc(0, 0, code, self._handle, address), f"DriverProc {code}")

    # ---- device information ------------------------------------------------

    @property
    def features(self) -> Features:
        """The features record: channel counts, converter bits, input ranges."""
        record = _FeaturesRecord()
        self._call("DeviceGetFeatures", byref(record), ctypes.sizeof(record))
        ranges = tuple(GainRange(e.gainCode, e.lowerLimit, e.upperLimit, e.rangeName.decode())
                       for e in record.gainList[:min(record.gainCount, 16)])
        return Features(record.driverVersion.decode(), record.driverName.decode(), record.boardId,
                        record.maxAIDiffChannels, record.maxAISingleChannels, record.maxAOChannels,
                        record.maxDOChannels, record.maxDIChannels, record.maxCounterChannels,
                        record.adBits, record.daBits, ranges, record.capabilityBits)

    def get_property(self, code: int, initial: bytes = b"") -> bytes:
        """A numbered device property (DriverProc 109) as bytes; `initial`
        fills the buffer first (the output-range property reads its channel there)."""
        length = DWORD(0)
        self.driver_proc(109, _GetPropertyBlock(code, 0, ctypes.addressof(length), None))
        buffer = ctypes.create_string_buffer(initial, max(length.value, len(initial), 1))
        self.driver_proc(109, _GetPropertyBlock(code, 0, ctypes.addressof(length),
                                                ctypes.addressof(buffer)))
        return buffer.raw[:length.value]

    def set_property(self, code: int, data: bytes) -> None:
        """Writes a numbered device property (DriverProc 108)."""
        buffer = ctypes.create_string_buffer(data, max(len(data), 1))
        self.driver_proc(108, _SetPropertyBlock(code, 0, len(data), ctypes.addressof(buffer)))

    @property
    def fifo_size(self) -> int:
        """Depth of the input FIFO in samples."""
        size = DWORD()
        self._call("GetFIFOSize", byref(size))
        return size.value

    # ---- analog input ------------------------------------------------------

    def ai_config(self, channel: int, gain: int = 0) -> None:
        """Sets a channel's range (gain code) and points the converter at it."""
        self._call("AIConfig", channel, gain)

    def ai_voltage(self, channel: int, gain: int = 0, trigger: int = 0) -> float:
        """One conversion of `channel` in volts (trigger 0: now, else the external trigger)."""
        self.ai_config(channel, gain)
        volts = FLOAT()
        self._call("AIVoltageIn", channel, gain, trigger, byref(volts))
        return volts.value

    def ai_raw(self, channel: int, gain: int = 0, trigger: int = 0) -> int:
        """One conversion of `channel` as the 12-bit code."""
        self.ai_config(channel, gain)
        code = WORD()
        self._call("AIBinaryIn", channel, trigger, byref(code))
        return code.value

    def ai_scan(self, start_channel: int = 0, channels: int = 1, gains: int | Sequence[int] = 0,
                trigger: int = 0, volts: bool = True) -> np.ndarray:
        """One conversion per channel of a run (a differential pair counts
        once), in volts (float32) or codes (uint16)."""
        codes = _words(gains, channels, "gains")
        self._call("MAIConfig", channels, start_channel, codes)
        if volts:
            out = np.empty(channels, np.float32)
            self._call("MAIVoltageIn", channels, start_channel, codes, trigger, out.ctypes.data)
        else:
            out = np.empty(channels, np.uint16)
            self._call("MAIBinaryIn", channels, start_channel, trigger, out.ctypes.data)
        return out

    # ---- analog output -----------------------------------------------------

    def ao_config(self, channel: int, maximum: float = 5.0, minimum: float = 0.0,
                  reference: int = 0) -> None:
        """Range of an output in volts; reference 0 internal, 1 external
        unipolar, 2 external bipolar."""
        self._call("AOConfig", channel, reference, maximum, minimum)

    def ao_voltage(self, channel: int, volts: float) -> None:
        """Drives an output to `volts` in its range."""
        self._call("AOVoltageOut", channel, volts)

    def ao_code(self, channel: int, code: int) -> None:
        """Writes a 12-bit code to an output as it is."""
        self._call("AOBinaryOut", channel, code)

    def ao_scale(self, channel: int, volts) -> np.ndarray:
        """The output codes (uint16) of voltages in a channel's range."""
        volts = _contiguous(np.atleast_1d(volts), np.float32)
        codes = np.empty(volts.shape, np.uint16)
        self._call("FAOScale", channel, volts.size, volts.ctypes.data, codes.ctypes.data)
        return codes

    # ---- digital I/O -------------------------------------------------------

    def dio_set_mode(self, port: int, output: bool) -> None:
        """Makes port 0 or 1 an output or an input."""
        self._call("DioSetPortMode", port, 1 if output else 0)

    def dio_modes(self) -> list[bool]:
        """Whether ports 0 and 1 are outputs."""
        directions = (WORD * 2)()
        self._call("DioGetConfig", directions, 2)
        return [d == 1 for d in directions]

    def dio_read(self, port: int) -> int:
        """The byte a port reads."""
        value = WORD()
        self._call("DioReadPortByte", port, byref(value))
        return value.value

    def dio_write(self, port: int, value: int, mask: int = 0xFF) -> None:
        """Sets the lines of `mask` of an output port to `value`."""
        self._call("DioWritePortByte", port, mask, value)

    def dio_read_bit(self, port: int, bit: int) -> int:
        value = WORD()
        self._call("DioReadBit", port, bit, byref(value))
        return value.value

    def dio_write_bit(self, port: int, bit: int, state: int) -> None:
        self._call("DioWriteBit", port, bit, 1 if state else 0)

    def dio_output(self, port: int) -> int:
        """The byte an output port drives (read back)."""
        value = WORD()
        self._call("DioGetCurrentDOByte", port, byref(value))
        return value.value

    def dio_read_word(self) -> int:
        """The lines of the input ports as one word, port 0 in the low byte
        (an output port's byte reads 0)."""
        return self._word("DioReadPortWord")

    def dio_write_word(self, value: int, mask: int = 0xFFFF) -> None:
        """Sets the lines of `mask` of both ports (port 0 in the low byte)."""
        self._call("DioWritePortWord", 0, mask, value)

    def dio_output_word(self) -> int:
        """The lines the output ports drive as one word, port 0 in the low byte
        (an input port's byte reads 0)."""
        return self._word("DioGetCurrentDOWord")

    def _word(self, name: str) -> int:
        mask, value = WORD(), WORD()
        self._call(name, 0, byref(mask), byref(value))
        return value.value

    # ---- counters ----------------------------------------------------------

    def counter_event_start(self, counter: int, gate_mode: int = 0) -> None:
        """Counts input events from now (gate 0 open, 1 gate high, 2 gate low)."""
        self._call("CounterEventStart", counter, gate_mode)

    def counter_event_read(self, counter: int) -> int:
        """The events counted since counter_event_start (wraps at 2**32)."""
        overflow, count = WORD(), DWORD()
        self._call("CounterEventRead", counter, byref(overflow), byref(count))
        return count.value

    def _poll(self, name: str, args: tuple, outputs: tuple, timeout: float) -> None:
        """Calls a measurement function until it writes its outputs."""
        deadline = time.monotonic() + timeout
        for value in outputs:
            value.value = math.nan
        while True:
            self._call(name, *args, *(byref(v) for v in outputs))
            if not math.isnan(outputs[0].value):
                return
            if time.monotonic() > deadline:
                raise TimeoutError(f"{name}: no result within {timeout} s")
            time.sleep(0.001)

    def counter_frequency(self, counter: int = 2, timeout: float = 30.0) -> float:
        """Measures the frequency at a counter's input in hertz (the
        device's FreqArea sets the range); TimeoutError after `timeout` s."""
        self._call("CounterFreqStart", counter, 0, 0)
        hertz = FLOAT()
        self._poll("CounterFreqRead", (counter,), (hertz,), timeout)
        return hertz.value

    def counter_pulse(self, counter: int, period: float, gate_mode: int = 0) -> None:
        """Puts out a square wave of `period` seconds (0.0000002 to 6.5535)."""
        self._call("CounterPulseStart", counter, period, 0, gate_mode)

    def counter_reset(self, counter: int) -> None:
        """Stops the measurements and leaves the counter loaded with 0."""
        self._call("CounterReset", counter)

    def pwm_measure(self, timeout: float = 30.0) -> tuple[float, float]:
        """One high and one low phase at counter 2's input, in microseconds."""
        high, low = FLOAT(), FLOAT()
        self._poll("PWMStartRead", (0,), (high, low), timeout)
        return high.value, low.value

    # ---- fast analog input -------------------------------------------------

    def fai_start(self, count: int, rate: int, start_channel: int = 0, channels: int = 1,
                  gains: int | Sequence[int] = 0, *, trigger_mode: int = TriggerMode.NONE,
                  trigger_source: int = 0, trigger_level: float = 0.0,
                  post_trigger_scans: int = 2, clock_source: int = 0,
                  options: Sequence[int] = (0, 0, 0)) -> None:
        """Starts a DMA acquisition of `count` samples at `rate` samples/s,
        a scan of `channels` entries from `start_channel` with one gain each,
        into a buffer that the package owns until the next start or the close."""
        lib, shared = self._lib, self._shared
        gain_list = _words(gains, channels, "gains")
        buffer = lib.memory.GlobalAlloc(_GHND, max(count, 1) * 2)
        if not buffer:
            raise MemoryError(f"no global memory block for {count} samples")
        result = lib.FAIDmaExStart(self._handle, trigger_source, trigger_mode, clock_source,
                                   options[0], options[1], trigger_level, options[2], channels,
                                   start_channel, post_trigger_scans, count, rate, gain_list,
                                   0, 0, buffer, 0, 0, 0, 0)
        if result == 0:
            shared.buffers.append(buffer)
            shared.free_buffers(keep=buffer)  # the record points at this one only
            shared.count = count
            shared.released = False
            return
        if not result >> 12:  # a bare result: the handle was refused
            lib.memory.GlobalFree(buffer)
        else:
            # A refused start may already point the record at the new buffer:
            # keep it too. And release the claim it keeps, unless it was
            # refused because another acquisition runs.
            shared.buffers.append(buffer)
            if result & 0xFFF != 23:
                lib.FAIStop(self._handle)
        check(result, "FAIDmaExStart")

    def fai_check(self) -> FaiStatus:
        """The acquisition's progress."""
        stopped, s1, s2, s3, count = WORD(), WORD(), WORD(), WORD(), DWORD()
        self._call("FAICheck", byref(stopped), byref(s1), byref(count), byref(s2), byref(s3))
        return FaiStatus(s1.value, count.value, s2.value, s3.value)

    def fai_transfer(self, start: int = 0, count: int | None = None, volts: bool = True,
                     out: np.ndarray | None = None) -> np.ndarray:
        """Samples [start, start + count) of the last acquisition: volts as
        float32 (in each scan entry's range) or raw words as uint16 (bits
        12 to 15 included). With `out`, fills its first `count` elements
        (C-contiguous, of that dtype) and returns them, allocating nothing."""
        dtype = np.float32 if volts else np.uint16
        if self._shared.released:  # its buffer is gone: the library would read freed memory
            raise KtzError.from_result((self.number + 1) << 12 | 33, "FAITransfer")
        if count is None:
            count = out.size if out is not None else max(self._shared.count - start, 0)
        if out is None:
            out = np.empty(count, dtype)
        elif out.dtype != dtype or not out.flags.c_contiguous or not out.flags.writeable \
                or out.size < count:
            raise ValueError(f"out must be a writeable C-contiguous {np.dtype(dtype).name} "
                             f"array of at least {count} elements")
        check(self._lib.FAITransfer(self._handle, 0, out.ctypes.data, 1 if volts else 0, start,
                                    count, 0), "FAITransfer")
        return out if out.size == count else out.reshape(-1)[:count]

    def stream(self, rate: int, start_channel: int = 0, channels: int = 1,
               gains: int | Sequence[int] = 0, **options) -> "Stream":
        """Records without end: a Stream that yields a Block per half of
        the buffer (index of its first sample, data (scans, entries), samples
        lost just before it). Options: half (samples per half, a whole
        number of scans; default 65536 rounded down to one), seconds (None:
        until stopped or closed), volts (float32 volts, else uint16 raw
        words), clock_source. Use it in a `with` block, so that leaving
        ends the acquisition and frees its buffer."""
        from .stream import Stream
        return Stream(self, rate, start_channel, channels, gains, **options)

    def record(self, path, rate: int, start_channel: int = 0, channels: int = 1,
               gains: int | Sequence[int] = 0, **options) -> "StreamStats":
        """Records a stream (options as for stream(), raw words) into a
        stream file at `path` until `seconds` have been recorded or an
        exception (KeyboardInterrupt) ends it; returns its totals."""
        from .stream import StreamWriter
        with self.stream(rate, start_channel, channels, gains, volts=False, **options) as stream, \
                StreamWriter(path, stream) as writer:
            for block in stream:
                writer.write(block)
        return stream.stats

    def fai_trigger_index(self) -> int | None:
        """About-trigger mode: the index of the first sample after the
        trigger, or None without a trigger marker."""
        index = DWORD(INFINITE)
        self._call("FAIWatchdogCheck", 0, 0, 0, 0, byref(index), 0)
        return None if index.value == INFINITE else index.value

    def fai_clear_overrun(self) -> None:
        self._call("ClearOverrun")

    def fai_stop(self) -> None:
        """Ends the acquisition, keeping the samples so far."""
        self._call("FAIStop")

    def fai_terminate(self) -> None:
        """Ends the acquisition, cancelling the pending read."""
        self._call("FAITerminate")

    # ---- events ------------------------------------------------------------

    def enable_event(self, event: int, enabled: bool = True, count: int = 0) -> None:
        """Enables or disables events for the next start; the input types
        may be or-ed; `count`: samples per interrupt event (0: the driver's)."""
        self._call("EnableEvent", int(event), 1 if enabled else 0, count)

    def wait_event(self, timeout_ms: int | None = None) -> Event | int:
        """Waits for an enabled event (None: without limit); Event.TIMEOUT
        when the time ran out, Event.NONE when none is enabled. The end of
        an acquisition is finished here (TERMINATED); so is the end of a
        running output, which reads NONE once its FIFO has played out
        (AO_TERMINATED follows when the FIFO was still playing)."""
        code = WORD()
        self._call("CheckEvent", byref(code), INFINITE if timeout_ms is None else timeout_ms)
        try:
            return Event(code.value)
        except ValueError:
            return code.value

    # ---- waveform output ---------------------------------------------------

    def fao_start(self, samples: np.ndarray, rate: int, channel: int = 0, *,
                  cyclic: bool = False, clock_source: int = 0, mode: int = 0) -> None:
        """Plays `samples` at `rate` samples/s on output 0, 1 or BOTH (in
        turn): float arrays are volts in each channel's range, integer
        arrays output codes. cyclic repeats them until fao_stop."""
        samples = np.asarray(samples)
        if samples.dtype.kind == "f":
            codes = np.empty(samples.size, np.uint16)
            channels = (0, 1) if channel == BOTH else (channel,)
            for k, c in enumerate(channels):
                codes[k::len(channels)] = self.ao_scale(c, samples.reshape(-1)[k::len(channels)])
        elif samples.size and (samples.min() < 0 or samples.max() > 0xFFFF):
            raise ValueError("output codes must lie in 0 to 65535")
        else:
            codes = _contiguous(samples.reshape(-1), np.uint16)
        self._call("FAODmaExStart", 1 if cyclic else 0, rate, channel,
                   2 if channel == BOTH else 1, clock_source, codes.ctypes.data, codes.size,
                   mode)
        self._shared.waveform = codes  # the driver may read it until the output ends

    def fao_check(self) -> FaoStatus:
        """The output's progress."""
        stopped, s1, s3, s2, count = WORD(), WORD(), WORD(), WORD(), DWORD()
        self._call("FAOCheckEx", byref(stopped), byref(s1), byref(s3), byref(count), byref(s2))
        return FaoStatus(s1.value, count.value, s3.value, s2.value)

    def fao_clear_flag(self, flag: int) -> None:
        """Clears Event.AO_UNDERRUN, AO_HIGH_HALF or AO_LOW_HALF in the status."""
        self._call("ClearFlag", int(flag))

    def fao_stop(self) -> None:
        """Stops the output at once (the DMA buffer stays)."""
        self._call("FAOStop")

    def fao_terminate(self) -> None:
        """Ends the output, frees the DMA buffer and lets the FIFO play out."""
        self._call("FAOTerminate")
        self._shared.waveform = None
