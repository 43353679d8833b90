"""The virtual lab: simulated cards behind the library, for tests and for
developing without a card (ktz3649sim.h).

    from ktz3649 import lab
    lab.setup()                        # one PCI-3649, installed as device 0
    lab.set_signal(3, "sine", amplitude=2.0, frequency=50.0)

Card-level functions take the card index as the keyword `card` (default 0).
A failed lab call raises LabError with the Win32 error it returned.
reset, setup and install_device close the package's open devices first:
they restart the driver, which the devices' kernel handles do not survive.
"""

from __future__ import annotations

import ctypes
from ctypes import POINTER, byref, c_double, c_int, c_size_t, c_uint, c_ulonglong
from dataclasses import dataclass, fields

import numpy as np

from . import _library
from .device import close_all

PCI3649 = 97
PCI3649L = 169
SIGNALS = {"dc": 0, "sine": 1, "square": 2, "noise": 3, "sawtooth": 4}
ENDLESS = -1
OPEN_REQUEST = 0  # as a request code of fail_request: the open of a device object


class LabError(RuntimeError):
    """A lab function failed; `error` is the Win32 error code it returned."""

    def __init__(self, function: str, error: int):
        self.function, self.error = function, error
        super().__init__(f"{function} failed with error {error}")


class Settings(ctypes.Structure):
    """A device's stored settings (KtzSimDeviceSettings)."""

    _fields_ = [(n, c_uint) for n in (
        "boardId", "baseAddress", "dmaBaseAddress", "interrupt", "dma", "timerClock",
        "ioPortCount", "allowConflicts", "chanConfig", "numExpChan", "cjcChannel")] + [
        ("aoReference", c_uint * 2), ("aoMaximum", ctypes.c_float * 2),
        ("aoMinimum", ctypes.c_float * 2)] + [(n, c_uint) for n in (
            "busNumber", "slotNumber", "onSystem", "dioPortMode", "freqArea", "pwmArea")]


class _Card(ctypes.Structure):
    _fields_ = [(n, c_uint) for n in ("bus", "slot", "boardId", "baseAddress", "interrupt")]


class _Signal(ctypes.Structure):
    _fields_ = [("kind", c_uint), ("amplitude", c_double), ("offset", c_double),
                ("frequency", c_double), ("seed", c_uint)]


class _CounterOutput(ctypes.Structure):
    _fields_ = [("level", c_uint), ("mode", c_uint), ("count", c_uint),
                ("periodNs", c_double), ("highNs", c_double)]


class _OutputState(ctypes.Structure):
    _fields_ = [(n, c_uint) for n in ("running", "playing", "fifoSize", "fifoSamples",
                                      "dmaBytes")] + [("played", c_ulonglong)]


class _Acquisition(ctypes.Structure):
    _fields_ = [(n, c_uint) for n in (
        "state", "sampleCount", "pacerDivisor", "clockSource", "triggerMode", "triggerSource",
        "triggerLevelCode", "postTriggerScans", "multiplexer")] + [
        ("options", c_uint * 3), ("eventEnabled", c_uint), ("eventType", c_uint),
        ("eventCount", c_uint), ("scanLength", c_uint), ("scanChannels", c_uint * 16),
        ("scanRanges", c_uint * 16), ("startTime", c_ulonglong), ("samples", c_ulonglong),
        ("ticks", c_ulonglong), ("triggered", c_uint), ("overruns", c_uint),
        ("maxLag", c_ulonglong), ("maxOwnLag", c_ulonglong), ("engineCpuNs", c_ulonglong)]


class _TraceEntry(ctypes.Structure):
    _fields_ = [(n, c_uint) for n in ("kind", "device", "code", "offset", "width", "write",
                                      "value", "error", "thread")]


