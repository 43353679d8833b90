#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets whose inputs are built, not
found: corpus/wsprintf (the library's formats), corpus/driverproc (calls
per function code, and runs that start and check acquisitions and
outputs) and corpus/settings (changes to the stored settings). The layouts
are those the targets read (fuzz_input.h: numbers little-endian, from the
front). corpus/regfile and corpus/hwrc hold files: registry files the lab
wrote and the project's resource scripts.

    python3 tests/fuzz/make_seeds.py
"""
import pathlib
import re
import struct

HERE = pathlib.Path(__file__).resolve().parent


def write(target, name, data):
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


# ---- wsprintfA: a format, its zero byte, then the arguments' bytes ---------

FORMATS = [
    " %5u %5ld %5ld", "%2d\t%s\t%d", "%s Bus: %03XH, Slot: %03XH", "%s%sI/O=%xH",
    "%s\\Card%03u", "%s\\system32\\drivers\\%s.SYS", "0x%x", "AOSettings %d",
    "PCI-3649%s %sI/O=%xH", "\\\\.\\KTZ3649S%u", "\\Device%03d", "FoundDevice%d", "%d.%s",
    # The conversions and flags the formatter knows, and what it prints as it stands.
    "[%-5.3s][%#010X][%05d][%.3d][%hc%lc%C][%ls|%S|%hs|%ws][100%%][%q][%4q]%",
    "%1100d|%.2000s|%-1023c", "%2147483648d %99999999999.99999999999s",
]


def wsprintf_seeds():
    for i, fmt in enumerate(FORMATS):
        # Strings read up to a backslash and another character; integers from the end.
        args = b"Device 0\\x" + struct.pack("<I", 0xFFFFFFF9)
        write("wsprintf", f"format{i:02d}", fmt.encode() + b"\0" + args)


# ---- DriverProc ------------------------------------------------------------

CODES = [int(c) for c in re.search(
    r"kCodes\[\] = \{([^}]*)\}", (HERE / "fuzz_driverproc.cpp").read_text()).group(1).split(",")]

DEVICE0, DEVICE1, NULL_HANDLE = 0, 5, 6


def array(pattern=b"", null=False):
    """An address field: null, or a block filled with the pattern repeated."""
    if null:
        return b"\xff"
    return b"\x00" + bytes([len(pattern)]) + pattern


def call(code, fields=b"", arrays=(), handle=DEVICE0, block=True, raw_handle=None):
    """One call: the code, the handle (7: a u64 follows), the block byte, the
    numbers, the arrays. A code without a function reads a u64 (fields)."""
    out = bytes([CODES.index(code)]) if code in CODES else b"\xff" + struct.pack("<I", code)
    out += bytes([handle]) + (q(raw_handle) if raw_handle is not None else b"")
    out += b"\x00" if block else b"\xff"
    return out + fields + b"".join(arrays)


def w(*values):
    return struct.pack("<" + "H" * len(values), *values)


def d(*values):
    return struct.pack("<" + "I" * len(values), *values)


def f(*values):
    return struct.pack("<" + "f" * len(values), *values)


def q(value):
    return struct.pack("<Q", value)


def fai_start(mode=0, source=0, clock=0, scan=2, start=0, post=2, samples=1000, rate=1000,
              gains=w(0, 1), buffer_choice=0, level=0.0, block=True):
    # The fields in the block's order, then the buffer's choice and size change, then the gains.
    fields = w(source, mode, clock, 0, 0) + f(level) + w(0, scan, start) + d(post, samples, rate)
    fields += d(0, 0, 0, 0, 0, 0)
    size = w(64) if buffer_choice % 4 == 1 else b""  # a buffer of any size: 64 bytes
    return call(101, fields + bytes([buffer_choice, 0]) + size, [array(gains)], block=block)


def check5(code):
    return call(code, b"", [array()] * 5)


def driverproc_seeds():
    props = {
        0x1000: w(0x0005), 0x1001: d(1000), 0x2001: d(1000),
        0x2000: w(4, 0, 0, 0) + f(10.0, -10.0), 0x2004: w(4, 0, 0, 1) + f(5.0, 0.0),
        0x3006: d(255, 0),
    }
    seeds = {
        "open_close": call(0, b"\x00", [array()]) + call(1, b"\x02", [array()]) +
                      call(0, b"\x02", [array()]) + call(1, b"\x01", [array(q(0x1234))]),
        "features": call(2, w(520), [array()]) + call(2, w(0), [array()], handle=DEVICE1) +
                    call(4, w(0), [array()]) + call(99, b"", [array()]),
        "ai": call(3, w(3, 0)) + call(5, w(3, 0), [array()]) + call(7, w(3, 0x10, 0), [array()]) +
              call(6, w(2048) + f(10.0) + w(4095, 2048), [array()]) +
              call(5, w(3, 1), [array()]),
        "mai": call(9, w(4, 14), [array(w(0, 1, 2, 0x10))]) + call(10, w(4, 14, 0), [array()]) +
               call(11, w(4, 14, 0), [array(w(0, 1, 2, 3)), array()]) +
               call(9, w(17, 0), [array(w(0))]),
        "ao": call(14, w(0, 0) + f(10.0, -10.0)) + call(16, w(0) + f(2.5)) +
              call(17, w(1) + f(-3.0), [array()]) + call(15, w(1, 4095)) +
              call(14, w(1, 1) + f(7.5, 0.0)) + call(16, w(0) + f(0.0), handle=DEVICE1),
        "dio": call(18, w(0, 1)) + call(21, w(0, 0xFF, 0x5A)) + call(20, w(0), [array()]) +
               call(22, w(1, 3), [array()]) + call(23, w(0, 7, 1)) + call(24, w(0), [array()]) +
               call(25, w(0, 7), [array()]) + call(19, w(4), [array()]),
        "dio_words": call(123, w(0, 0xFFFF, 0x1234)) + call(122, w(0), [array(), array()]) +
                     call(125, w(1) + d(0xFF, 0x0F)) + call(124, w(0), [array(), array()]) +
                     call(126, w(0), [array(), array()]) + call(127, w(1), [array(), array()]) +
                     call(135, d(0, 2), [array(b"\x12\x34")]) + call(134, d(0, 2), [array()]) +
                     call(136, d(1, 1), [array()]),
        "ports": call(26, w(0xE000, 0x12)) + call(27, w(0xE00C, 0x0800)) +
                 call(28, w(0xE008), [array()]) + call(29, w(0xE000), [array()]),
        "counters": call(30, w(0, 0)) + call(31, w(0), [array(), array()]) +
                    call(34, w(1) + f(0.001) + d(0) + w(0)) + call(32, w(2, 0, 0)) +
                    call(33, w(2), [array()]) + call(33, w(2), [array()]) +
                    call(35, q(2)),
        "pwm": call(100, w(0), [array(), array()]) + call(100, w(0), [array(), array()]) +
               call(35, q(2)),
        "fai": fai_start() + check5(63) + call(64, w(0, 0) + d(0, 100, 0), [array()]) +
               call(64, w(0, 1) + d(10, 100, 0), [array()]) + call(65, q(0)) +
               call(76, q(0)) + call(129, q(0)),
        "fai_about_trigger": fai_start(mode=3, source=1, samples=2000, post=10) +
                             call(69, w(0) + d(0, 0, 0, 0), [array()]) + check5(63) +
                             call(65, q(0)) + call(64, w(0, 1) + d(0, 2000, 0), [array()]),
        "fai_events": call(77, w(1, 1, 100)) + call(77, w(2, 1, 0)) + fai_start(samples=4000) +
                      call(78, d(2), [array()]) + call(78, d(1), [array()]),
        # A refused start keeps the device claimed until a terminate.
        "fai_refused": b"".join(start + call(129, q(0)) for start in (
            fai_start(samples=1001), fai_start(rate=10), fai_start(scan=17), fai_start(buffer_choice=3))),
        "fai_refused2": b"".join(start + call(129, q(0)) for start in (
            fai_start(level=11.0, source=2, mode=1), fai_start(post=1, mode=3, source=1),
            fai_start(buffer_choice=1), fai_start(mode=1))),
        "fao": call(128, w(0) + d(200) + w(0, 1) + d(8192) + w(0, 0), [array(w(0, 4095))]) +
               check5(137) + call(73, w(0) + d(0, 4096), [array(w(2048))]) + check5(74) +
               call(118, q(0x2805)) + call(75, q(0)) + call(130, q(0)),
        "fao_buffer": call(79, w(0) + d(16384), [array(), array()]) +
                      call(71, w(0) + d(200) + w(2) + d(8192), [array(w(100, 200))]) +
                      call(80, b"", [array()]),
        "fao_scale": call(72, w(0) + d(16), [array(f(-1.0, 0.0, 2.5, 5.0)), array()]) +
                     call(72, w(1) + d(0), [array(), array()]),
        "properties": b"".join(call(109, w(p), [array(d(64)), array()]) for p in (
            0x0000, 0x0001, 0x0003, 0x0004, 0x0005, 0x0006, 0x1000, 0x1001)),
        "properties2": b"".join(call(109, w(p), [array(d(64)), array()]) for p in (
            0x2000, 0x2001, 0x3005, 0x3006, 0x3C82, 0x4808, 0x5001, 0x5007)),
        "set_properties": b"".join(call(108, w(p) + d(len(v)), [array(v)]) for p, v in props.items()),
        "output_settings": call(107, w(0x2000), [array(), array()]) +
                           call(109, w(0x2004), [array(d(16)), array(w(0, 0, 0, 1))]),
        "no_function": call(8, q(0)) + call(0x10000 + 5, w(3, 0), [array()]) + call(200, q(1)),
        "bad_handles": call(5, w(0, 0), [array()], handle=NULL_HANDLE) +
                       call(3, w(0, 0), handle=7, raw_handle=0x1000) +
                       call(99, b"", [array()], handle=DEVICE1) + call(2, w(520), [array(null=True)]),
        "no_block": call(5, w(0, 0), [array()], block=False) + fai_start(block=False) +
                    call(6, w(0) + f(10.0) + w(4095, 0), [array()], block=False, handle=NULL_HANDLE),
    }
    for name, data in seeds.items():
        write("driverproc", name, data)


# ---- the stored settings ---------------------------------------------------

PLACES = ["BaseAddress", "BoardID", "IoPortCount", "AllowConflicts", "Interrupt", "DMA",
          "TimerClock", "NumExpChan", "CJCChannel", "OnSystem", "BusNumber", "SlotNumber",
          "DioPortMode", "FreqArea", "PWMArea", "DMABaseAddress", "ChanConfig", "AOSettings 0",
          "AOSettings 1", "DeviceName", "DriverName", "KernelKey", "MapEntry 0", "FoundDevice0",
          "FoundDevice1", "FoundDevice2"]
TYPES = {"dword": 0, "sz": 1, "binary": 2, "none": 3, "expand": 4, "multi": 5, "big": 6, "qword": 7}


def change(place, type_, data, slack=0):
    which = PLACES.index(place) if place in PLACES else 255
    name = b"" if place in PLACES else bytes([len(place)]) + place.encode()
    return bytes([which]) + name + b"\x01" + bytes([TYPES[type_], len(data)]) + data + bytes([slack])


def delete(place):
    return bytes([PLACES.index(place), 0])


def settings_input(*changes, use=f(2.5, -1.0, 7.0, 3.0) + w(0xE000) + b"\x5a"):
    # The changes, DescribeDevice's buffer size, then the arguments of UseDevice.
    return bytes([len(changes)]) + b"".join(changes) + b"\x40" + b"\x03\x00" + use


def settings_seeds():
    seeds = {
        "as_installed": settings_input(),
        "ranges": settings_input(change("AOSettings 0", "sz", b"     0    10   -10\0"),
                                 change("AOSettings 1", "sz", b"     2     5     0\0")),
        "wide_ranges": settings_input(change("AOSettings 0", "sz", b"     0 -10000 100000\0"),
                                      change("AOSettings 1", "sz", b" 65535 -32768 32767\0")),
        "unterminated": settings_input(change("AOSettings 0", "sz", b"     1     5    -5", slack=ord("x")),
                                       change("DeviceName", "sz", b"PCI-3649", slack=ord("y"))),
        "strange_numbers": settings_input(change("AOSettings 1", "sz", b"   nan   inf  1e39\0"),
                                          change("AOSettings 0", "sz", b"\0")),
        "short_dwords": settings_input(change("BaseAddress", "binary", b"\x00\xe1"),
                                       change("ChanConfig", "dword", d(0xFFFF)),
                                       change("FreqArea", "qword", struct.pack("<Q", 3))),
        "other_board": settings_input(change("BoardID", "dword", d(169)),
                                      change("AllowConflicts", "dword", d(0))),
        "unknown_board": settings_input(change("BoardID", "dword", d(12345)),
                                        change("AllowConflicts", "dword", d(0))),
        "missing": settings_input(delete("PWMArea"), delete("AOSettings 1")),
        "paths": settings_input(change("MapEntry 0", "sz", b"\\\\.\\KTZ3649S9\0"),
                                change("FoundDevice0", "binary", d(0, 13, 0, 0, 0, 0, 0x9054, 0)),
                                change("FoundDevice1", "binary", d(1, 2, 3))),
        "extra_value": settings_input(change("Extra", "sz", b"x" * 40)),
    }
    for name, data in seeds.items():
        write("settings", name, data)


if __name__ == "__main__":
    wsprintf_seeds()
    driverproc_seeds()
    settings_seeds()
