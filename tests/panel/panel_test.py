#!/usr/bin/env python3
"""The ktz3649 test panel run as a user runs it: exit codes, what it
prints, and the CSV and SVG files it writes.

Usage: panel_test.py TOOL CASE WORKDIR
"""
import csv
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

SVG = "{http://www.w3.org/2000/svg}"
FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)
    return condition


class Panel:
    def __init__(self, tool, work, registry=None):
        self.tool = tool
        self.work = work
        self.env = {k: v for k, v in os.environ.items() if k != "HOSTWIN_REGISTRY"}
        if registry:
            self.env["HOSTWIN_REGISTRY"] = registry

    def run(self, *args, code=0, out=(), err=()):
        """Runs the tool; checks its exit code and that stdout and stderr
        match the given patterns. Returns stdout."""
        result = subprocess.run([self.tool, *args], cwd=self.work, env=self.env,
                                capture_output=True, text=True, timeout=60)
        shown = " ".join(args)
        check(result.returncode == code,
              f"`{shown}` exited {result.returncode}, expected {code}\n"
              f"stdout:\n{result.stdout}\nstderr:\n{result.stderr}")
        for pattern in out:
            check(re.search(pattern, result.stdout, re.M),
                  f"`{shown}`: stdout lacks /{pattern}/:\n{result.stdout}")
        for pattern in err:
            check(re.search(pattern, result.stderr, re.M),
                  f"`{shown}`: stderr lacks /{pattern}/:\n{result.stderr}")
        return result.stdout

    def path(self, name):
        return os.path.join(self.work, name)


def read_csv(path):
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    return rows[0], [[float(x) for x in row] for row in rows[1:]]


def near(value, expected, tolerance):
    return abs(value - expected) <= tolerance


def codes(span):
    """Two codes of a 12-bit range that spans `span` volts."""
    return 2 * span / 4096


def check_csv(path, header, rows, period):
    """The header, the row count and the time column (a row every `period` s)."""
    names, data = read_csv(path)
    check(names == header, f"{path}: header {names}, expected {header}")
    check(len(data) == rows, f"{path}: {len(data)} rows, expected {rows}")
    for k, row in enumerate(data):
        if not check(len(row) == len(header) and near(row[0], k * period, period * 1e-6),
                     f"{path}: row {k} is {row}"):
            break
    return data


def check_svg(path, names, points):
    """Parses as XML; one polyline per trace with `points` points inside the
    frame, named in its title; the axis titles."""
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError as error:
        return check(False, f"{path} is no XML: {error}")
    check(root.tag == SVG + "svg", f"{path}: root element {root.tag}")
    width, height = float(root.get("width")), float(root.get("height"))
    lines = root.findall(f".//{SVG}polyline")
    check([line.findtext(SVG + "title") for line in lines] == names,
          f"{path}: polylines {[line.findtext(SVG + 'title') for line in lines]}, "
          f"expected {names}")
    for line in lines:
        pairs = [p.split(",") for p in line.get("points").split()]
        check(len(pairs) == points, f"{path}: a polyline of {len(pairs)} points, not {points}")
        xs = [float(x) for x, _ in pairs]
        check(all(0 <= float(x) <= width and 0 <= float(y) <= height for x, y in pairs),
              f"{path}: points outside the picture")
        check(xs == sorted(xs), f"{path}: points not in time order")
    texts = [t.text for t in root.iter(SVG + "text")]
    check("time (s)" in texts and "voltage (V)" in texts, f"{path}: axis titles missing")


def case_demo(panel):
    panel.run("demo", "--out", panel.work, out=[r"^Demo: 12 of 12 steps passed\.$"])
    check_csv(panel.path("demo_fai.csv"), ["time_s", "ch0_V", "ch1_V"], 1000, 2e-5)
    check_svg(panel.path("demo_fai.svg"), ["ch0", "ch1"], 1000)
    check_csv(panel.path("demo_wave.csv"), ["time_s", "ao0_V"], 4096, 1e-4)
    check_svg(panel.path("demo_wave.svg"), ["ao0"], 2000)  # drawn as 1000 slices


def case_demo_pci3649l(panel):
    panel.run("--board", "PCI-3649L", "--device", "4", "demo",
              out=[r"^Demo: 12 of 12 steps passed\.$",
                   r"AOVoltageOut on a PCI-3649L: 0x501B \(device 4: not supported\)",
                   r"board ID +169 \(PCI-3649L\)"])