_P = POINTER
# Argument and result types; functions with result c_int return 0 or a Win32 error.
_PROTOTYPES = {
    "KtzSimReset": (None, c_uint),
    "KtzSimAddCard": (c_int, c_uint, c_uint, c_uint),
    "KtzSimCardCount": (c_int,),
    "KtzSimGetCard": (c_int, c_int, _P(_Card)),
    "KtzSimCardOfDevice": (c_int, c_uint),
    "KtzSimDefaultSettings": (c_int, c_int, _P(Settings)),
    "KtzSimInstallDevice": (c_int, c_uint, c_int, _P(Settings)),
    "KtzSimStartDriver": (c_int,),
    "KtzSimStopDriver": (c_int,),
    "KtzSimDriverRunning": (c_int,),
    "KtzSimSetSignal": (c_int, c_int, c_uint, _P(_Signal)),
    "KtzSimInputVoltage": (c_double, c_int, c_uint, c_ulonglong),
    "KtzSimSetConversionTime": (c_int, c_int, c_uint),
    "KtzSimSetConverterNeverFinishes": (c_int, c_int, c_int),
    "KtzSimSetExternalTrigger": (c_int, c_int, c_uint, c_int),
    "KtzSimFireTrigger": (c_int, c_int),
    "KtzSimGetAnalogOutput": (c_int, c_int, c_uint, _P(c_double)),
    "KtzSimSetExternalReference": (c_int, c_int, c_double),
    "KtzSimSetDigitalInput": (c_int, c_int, c_uint, c_uint),
    "KtzSimGetDigitalOutput": (c_int, c_int, c_uint, _P(c_uint)),
    "KtzSimSetCounterRate": (c_int, c_int, c_uint, c_double),
    "KtzSimSetCounterPulseTrain": (c_int, c_int, c_uint, c_ulonglong, c_ulonglong),
    "KtzSimInjectCounterPulses": (c_int, c_int, c_uint, c_ulonglong),
    "KtzSimSetCounterGate": (c_int, c_int, c_uint, c_int),
    "KtzSimGetCounterOutput": (c_int, c_int, c_uint, _P(_CounterOutput)),
    "KtzSimSetCounterPollCost": (c_int, c_int, c_ulonglong),
    "KtzSimSetOutputFifoSize": (c_int, c_int, c_uint),
    "KtzSimSetOutputClock": (c_int, c_int, c_double),
    "KtzSimSetOutputDmaStalled": (c_int, c_int, c_int),
    "KtzSimSetDmaAvailability": (c_int, c_int, c_uint),
    "KtzSimSetDmaLimit": (c_int, c_int, c_uint),
    "KtzSimSetOutputStatus": (c_int, c_int, c_uint, c_uint),
    "KtzSimGetOutputState": (c_int, c_int, _P(_OutputState)),
    "KtzSimGetOutputRecord": (c_int, c_int, c_uint, ctypes.c_void_p, c_size_t, _P(c_size_t),
                              _P(c_ulonglong)),
    "KtzSimClearOutputRecord": (c_int, c_int),
    "KtzSimSetExternalClock": (c_int, c_int, c_uint),
    "KtzSimPulseExternalClock": (c_int, c_int, c_uint),
    "KtzSimFireAcquisitionTrigger": (c_int, c_int),
    "KtzSimSetAvailabilityWord": (c_int, c_int, c_uint),
    "KtzSimSetStatusReply": (c_int, c_int, c_uint, c_uint, c_int),
    "KtzSimSetEventsNotCreated": (c_int, c_int, c_uint),
    "KtzSimGetAcquisition": (c_int, c_int, _P(_Acquisition)),
    "KtzSimNow": (c_ulonglong,),
    "KtzSimSetRequestCost": (None, c_uint),
    "KtzSimSetTimeFactor": (c_int, c_double),
    "KtzSimTimeFactor": (c_double,),
    "KtzSimTraceEnable": (None, c_int),
    "KtzSimTraceClear": (None,),
    "KtzSimTraceCount": (c_size_t,),
    "KtzSimTraceGet": (c_int, c_size_t, _P(_TraceEntry)),
    "KtzSimTraceDropped": (c_size_t,),
    "KtzSimFailRequest": (None, c_uint, c_uint, c_int),
    "KtzSimClearFaults": (None,),
}

# Functions whose int result is a value, not an error.
_VALUES = {"KtzSimAddCard", "KtzSimCardCount", "KtzSimCardOfDevice", "KtzSimDriverRunning"}

