"""ktz3649: the PCI-3649 / PCI-3649L data-acquisition library from Python.

    import ktz3649
    with ktz3649.Device(0) as device:
        print(device.ai_voltage(3))

ktz3649.lab sets up the virtual lab of the host build (simulated cards).
The shared library is looked up in KTZ3649_LIBRARY_PATH, beside the
package, then on the system's search path.
"""

from ._library import LibraryNotFound
from .device import (BOTH, INFINITE, Device, Event, FaiStatus, FaoStatus, Features, GainRange,
                     TriggerMode)
from .errors import ERRORS, KtzError, result_text
from .stream import (Block, Recording, Stream, StreamFileError, StreamStats, StreamWriter,
                     read_stream)

__all__ = ["BOTH", "ERRORS", "INFINITE", "Block", "Device", "Event", "FaiStatus", "FaoStatus",
           "Features", "GainRange", "KtzError", "LibraryNotFound", "Recording", "Stream",
           "StreamFileError", "StreamStats", "StreamWriter", "TriggerMode", "read_stream",
           "result_text"]
__version__ = "1.0"