def case_fai_files(panel):
    panel.run("fai", "-n", "3", "--gain", "4,0,16", "--scans", "500", "--rate", "100000",
              "--signal", "0=sine:8:200", "--signal", "1=dc:-2.5", "--signal", "2=dc:7",
              "--csv", "fai.csv", "--svg", "fai.svg",
              out=[r"acquired 1500 samples: 500 scans of 3 entries", r"wrote fai\.csv"],
              err=[r"acquiring \[#+\] 100% 1500/1500"])
    data = check_csv(panel.path("fai.csv"), ["time_s", "ch0_V", "ch1_V", "ch2_V"], 500, 3e-5)
    sine = [row[1] for row in data]
    check(max(sine) > 7.9 and min(sine) < -7.9 and all(abs(v) < 8.01 for v in sine),
          f"the sine spans {min(sine)} to {max(sine)}")
    check(all(near(row[2], -2.5, codes(10)) and near(row[3], 7, codes(10)) for row in data),
          "a DC entry off its level")
    check_svg(panel.path("fai.svg"), ["ch0", "ch1", "ch2"], 500)

    # A differential pair takes one entry, named after both channels.
    panel.run("fai", "-n", "2", "--differential", "0x1", "--scans", "100", "--signal", "0=dc:1",
              "--signal", "1=dc:0.25", "--signal", "2=dc:-1", "--csv", "pair.csv")
    data = check_csv(panel.path("pair.csv"), ["time_s", "ch0-1_V", "ch2_V"], 100, 2e-5)
    check(all(near(row[1], 0.75, codes(10)) and near(row[2], -1, codes(10)) for row in data),
          "the pair does not read channel 0 minus channel 1")


def case_svg_envelope(panel):
    """A long noisy record is drawn as the lowest and highest value of each
    time slice: the curve still reaches the record's extremes."""
    panel.run("fai", "--scans", "9000", "--signal", "0=noise:4:11", "--csv", "noise.csv",
              "--svg", "noise.svg")
    _, data = read_csv(panel.path("noise.csv"))
    low, high = min(row[1] for row in data), max(row[1] for row in data)
    check_svg(panel.path("noise.svg"), ["ch0"], 2000)
    root = ET.parse(panel.path("noise.svg")).getroot()
    frame = root.find(f".//{SVG}rect[@class='frame']")
    top, height = float(frame.get("y")), float(frame.get("height"))
    pad = 0.05 * (high - low)

    def pixel(volts):  # the plot's mapping of volts to y
        return top + height - (volts - (low - pad)) / (high - low + 2 * pad) * height

    ys = [float(p.split(",")[1]) for p in root.find(f".//{SVG}polyline").get("points").split()]
    check(near(min(ys), pixel(high), 0.01) and near(max(ys), pixel(low), 0.01),
          f"the curve spans {min(ys)} to {max(ys)}, the record {pixel(high)} to {pixel(low)}")


def case_wave_files(panel):
    panel.run("wave", "--channel", "both", "--range", "-10:10", "--samples", "8192",
              "--shape", "square", "--amplitude", "5", "--frequency", "50",
              "--csv", "wave.csv", "--svg", "wave.svg",
              out=[r"played 8192 samples of a square table", r"largest difference from the "
                   r"table: 0\.00"],
              err=[r"playing \[#+\] 100% 8192/8192"])
    data = check_csv(panel.path("wave.csv"), ["time_s", "ao0_V", "ao1_V"], 4096, 2e-4)
    check(all(near(abs(v), 5, codes(20)) for row in data for v in row[1:]),
          "a square sample off +/-5 V")
    check(data[0][1] > 0 and data[45][1] > 0 and data[55][1] < 0,
          "the square does not start high for 10 ms")
    check_svg(panel.path("wave.svg"), ["ao0", "ao1"], 2000)