_sim = None


def _lab():
    global _sim
    if _sim is None:
        sim = _library.lab()
        for name, (restype, *argtypes) in _PROTOTYPES.items():
            function = getattr(sim, name)
            function.restype, function.argtypes = restype, argtypes
        _sim = sim
    return _sim


def _call(name: str, *args) -> int:
    """Calls a lab function; raises LabError for a non-zero int result."""
    result = getattr(_lab(), name)(*args)
    if _PROTOTYPES[name][0] is c_int and result and name not in _VALUES:
        raise LabError(name, result)
    return result


def _get(name: str, structure, cls, *args):
    """Calls a lab function that fills a record; its fields as a dataclass."""
    record = structure()
    _call(name, *args, byref(record))
    return _record(record, cls)


def _camel(name: str) -> str:
    """The C field name of a Python name: board_id -> boardId."""
    return "".join(w.title() if i else w for i, w in enumerate(name.split("_")))


def _record(structure: ctypes.Structure, cls):
    """A dataclass of cls from the ctypes fields of the same names."""
    def value(name):
        v = getattr(structure, _camel(name))
        return list(v) if isinstance(v, ctypes.Array) else v
    return cls(**{f.name: value(f.name) for f in fields(cls)})


@dataclass
class Card:
    bus: int
    slot: int
    board_id: int
    base_address: int
    interrupt: int


@dataclass
class CounterOutput:
    level: int
    mode: int
    count: int
    period_ns: float
    high_ns: float


@dataclass
class OutputState:
    running: int
    playing: int
    fifo_size: int
    fifo_samples: int
    dma_bytes: int
    played: int


@dataclass
class Acquisition:
    state: int  # 0 none, 1 prepared, 2 running, 3 ended, 4 stopped
    sample_count: int
    pacer_divisor: int
    clock_source: int
    trigger_mode: int
    trigger_source: int
    trigger_level_code: int
    post_trigger_scans: int
    multiplexer: int
    options: list
    event_enabled: int
    event_type: int
    event_count: int
    scan_length: int
    scan_channels: list
    scan_ranges: list
    start_time: int
    samples: int
    ticks: int
    triggered: int
    overruns: int


@dataclass
class TraceEntry:
    kind: int  # 1 request, 2 register access, 3 open
    device: int
    code: int
    offset: int
    width: int
    write: int
    value: int
    error: int
    thread: int  # the sending thread's id


# ---- the lab, cards and devices -----------------------------------------------


def reset(keep_registry: bool = False) -> None:
    """An empty machine: no cards, default lab settings, the host rebooted."""
    close_all()
    _call("KtzSimReset", 1 if keep_registry else 0)


def add_card(bus: int = 0, slot: int = 13, board_id: int = PCI3649) -> int:
    """Plugs a card in; returns its index."""
    index = _call("KtzSimAddCard", bus, slot, board_id)
    if index < 0:
        raise LabError("KtzSimAddCard", index)
    return index


def cards() -> list[Card]:
    """The cards plugged in, by index."""
    return [_get("KtzSimGetCard", _Card, Card, index) for index in range(_call("KtzSimCardCount"))]


def card_of_device(device: int) -> int | None:
    """The card the running driver serves for a device number."""
    card = _call("KtzSimCardOfDevice", device)
    return None if card < 0 else card


def default_settings(card: int = 0) -> Settings:
    settings = Settings()
    _call("KtzSimDefaultSettings", card, byref(settings))
    return settings


def install_device(device: int = 0, card: int = 0, **overrides) -> Settings:
    """Installs a device on a card with the default settings, changed by
    keyword (snake case of the C names: chan_config=0x3, freq_area=3,
    dio_port_mode=0x11, ao_maximum=(10, 10), ...); returns what was stored.
    Installing restarts the driver."""
    close_all()
    settings = default_settings(card)
    for key, value in overrides.items():
        name = _camel(key)
        if name not in dict(Settings._fields_):
            raise TypeError(f"install_device: no setting {key!r}")
        field = getattr(settings, name)
        if isinstance(field, ctypes.Array):
            field[:] = list(value)
        else:
            setattr(settings, name, value)
    _call("KtzSimInstallDevice", device, card, byref(settings))
    return settings


