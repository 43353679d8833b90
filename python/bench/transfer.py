#!/usr/bin/env python3
"""Cost of fai_transfer of 1,000,000 samples against the library's own
FAITransfer called bare through ctypes into a preallocated array.

    KTZ3649_LIBRARY_PATH=build/default/bin python3 python/bench/transfer.py

Prints the best of `--repeat` runs of each, and the ratios; exits 1 when
the package's allocating transfer costs more than twice the bare call.
"""

import argparse
import os
import sys
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
os.environ.setdefault("KTZ3649_LIBRARY_PATH",
                      str(Path(__file__).resolve().parents[2] / "build" / "default" / "bin"))

import ktz3649  # noqa: E402
from ktz3649 import Event, _library, lab  # noqa: E402


def best(function, repeat):
    times = []
    for _ in range(repeat):
        begin = time.perf_counter()
        function()
        times.append(time.perf_counter() - begin)
    return min(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--samples", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=20)
    args = parser.parse_args()
    n = args.samples

    lab.setup(time_factor=100)
    lab.set_signal(0, "sine", amplitude=4.0, frequency=1000.0)
    lab.set_signal(1, "noise", amplitude=2.0, seed=1)
    worst = 0.0
    with ktz3649.Device(0) as device:
        device.enable_event(Event.TERMINATED)
        device.fai_start(n, 1_000_000, channels=2, gains=[0, 4])
        if device.wait_event(60_000) is not Event.TERMINATED:
            sys.exit("the acquisition did not end")
        transfer = _library.library().FAITransfer
        print(f"{n} samples, best of {args.repeat} runs")
        for volts, dtype in ((True, np.float32), (False, np.uint16)):
            out = np.empty(n, dtype)
            address, kind = out.ctypes.data, 1 if volts else 0
            bare = best(lambda: transfer(device.handle, 0, address, kind, 0, n, 0), args.repeat)
            allocating = best(lambda: device.fai_transfer(0, n, volts=volts), args.repeat)
            into = best(lambda: device.fai_transfer(0, n, volts=volts, out=out), args.repeat)
            worst = max(worst, allocating / bare)
            name = "volts (float32)" if volts else "raw (uint16)"
            print(f"{name:16} FAITransfer {bare * 1e3:7.3f} ms | fai_transfer "
                  f"{allocating * 1e3:7.3f} ms (x{allocating / bare:.2f}), "
                  f"into out= {into * 1e3:7.3f} ms (x{into / bare:.2f})")
    print(f"worst ratio {worst:.2f} (limit 2.00): {'ok' if worst <= 2 else 'over'}")
    return 0 if worst <= 2 else 1


if __name__ == "__main__":
    sys.exit(main())