def case_errors(panel):
    cases = [
        (["ai", "read", "--channel", "16"], r"^AIConfig: 0x1007 \(device 0: invalid channel\)"),
        (["--device", "2", "ai", "read", "-c", "16"],
         r"^AIConfig: 0x3007 \(device 2: invalid channel\)"),
        (["ai", "read", "--gain", "21"], r"^AIConfig: 0x1008 \(device 0: invalid gain code\)"),
        (["--board", "PCI-3649L", "ao", "--volts", "1"],
         r"^AOScale: 0x101B \(device 0: not supported\)"),
        (["ao", "--range", "0:7"], r"^AOConfig: 0x100A \(device 0: invalid parameter\)"),
        (["dio", "read", "--port", "2"], r"^DioReadPortByte: 0x1007 \(device 0: "),
        (["counter", "pulse", "--period", "7"], r"^CounterPulseStart: 10 \(invalid parameter\)"),
        (["counter", "freq", "--device", "1", "--rate", "1e3"], None),  # a valid one
        (["fai", "--rate", "100", "--scans", "10"],
         r"^FAIDmaExStart: 0x1016 \(device 0: invalid pacer rate\)"),
        (["fai", "--scans", "3"], r"^FAIDmaExStart: 0x1022 \(device 0: invalid count\)"),
        (["wave", "--samples", "4095"], r"^FAODmaExStart: 0x1020 \(device 0: invalid setting\)"),
    ]
    for args, pattern in cases:
        if pattern:
            panel.run(*args, code=1, err=[pattern])
        else:
            panel.run(*args)
    # A bad command line is refused before anything runs.
    for args in (["ai", "read", "--signal", "3=sine:1"], ["ai", "read", "--signal", "16=dc:1"],
                 ["dio", "show", "--dir", "0=up"], ["wave", "--shape", "saw"], ["ai"], []):
        panel.run(*args, code=2)


def case_readings(panel):
    panel.run("ai", "read", "-c", "5", "--gain", "16", "--signal", "5=dc:3.3",
              out=[r"^ch5 \(0-10V\): 3\.30\d\d V$"])
    panel.run("ai", "scan", "-s", "14", "-n", "3", "--gain", "0,4", "--signal", "14=dc:-1",
              "--signal", "15=dc:9", "--signal", "0=dc:-9",
              out=[r"^ch14 +\+/-5V +-1\.00", r"^ch15 +\+/-10V +(8\.99|9\.00)",
                   r"^ch0 +\+/-10V +-(8\.99|9\.00)"])
    panel.run("ao", "--channel", "1", "--volts", "2.5",
              out=[r"wrote 2\.5 V \(code 2048\)", r"AO channel 1 \(0 to 5 V\): the lab's output "
                   r"drives 2\.5000 V"])
    panel.run("dio", "read", "--word", "--dir", "0=in", "--dir", "1=in", "--lines", "0=0x12",
              "--lines", "1=0x34", out=[r"0x3412 \(valid mask 0xFFFF\)"])
    panel.run("dio", "write", "-p", "1", "--value", "0x0F", "--mask", "0x3C",
              out=[r"port 1: output reads 0x0C, read back 0x0C, the lab's output latch 0x0C"])
    panel.run("counter", "events", "-c", "2", "--pulses", "40000", "--reads", "3",
              out=[r"counter 2: 120000 events$"])
    panel.run("counter", "freq", "--rate", "300000", out=[r"^counter 2: 300000 Hz"])
    panel.run("--freq-area", "3", "counter", "freq", "--rate", "1234",
              out=[r"^counter 2: 1234 Hz .*FreqArea 3"])
    panel.run("counter", "pwm", "--high", "20", "--low", "80",
              out=[r"first phase 20 us, second phase 80 us"])
    panel.run("counter", "pulse", "-c", "2", "--period", "0.0065536",
              out=[r"period 6554000 ns"])
    panel.run("ai", "read", "--external", "-n", "2", "--signal", "0=dc:-4",
              out=[r"^ch0 \(\+/-5V\): -(3\.99|4\.00)\d\d V$"])
    panel.run("--verbose", "ai", "read",
              out=[r"^  \[DeviceOpen: 0 \(success\)\]$", r"^  \[AIConfig: 0 \(success\)\]$",
                   r"^  \[AIVoltageIn: 0 \(success\)\]$", r"^  \[DeviceClose: 0 \(success\)\]$"])

SUMMARY = r"^stream: (\d+) samples, (\d+) halves, (\d+) overruns, (\d+) lost$"


def check_recording(panel, name, line):
    """The binary file's header and chunks agree with the summary line."""
    samples, halves, overruns, lost = (int(x) for x in re.search(SUMMARY, line, re.M).groups())
    with open(panel.path(name), "rb") as f:
        data = f.read()
    check(data[:8] == b"KTZSTRM1" and struct.unpack_from("<I", data, 28)[0] == 1,
          f"{name}: not a complete recording")
    head = struct.unpack_from("<QQII", data, 32)
    half = struct.unpack_from("<I", data, 24)[0]
    check(head == (samples, lost * half, halves, overruns), f"{name}: header {head}, line {line}")
    at, words, gaps = 256, 0, 0
    while at < len(data):
        tag, count = struct.unpack_from("<4sI", data, at)
        at += 8 + (2 * count if tag == b"DATA" else 0)
        words += count if tag == b"DATA" else 0
        gaps += tag == b"GAP "
    check((words, gaps, at) == (samples, lost, len(data)), f"{name}: chunks disagree")