def setup(board_id: int = PCI3649, device: int = 0, time_factor: float = 1.0,
          **overrides) -> int:
    """A fresh lab with one card on bus 0, slot 13, installed as `device`;
    returns the card index."""
    reset()
    card = add_card(0, 13, board_id)
    install_device(device, card, **overrides)
    set_time_factor(time_factor)
    return card


def start_driver() -> None:
    _call("KtzSimStartDriver")


def stop_driver() -> None:
    _call("KtzSimStopDriver")


def driver_running() -> bool:
    return bool(_call("KtzSimDriverRunning"))


# ---- analog inputs and outputs, digital ports ---------------------------------


def set_signal(channel: int, kind: str = "dc", amplitude: float = 0.0, offset: float = 0.0,
               frequency: float = 0.0, seed: int = 0, card: int = 0) -> None:
    """The signal at an input channel: "dc" (offset), "sine", "square",
    "noise" or "sawtooth" (offset + amplitude x ...), frequency in hertz of
    lab time. The sawtooth rises from -amplitude to +amplitude each period,
    counted on whole nanoseconds: with amplitude 10 in the 10 V bipolar
    range and a period of 4096 sample periods of an entry, the entry's
    samples step exactly one code each."""
    signal = _Signal(SIGNALS[kind], amplitude, offset, frequency, seed)
    _call("KtzSimSetSignal", card, channel, byref(signal))


def set_input_voltage(channel: int, volts: float, card: int = 0) -> None:
    set_signal(channel, "dc", offset=volts, card=card)


def input_voltage(channel: int, time_ns: int, card: int = 0) -> float:
    """The voltage at an input channel at a lab time."""
    return _call("KtzSimInputVoltage", card, channel, time_ns)


def set_conversion_time(nanoseconds: int, card: int = 0) -> None:
    _call("KtzSimSetConversionTime", card, nanoseconds)


def set_converter_never_finishes(never: bool, card: int = 0) -> None:
    """Fault: conversions start but never finish."""
    _call("KtzSimSetConverterNeverFinishes", card, 1 if never else 0)


def set_external_trigger(period_ns: int, count: int = ENDLESS, card: int = 0) -> None:
    """Pulses on the external trigger line, one every period_ns of lab time."""
    _call("KtzSimSetExternalTrigger", card, period_ns, count)


def fire_trigger(card: int = 0) -> None:
    _call("KtzSimFireTrigger", card)


def analog_output(channel: int, card: int = 0) -> float:
    """The voltage an output drives."""
    volts = c_double()
    _call("KtzSimGetAnalogOutput", card, channel, byref(volts))
    return volts.value


def set_external_reference(volts: float, card: int = 0) -> None:
    _call("KtzSimSetExternalReference", card, volts)


def set_digital_input(port: int, lines: int, card: int = 0) -> None:
    """The external lines an input port reads."""
    _call("KtzSimSetDigitalInput", card, port, lines)


def digital_output(port: int, card: int = 0) -> int:
    """The output latch of a port."""
    latch = c_uint()
    _call("KtzSimGetDigitalOutput", card, port, byref(latch))
    return latch.value


# ---- counters ------------------------------------------------------------------


def set_counter_rate(counter: int, hertz: float, card: int = 0) -> None:
    """Pulses at a counter's input at `hertz` (0: input low)."""
    _call("KtzSimSetCounterRate", card, counter, hertz)


def set_counter_pulse_train(counter: int, high_ns: int, low_ns: int, card: int = 0) -> None:
    _call("KtzSimSetCounterPulseTrain", card, counter, high_ns, low_ns)


def inject_counter_pulses(counter: int, count: int, card: int = 0) -> None:
    _call("KtzSimInjectCounterPulses", card, counter, count)


def set_counter_gate(counter: int, level: int, card: int = 0) -> None:
    _call("KtzSimSetCounterGate", card, counter, level)


def counter_output(counter: int, card: int = 0) -> CounterOutput:
    return _get("KtzSimGetCounterOutput", _CounterOutput, CounterOutput, card, counter)


