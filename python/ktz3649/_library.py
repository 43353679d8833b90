"""Finding and loading the library (and the virtual lab) with ctypes.

Host build: libktz3649.so, which needs libhostwin.so, and the lab in
libktz3649s.so. Windows: Ktz3649.dll (standard calling convention, so
WinDLL) and the lab client Ktz3649Sim.dll (C calling convention).
Folders searched, in order: those in KTZ3649_LIBRARY_PATH (separated by
os.pathsep), the package's own folder, then the system's search path.
"""

from __future__ import annotations

import ctypes
import os
import sys
from ctypes import POINTER, c_float, c_size_t, c_uint16, c_uint32, c_void_p
from pathlib import Path

WINDOWS = sys.platform == "win32"
ENVIRONMENT = "KTZ3649_LIBRARY_PATH"
LIBRARY = "Ktz3649.dll" if WINDOWS else "libktz3649.so"
LAB = "Ktz3649Sim.dll" if WINDOWS else "libktz3649s.so"
HOSTWIN = "libhostwin.so"

# The C types of the API.
WORD, DWORD, FLOAT = c_uint16, c_uint32, c_float
KTZHANDLE = c_size_t  # ULONG_PTR: 32 bits in the Windows library
HGLOBAL = c_void_p

_H, _P, _VP = KTZHANDLE, POINTER, c_void_p
# Argument types of the functions the package calls; each returns a DWORD.
PROTOTYPES: dict[str, tuple] = {
    "DeviceOpen": (DWORD, _P(KTZHANDLE)),
    "DeviceClose": (_P(KTZHANDLE),),
    "DeviceGetFeatures": (_H, _VP, WORD),
    "DriverProc": (DWORD, DWORD, DWORD, c_size_t, c_size_t),
    "AIConfig": (_H, WORD, WORD),
    "AIBinaryIn": (_H, WORD, WORD, _P(WORD)),
    "AIVoltageIn": (_H, WORD, WORD, WORD, _P(FLOAT)),
    "MAIConfig": (_H, WORD, WORD, _VP),
    "MAIBinaryIn": (_H, WORD, WORD, WORD, _VP),
    "MAIVoltageIn": (_H, WORD, WORD, _VP, WORD, _VP),
    "AOConfig": (_H, WORD, WORD, FLOAT, FLOAT),
    "AOBinaryOut": (_H, WORD, WORD),
    "AOVoltageOut": (_H, WORD, FLOAT),
    "AOScale": (_H, WORD, FLOAT, _P(WORD)),
    "DioSetPortMode": (_H, WORD, WORD),
    "DioGetConfig": (_H, _VP, WORD),
    "DioReadPortByte": (_H, WORD, _P(WORD)),
    "DioWritePortByte": (_H, WORD, WORD, WORD),
    "DioReadBit": (_H, WORD, WORD, _P(WORD)),
    "DioWriteBit": (_H, WORD, WORD, WORD),
    "DioGetCurrentDOByte": (_H, WORD, _P(WORD)),
    "DioReadPortWord": (_H, WORD, _P(WORD), _P(WORD)),
    "DioWritePortWord": (_H, WORD, WORD, WORD),
    "DioGetCurrentDOWord": (_H, WORD, _P(WORD), _P(WORD)),
    "CounterEventStart": (_H, WORD, WORD),
    "CounterEventRead": (_H, WORD, _P(WORD), _P(DWORD)),
    "CounterFreqStart": (_H, WORD, DWORD, DWORD),
    "CounterFreqRead": (_H, WORD, _P(FLOAT)),
    "CounterPulseStart": (_H, WORD, FLOAT, DWORD, WORD),
    "CounterReset": (_H, WORD),
    "PWMStartRead": (_H, DWORD, _P(FLOAT), _P(FLOAT)),
    "FAIDmaExStart": (_H, WORD, WORD, WORD, WORD, WORD, FLOAT, WORD, WORD, WORD, DWORD, DWORD,
                      DWORD, _VP, DWORD, DWORD, HGLOBAL, DWORD, DWORD, DWORD, DWORD),
    "GetFIFOSize": (_H, _P(DWORD)),
    "FAICheck": (_H, _P(WORD), _P(WORD), _P(DWORD), _P(WORD), _P(WORD)),
    "ClearOverrun": (_H,),
    "FAITransfer": (_H, WORD, _VP, WORD, DWORD, DWORD, DWORD),
    "FAIWatchdogCheck": (_H, WORD, DWORD, DWORD, DWORD, _P(DWORD), DWORD),
    "FAIStop": (_H,),
    "FAITerminate": (_H,),
    "EnableEvent": (_H, WORD, WORD, WORD),
    "CheckEvent": (_H, _P(WORD), DWORD),
    "FAODmaExStart": (_H, WORD, DWORD, WORD, WORD, WORD, _VP, DWORD, WORD),
    "FAOLoad": (_H, WORD, _VP, DWORD, DWORD),
    "FAOCheckEx": (_H, _P(WORD), _P(WORD), _P(WORD), _P(DWORD), _P(WORD)),
    "FAOScale": (_H, WORD, DWORD, _VP, _VP),
    "FAOStop": (_H,),
    "FAOTerminate": (_H,),
    "ClearFlag": (_H, DWORD),
}


class LibraryNotFound(OSError):
    """The library (or the lab) could not be loaded."""


def _folders() -> list[Path]:
    listed = os.environ.get(ENVIRONMENT, "")
    return [Path(p) for p in listed.split(os.pathsep) if p] + [Path(__file__).resolve().parent]


def _load(name: str, loader):
    """Loads `name` from the first folder that has it, else by name alone."""
    tried = []
    for folder in _folders():
        path = folder / name
        if path.is_file():
            if WINDOWS:
                os.add_dll_directory(str(folder))  # the DLL's neighbours
            elif (folder / HOSTWIN).is_file():
                # Loaded first by path, so that the library's dependency on
                # libhostwin.so is met without a run path.
                ctypes.CDLL(str(folder / HOSTWIN))
            return loader(str(path))
        tried.append(str(folder))
    try:
        return loader(name)
    except OSError as error:
        raise LibraryNotFound(
            f"{name} not found in {', '.join(tried)} nor on the system's search path ({error}); "
            f"set {ENVIRONMENT} to the folder that holds it (build/default/bin of a host build)"
        ) from None


_library = None
_lab = None


def library():
    """The loaded library, with the prototypes of PROTOTYPES set."""
    global _library
    if _library is None:
        lib = _load(LIBRARY, ctypes.WinDLL if WINDOWS else ctypes.CDLL)
        for name, argtypes in PROTOTYPES.items():
            function = getattr(lib, name)
            function.argtypes = argtypes
            function.restype = DWORD
        # Global memory for acquisition buffers: kernel32's on Windows,
        # hostwin's (a dependency of the library) on the host.
        memory = ctypes.WinDLL("kernel32") if WINDOWS else lib
        memory.GlobalAlloc.argtypes = (ctypes.c_uint, c_size_t)
        memory.GlobalAlloc.restype = HGLOBAL
        memory.GlobalFree.argtypes = (HGLOBAL,)
        memory.GlobalFree.restype = HGLOBAL
        lib.memory = memory
        _library = lib
    return _library


def lab():
    """The loaded lab module (after the library: under Wine the lab client
    watches the library's acquisition reads only once both are loaded)."""
    global _lab
    if _lab is None:
        library()
        _lab = _load(LAB, ctypes.CDLL)
    return _lab