def case_stream(panel):
    # Until --seconds, into CSV: a row per scan, the gaps marked, the summary last.
    out = panel.run("--time-factor", "1", "fai", "-n", "2", "--gain", "4", "--rate", "100000",
                    "--half", "2000", "--signal", "0=sawtooth:10:50", "--stream", "rec.csv",
                    "--seconds", "0.2", out=[r"recording 2 entries at 100000 samples/s", SUMMARY])
    summary = re.search(SUMMARY, out, re.M)
    samples, lost = int(summary.group(1)), int(summary.group(4))
    with open(panel.path("rec.csv")) as f:
        lines = f.read().splitlines()
    check(lines[1] == "time_s,ch0_V,ch1_V", f"CSV header {lines[1]}")
    check(lines[-1] == "# " + summary.group(0), f"CSV ends with {lines[-1]}")
    check(sum(line.startswith("# gap: 2000 samples lost") for line in lines) == lost,
          "the CSV's gaps disagree with the summary")
    check(len([line for line in lines if not line.startswith(("#", "time"))]) ==
          (samples + 1) // 2, "a row per scan")
    check(samples >= 20000, f"0.2 s at 100000 samples/s recorded only {samples}")

    # A reader slower than the card: overruns reported, halves lost, each marked.
    out = panel.run("--time-factor", "1", "fai", "--rate", "100000", "--half", "500",
                    "--slow-reader", "20", "--stream", "slow.bin", "--seconds", "0.3",
                    out=[SUMMARY])
    summary = re.search(SUMMARY, out, re.M)
    check(int(summary.group(3)) > 0 and int(summary.group(4)) > 0,
          f"a slow reader lost nothing: {summary.group(0)}")
    check_recording(panel, "slow.bin", out)

    # Ctrl-C: a clean stop, the file complete.
    process = subprocess.Popen([panel.tool, "--time-factor", "1", "fai", "--stream", "int.bin"],
                               cwd=panel.work, env=panel.env, stdout=subprocess.PIPE, text=True)
    first = process.stdout.readline()
    check("until Ctrl-C" in first, f"the recording did not start: {first}")
    process.send_signal(signal.SIGINT)
    out = first + process.communicate(timeout=60)[0]
    check(process.returncode == 0 and "stopped by Ctrl-C" in out, f"after Ctrl-C: {out}")
    check_recording(panel, "int.bin", out)


def case_registry(panel):
    registry = panel.path("lab.reg")
    kept = Panel(panel.tool, panel.work, registry)
    kept.run("--board", "PCI-3649L", "--device", "2", "setup",
             out=[r"device 2, a PCI-3649L on bus 0, slot 13", "kept in .*lab\\.reg"])
    kept.run("--device", "2", "features", out=[r"board ID +169 \(PCI-3649L\)"])
    kept.run("info", code=1, err=[r"device 0 is not installed in the lab kept in"])
    kept.run("--device", "3", "--slot", "14", "setup", "--add",
             out=[r"device 2 on card 0", r"device 3 on card 1"])
    kept.run("--device", "3", "ao", "--volts", "1.25", out=[r"the lab's output drives 1\.2500 V"])
    kept.run("--device", "2", "info", out=[r"slot number +13"])
    # Without the file, a run has a machine of its own.
    panel.run("--device", "2", "features", out=[r"board ID +97 \(PCI-3649\)"])
    kept.run("--fresh", "info", out=[r"device 0, a PCI-3649 on bus 0, slot 13"])
    kept.run("--device", "2", "info", code=1, err=[r"device 2 is not installed"])
    # A damaged file is refused and left as it is.
    damaged = panel.path("damaged.reg")
    with open(damaged, "w") as f:
        f.write("not a registry\n")
    Panel(panel.tool, panel.work, damaged).run("info", code=1, err=[r"cannot be used"])
    with open(damaged) as f:
        check(f.read() == "not a registry\n", "the damaged file was rewritten")


CASES = {name[5:]: function for name, function in globals().items()
         if name.startswith("case_")}


def main():
    tool, case, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    CASES[case](Panel(os.path.abspath(tool), work))
    for failure in FAILURES:
        print("FAILED:", failure)
    print(f"panel {case}: {'failed' if FAILURES else 'passed'}")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