def set_counter_poll_cost(nanoseconds: int, card: int = 0) -> None:
    """Lab time per status read of the measurement threads."""
    _call("KtzSimSetCounterPollCost", card, nanoseconds)


# ---- waveform output -------------------------------------------------------------


def set_output_fifo_size(samples: int, card: int = 0) -> None:
    _call("KtzSimSetOutputFifoSize", card, samples)


def set_output_clock(hertz: float, card: int = 0) -> None:
    _call("KtzSimSetOutputClock", card, hertz)


def output_state(card: int = 0) -> OutputState:
    return _get("KtzSimGetOutputState", _OutputState, OutputState, card)


def output_record(channel: int, max_samples: int = 65536, card: int = 0) -> np.ndarray:
    """The last voltages an output was driven to by played samples, oldest first."""
    volts = np.empty(max_samples, np.float64)
    copied = c_size_t()
    _call("KtzSimGetOutputRecord", card, channel, volts.ctypes.data, max_samples,
          byref(copied), None)
    return volts[:copied.value]


def clear_output_record(card: int = 0) -> None:
    _call("KtzSimClearOutputRecord", card)


def set_output_dma_stalled(stalled: bool, card: int = 0) -> None:
    """Fault: the DMA channel moves no samples into the output FIFO."""
    _call("KtzSimSetOutputDmaStalled", card, 1 if stalled else 0)


def set_dma_availability(word: int, card: int = 0) -> None:
    _call("KtzSimSetDmaAvailability", card, word)


def set_dma_limit(size: int, card: int = 0) -> None:
    _call("KtzSimSetDmaLimit", card, size)


def set_output_status(code: int, status: int, card: int = 0) -> None:
    _call("KtzSimSetOutputStatus", card, code, status)


# ---- fast input ----------------------------------------------------------------------


def set_external_clock(period_ns: int, card: int = 0) -> None:
    _call("KtzSimSetExternalClock", card, period_ns)


def pulse_external_clock(count: int, card: int = 0) -> None:
    _call("KtzSimPulseExternalClock", card, count)


def fire_acquisition_trigger(card: int = 0) -> None:
    _call("KtzSimFireAcquisitionTrigger", card)


def set_availability_word(word: int, card: int = 0) -> None:
    """Fault: the acquisition availability query replies busy while non-zero."""
    _call("KtzSimSetAvailabilityWord", card, word)


def set_status_reply(code: int, status: int, count: int = 1, card: int = 0) -> None:
    _call("KtzSimSetStatusReply", card, code, status, count)


def set_events_not_created(slots: int, card: int = 0) -> None:
    _call("KtzSimSetEventsNotCreated", card, slots)


def acquisition(card: int = 0) -> Acquisition:
    """What the acquisition engine was asked and has done."""
    return _get("KtzSimGetAcquisition", _Acquisition, Acquisition, card)


# ---- time, trace, faults -------------------------------------------------------------


def now() -> int:
    """The lab's virtual clock in nanoseconds."""
    return _call("KtzSimNow")


def set_request_cost(nanoseconds: int) -> None:
    _call("KtzSimSetRequestCost", nanoseconds)


def set_time_factor(factor: float) -> None:
    """How much faster than real time the engines run (0 holds them)."""
    _call("KtzSimSetTimeFactor", factor)


def time_factor() -> float:
    return _call("KtzSimTimeFactor")


def trace_enable(enabled: bool) -> None:
    _call("KtzSimTraceEnable", 1 if enabled else 0)


def trace_clear() -> None:
    _call("KtzSimTraceClear")


def trace() -> list[TraceEntry]:
    """Every request and register access since the last trace_clear."""
    return [_get("KtzSimTraceGet", _TraceEntry, TraceEntry, index)
            for index in range(_call("KtzSimTraceCount"))]


def fail_request(code: int, last_error: int, count: int = -1) -> None:
    """Fault: requests with this code fail with `last_error` (count < 0: all)."""
    _call("KtzSimFailRequest", code, last_error, count)


def clear_faults() -> None:
    _call("KtzSimClearFaults")
